#!/bin/sh
# Checks two of the firmware tools' building blocks against independent implementations:
#   - CRC-32 and CRC-32C of random buffers (lengths 0 to 1 MiB + 7), and the checksum kind found in
#     images whose checksum dword was written, against Debian's python3-crcmod;
#   - the field offsets and the size of a random structure definition, as Parse_FileHex lays it out,
#     against gcc's offsetof and sizeof of the same fields in a packed C struct.
# The reference values go into files that the LayoutOracle.* unit tests compare with ours.
# Exit 77 (skipped) when python3-crcmod or a C compiler is absent.
# Usage: check_oracles.sh KESTRUNE_TESTS_BINARY
set -eu
tests=$1
py=/usr/bin/python3
cc=${CC:-cc}
"$py" -c 'import crcmod' 2> /dev/null || { echo "SKIP: python3-crcmod is not installed (scripts/setup.sh)"; exit 77; }
command -v "$cc" > /dev/null || { echo "SKIP: no C compiler"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

"$py" - "$work" <<'PY'
import os, random, struct, sys
import crcmod.predefined
work = sys.argv[1]
crc32 = crcmod.predefined.mkCrcFun('crc-32')
crc32c = crcmod.predefined.mkCrcFun('crc-32c')
rng = random.Random(20261210)
with open(os.path.join(work, 'crc.txt'), 'w') as m:
    for i, n in enumerate([0, 1, 3, 4, 511, 4095, 4096, 65537, (1 << 20) + 7]):
        data = bytes(rng.getrandbits(8) for _ in range(n))
        path = os.path.join(work, 'data%d.bin' % i)
        open(path, 'wb').write(data)
        m.write('data %s %08X %08X\n' % (path, crc32(data), crc32c(data)))
    # Images of three 4096-byte blocks: the dword at offset 12 of the last block is the CRC of the
    # blocks before it.
    for kind, fn in (('CRC-32', crc32), ('CRC-32C', crc32c)):
        body = bytes(rng.getrandbits(8) for _ in range(8192))
        last = bytearray(rng.getrandbits(8) for _ in range(4096))
        last[12:16] = struct.pack('<I', fn(body))
        path = os.path.join(work, 'image_%s.bin' % kind)
        open(path, 'wb').write(body + bytes(last))
        m.write('image %s %s\n' % (path, kind))

# A structure definition of 60 fields with every type word, scalars and arrays, and the same
# fields as a packed C struct.
ctype = {'u64': 'uint64_t', 'x64': 'uint64_t', 'int64': 'int64_t', 'u32': 'uint32_t', 'x32': 'uint32_t',
         'int32': 'int32_t', 'int': 'int32_t', 'long': 'int32_t', 'dword': 'uint32_t', 'u16': 'uint16_t',
         'x16': 'uint16_t', 'int16': 'int16_t', 'short': 'int16_t', 'u8': 'uint8_t', 'x8': 'uint8_t',
         'int8': 'int8_t', 'byte': 'uint8_t', 'char': 'char'}
words = sorted(ctype)
fields = []
for i in range(60):
    w = words[i % len(words)] if i < len(words) else rng.choice(words)
    n = rng.choice([0, 0, 1, 3, 7, 40])
    fields.append((w, 'f%d_%s' % (i, w), n))
with open(os.path.join(work, 'record.h'), 'w') as h:
    h.write('struct record\n{\n')
    for w, name, n in fields:
        h.write('\t%s %s%s;\n' % (w, name, '[%d]' % n if n else ''))
    h.write('};\n')
with open(os.path.join(work, 'record.c'), 'w') as c:
    c.write('#include <stddef.h>\n#include <stdint.h>\n#include <stdio.h>\n')
    c.write('struct __attribute__((packed)) record {\n')
    for w, name, n in fields:
        c.write('  %s %s%s;\n' % (ctype[w], name, '[%d]' % n if n else ''))
    c.write('};\nint main(void) {\n  printf("definition %s\\n");\n' % os.path.join(work, 'record.h'))
    for w, name, n in fields:
        c.write('  printf("field %s %%zu\\n", offsetof(struct record, %s));\n' % (name, name))
    c.write('  printf("sizeof %zu\\n", sizeof(struct record));\n  return 0;\n}\n')
PY
"$cc" -std=c11 -o "$work/record" "$work/record.c"
"$work/record" > "$work/struct.txt"
KESTRUNE_CRC_ORACLE=$work/crc.txt KESTRUNE_STRUCT_ORACLE=$work/struct.txt \
  "$tests" --gtest_filter='LayoutOracle.*' --gtest_brief=1
