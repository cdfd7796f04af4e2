#!/usr/bin/env python3
"""A few small memo files with references into them, as the memo fuzzer's starting corpus."""
import os
import struct
import sys

BLOCK = 4096


def header():
    return bytes([0]) + struct.pack("<H", 1) + bytes(BLOCK - 3)


def shared(memos):
    block = bytearray(BLOCK)
    block[0:3] = bytes([3]) + struct.pack("<H", 1)
    at = 336
    for index, memo in enumerate(memos):
        units = (len(memo) + 15) // 16
        tail = len(memo) % 16 or 16
        block[12 + 5 * index:17 + 5 * index] = bytes([at // 16, units]) + struct.pack("<H", 1) + bytes([tail])
        block[at:at + len(memo)] = memo
        at += units * 16
    return bytes(block)


def single(memo):
    chunks = (9 + len(memo) + BLOCK - 1) // BLOCK
    block = bytearray(chunks * BLOCK)
    block[0:9] = bytes([2]) + struct.pack("<HIH", chunks, len(memo), 1)
    block[9:9 + len(memo)] = memo
    return bytes(block)


def ref(offset, length):
    return struct.pack("<IIH", offset, length, 1)


out = sys.argv[1]
os.makedirs(out, exist_ok=True)
a, b, c = b"a" * 600, b"b" * 32, b"c" * 5000
memo = header() + shared([a, b]) + single(c)
refs = [ref(BLOCK, len(a)), ref(BLOCK + 1, len(b)), ref(2 * BLOCK + 0xFF, len(c))]
open(os.path.join(out, "three.bin"), "wb").write(bytes([len(refs)]) + b"".join(refs) + memo)
open(os.path.join(out, "header.bin"), "wb").write(bytes([1]) + ref(BLOCK, 10) + header())
open(os.path.join(out, "cut.bin"), "wb").write(bytes([1]) + ref(BLOCK + 0xFF, 9000) + header() + single(c)[:100])
