struct record {
	x32 Signature;
	u32 Count;
	char Model[16];
	u16 Words[3];
	byte Flags;
	x64 Serial;
};
