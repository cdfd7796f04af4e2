#!/bin/sh
# Rebuilds the self-extractor stub fixtures with the mingw-w64 cross tools (no C runtime,
# stripped): one with a 16-colour 32 x 32 icon, one whose icon has 256 colours, one with no
# resources at all. The results are committed, so the tests need no cross tools.
set -eu
cd "$(dirname "$0")"
python3 make_icons.py .
t=i686-w64-mingw32
for name in icon bigicon; do
  "$t-windres" "$name.rc" -O coff -o "$name.res.o"
  "$t-gcc" -Os -s -nostdlib -ffreestanding -Wl,-e,_start -o "stub_$name.exe" stub.c "$name.res.o"
  rm -f "$name.res.o"
done
"$t-gcc" -Os -s -nostdlib -ffreestanding -Wl,-e,_start -o stub_plain.exe stub.c
