#!/bin/sh
# Rebuilds the PE fixtures of the version-information tests from their .rc files with
# the mingw-w64 cross tools (no C runtime, stripped). The results are committed, so the
# tests need no cross tools.
set -eu
cd "$(dirname "$0")"
build() {  # build TARGET RC OUTPUT LINK-FLAGS...
  target=$1 rc=$2 out=$3
  shift 3
  "$target-windres" -c 1252 "$rc" -O coff -o "$out.res.o"
  "$target-gcc" -Os -s -nostdlib -ffreestanding "$@" -o "$out" entry.c "$out.res.o"
  rm -f "$out.res.o"
}
build i686-w64-mingw32 multi.rc multi32.exe -Wl,-e,_start
build x86_64-w64-mingw32 multi.rc multi64.exe -Wl,-e,start
build x86_64-w64-mingw32 partial.rc partial64.dll -shared -Wl,--entry=0
build i686-w64-mingw32 commas.rc commas32.dll -shared -Wl,--entry=0
build x86_64-w64-mingw32 noversion.rc noversion64.exe -Wl,-e,start
build i686-w64-mingw32 short.rc short32.dll -shared -Wl,--entry=0
