#!/usr/bin/env python3
"""Writes the archives of the spanned-set tests: with Debian's zip, with Python's
zipfile, and by hand where neither writes the form we need (12-byte data descriptors).

    span_fixtures.py make DIR          writes the archives into DIR
    span_fixtures.py sizes DIR NAME:SIZE[:FIRST]...
                                      prints the sizes the parts of a spanned set of
                                      DIR/NAME must have at that volume size (FIRST: the
                                      first volume's): every part full except where a
                                      record's fixed part with its texts would not fit and
                                      moves to the next; then how many central headers
                                      the last part holds."""
import os
import random
import struct
import subprocess
import sys
import zlib
import zipfile

sys.dont_write_bytecode = True  # no cache beside the sources
from unseekable import Unseekable

mode, out = sys.argv[1], sys.argv[2]
rnd = random.Random(1234)


def noise(n):
    return bytes(rnd.getrandbits(8) for _ in range(n))


def make():
    os.makedirs(out, exist_ok=True)
    src = os.path.join(out, "src")
    os.makedirs(os.path.join(src, "case"), exist_ok=True)
    with open(os.path.join(src, "noise.bin"), "wb") as f:
        f.write(noise(150000))
    with open(os.path.join(src, "lines.txt"), "w") as f:
        f.write("".join("line %d of the sample\n" % i for i in range(20000)))
    with open(os.path.join(src, "case", "a.txt"), "w") as f:
        f.write("lower case name\n" * 50)
    with open(os.path.join(src, "case", "A.TXT"), "w") as f:
        f.write("UPPER CASE NAME\n" * 70)


    def zip_run(args, **kw):
        subprocess.run(["zip", "-q", "-X"] + args, cwd=src, check=True, **kw)


    zip_run(["-r", os.path.join(out, "zip_plain.zip"), "noise.bin", "lines.txt", "case"])
    subprocess.run(["zip", "-q", "-z", os.path.join(out, "zip_plain.zip")], input=b"a comment by zip\n",
                   check=True)
    # Written to a pipe, zip cannot go back: local sizes 0 and a data descriptor after each member.
    with open(os.path.join(out, "zip_stream.zip"), "wb") as f:
        p = subprocess.Popen(["zip", "-q", "-X", "-", "noise.bin", "lines.txt"], cwd=src, stdout=subprocess.PIPE)
        f.write(p.stdout.read())
        assert p.wait() == 0
    # A set split by zip itself, at 64 KiB.
    zip_run(["-s", "64k", os.path.join(out, "zipsplit.zip"), "noise.bin", "lines.txt", "case/a.txt", "case/A.TXT"])

    with zipfile.ZipFile(os.path.join(out, "py_plain.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("Readme.txt", b"read me " * 300)
        z.writestr("README.TXT", b"READ ME " * 200)
        z.writestr("data/noise.bin", noise(40000), compress_type=zipfile.ZIP_STORED)
        import warnings

        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            z.writestr("dup.txt", b"first of two")
            z.writestr("dup.txt", b"second of two, longer")
        info = zipfile.ZipInfo("commented.txt", (2010, 5, 6, 7, 8, 10))
        info.comment = b"a member comment"
        z.writestr(info, b"x" * 1000)
        z.comment = b"archive comment by Python"


    with open(os.path.join(out, "py_stream.zip"), "wb") as f:
        with zipfile.ZipFile(Unseekable(f), "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("one.txt", b"streamed " * 2000)
            z.writestr("two.bin", noise(20000))
            z.writestr("One.TXT", b"other case")

    with zipfile.ZipFile(os.path.join(out, "empty.zip"), "w") as z:
        z.comment = b"nothing inside"


    def hand_dd12(path):
        """Members with bit 3 set, local sizes 0 and data descriptors without signature."""
        members = [("plain.txt", b"hello, world\n" * 40, 0), ("deflated.txt", b"abcabcabc" * 500, 8),
                   ("Plain.TXT", noise(5000), 0)]
        data = bytearray()
        central = bytearray()
        for name, body, method in members:
            comp = body if method == 0 else zlib.compress(body)[2:-4]
            crc = zlib.crc32(body)
            offset = len(data)
            n = name.encode()
            data += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 8, method, 0x6000, 0x5021, 0, 0, 0, len(n), 0) + n
            data += comp + struct.pack("<III", crc, len(comp), len(body))
            central += struct.pack("<IBBHHHHHIIIHHHHHII", 0x02014B50, 20, 0, 20, 8, method, 0x6000, 0x5021, crc,
                                   len(comp), len(body), len(n), 0, 0, 0, 0, 0, offset) + n
        eoc = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(members), len(members), len(central), len(data), 0)
        with open(path, "wb") as f:
            f.write(bytes(data + central + eoc))


    hand_dd12(os.path.join(out, "hand_dd12.zip"))


    def cut_set(path, stem):
        """Splits an archive the way a splitter that ignores records does: one cut inside the
        second local header and one inside the first central header, as stem.z01, stem.z02
        and stem.zip, offsets rewritten into the parts."""
        d = b"PK\x07\x08" + open(path, "rb").read()
        e = d.rfind(b"PK\x05\x06")
        sig, _, _, _, total, cdsize, cdoff, clen = struct.unpack("<IHHHHIIH", d[e:e + 22])
        cd = e - cdsize
        second = d.find(b"PK\x03\x04", 8)
        cuts = [second + 10, cd + 20]

        def place(pos):
            disk = sum(1 for c in cuts if pos >= c)
            return disk, pos - ([0] + cuts)[disk]

        body = bytearray(d)
        p = cd
        on_last = 0
        for _ in range(total):
            on_last += place(p)[0] == 2
            f = list(struct.unpack("<IBBHHHHHIIIHHHHHII", d[p:p + 46]))
            disk, off = place(f[17] + 4)
            f[14], f[17] = disk, off
            body[p:p + 46] = struct.pack("<IBBHHHHHIIIHHHHHII", *f)
            p += 46 + f[11] + f[12] + f[13]
        cddisk, cdoffset = place(cd)
        body[e:e + 22] = struct.pack("<IHHHHIIH", sig, 2, cddisk, on_last, total, cdsize, cdoffset, clen)
        bounds = [0] + cuts + [len(body)]
        names = [stem + ".z01", stem + ".z02", stem + ".zip"]
        for i, n in enumerate(names):
            with open(os.path.join(out, n), "wb") as f:
                f.write(bytes(body[bounds[i]:bounds[i + 1]]))


    cut_set(os.path.join(out, "py_plain.zip"), "cut")


def blocks(path):
    """The archive as the volume writer sees it: (bytes, bytes that must stay together)."""
    d = open(path, "rb").read()
    e = d.rfind(b"PK\x05\x06")
    _, _, _, _, total, cdsize, cdoff, clen = struct.unpack("<IHHHHIIH", d[e:e + 22])
    cd = e - cdsize
    entries = []
    p = cd
    for _ in range(total):
        f = struct.unpack("<IBBHHHHHIIIHHHHHII", d[p:p + 46])
        entries.append((f[17] + (cd - cdoff), f[9], f[8]))
        p += 46 + f[11] + f[12] + f[13]
    out = [(4, 0)]
    for off in sorted(set(o for o, _, _ in entries)):
        csize_cd, crc = [(c, r) for o, c, r in entries if o == off][0]
        flag, = struct.unpack("<H", d[off + 6:off + 8])
        csize, = struct.unpack("<I", d[off + 18:off + 22])
        n, x = struct.unpack("<HH", d[off + 26:off + 30])
        size = csize or csize_cd
        out += [(30, 30 + n + x), (n, 0), (x, 0), (size, 0)]
        if flag & 8:
            at = off + 30 + n + x + size
            sig, = struct.unpack("<I", d[at:at + 4])
            out.append((16 if sig == 0x08074B50 else 12, 0))
    p = cd
    for _ in range(total):
        n, x, c = struct.unpack("<HHH", d[p + 28:p + 34])
        out += [(46, 46 + n + x + c), (n, 0), (x, 0), (c, 0)]
        p += 46 + n + x + c
    out += [(22, 22 + clen), (clen, 0)]
    return out


def layout(path, cap, first):
    parts = [0]
    free = first
    starts = []  # the part each central header begins on
    for length, together in blocks(path):
        if together and together > free:
            parts.append(0)
            free = cap
        if length == 46 and together:  # only central headers are 46 bytes kept together
            starts.append(len(parts) - 1 if free else len(parts))
        while length:
            if free == 0:
                parts.append(0)
                free = cap
            step = min(length, free)
            parts[-1] += step
            free -= step
            length -= step
    return parts, starts.count(len(parts) - 1)


if mode == "make":
    make()
else:
    for arg in sys.argv[3:]:
        name, cap, *first = arg.split(":")
        parts, headers_on_last = layout(os.path.join(out, name), int(cap), int((first or [cap])[0]))
        print(name, cap, " ".join(str(s) for s in parts), "/", headers_on_last)
