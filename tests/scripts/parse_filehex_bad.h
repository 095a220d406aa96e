struct broken {
	x32 Signature;
	float Ratio;
};
