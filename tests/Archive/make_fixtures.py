#!/usr/bin/env python3
"""Writes the archives of the directory reading tests with Python's zipfile."""
import io
import os
import sys
import zipfile

sys.dont_write_bytecode = True  # no cache beside the sources
from unseekable import Unseekable

out = sys.argv[1]


with open(os.path.join(out, "descriptors.zip"), "wb") as f:
    with zipfile.ZipFile(Unseekable(f), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("first.txt", b"hello " * 100)
        z.writestr("sub/second.bin", os.urandom(3000))
        z.writestr(zipfile.ZipInfo("sub/"), b"")
        z.comment = b"descriptor archive"

# Names in the OEM code page from several hosts; Q_ marks the byte patched to 0x81.
buf = io.BytesIO()
with zipfile.ZipFile(buf, "w") as z:
    for host, version, name in [(0, 20, "Q_fat.txt"), (11, 20, "Q_ntfs20.txt"), (11, 50, "Q_ntfs50.txt"),
                                (6, 20, "Q_hpfs.txt"), (3, 30, "Q_unix.txt")]:
        info = zipfile.ZipInfo(name, (2001, 2, 3, 4, 5, 6))
        info.create_system = host
        info.create_version = version
        info.comment = b"Q_" + name.encode()
        z.writestr(info, b"x")
data = buf.getvalue().replace(b"Q_", b"\x81_")
with open(os.path.join(out, "codepage.zip"), "wb") as f:
    f.write(data)

# UTF-8 names (zipfile marks every non-ASCII name with flag bit 11) from the hosts whose
# unmarked names are in the OEM code page, and from a Unix host for the cpOEM option.
with zipfile.ZipFile(os.path.join(out, "utf8.zip"), "w") as z:
    for host, version, name, comment in [(0, 20, "Grüße/Übersicht.txt", "Kommentar für Grüße"),
                                         (11, 50, "naïve café.txt", "Ωmega"), (11, 63, "Zürich.db", ""),
                                         (3, 63, "日本語.txt", "日本")]:
        info = zipfile.ZipInfo(name, (2001, 2, 3, 4, 5, 6))
        info.create_system = host
        info.create_version = version
        info.comment = comment.encode("utf-8")
        z.writestr(info, b"x")

with zipfile.ZipFile(os.path.join(out, "comment100.zip"), "w") as z:
    z.writestr("a.txt", b"a")
    z.comment = b"C" * 100

# The longest comment puts the end record at the first byte the backward search looks at;
# so does any comment of an archive that is nothing but its end record.
with zipfile.ZipFile(os.path.join(out, "comment65535.zip"), "w") as z:
    z.writestr("a.txt", b"a")
    z.comment = b"L" * 65535
with zipfile.ZipFile(os.path.join(out, "eoc_comment.zip"), "w") as z:
    z.comment = b"nothing inside"
# A comment ends at its first zero byte; what follows it is not part of it.
with zipfile.ZipFile(os.path.join(out, "comment_nul.zip"), "w") as z:
    z.writestr("a.txt", b"a")
    z.comment = b"kept\0dropped"

with open(os.path.join(out, "eoc_only.zip"), "wb") as f:
    f.write(b"PK\x05\x06" + b"\0" * 18)

with zipfile.ZipFile(os.path.join(out, "extra.zip"), "w") as z:
    info = zipfile.ZipInfo("withextra.txt")
    info.extra = b"\x34\x12\x04\x00abcd"
    info.comment = b"member comment"
    z.writestr(info, b"data")

# Padding variants of one small archive.
with zipfile.ZipFile(os.path.join(out, "plain.zip"), "w") as z:
    z.writestr("p.txt", b"plain")
plain = open(os.path.join(out, "plain.zip"), "rb").read()
pad = (-len(plain)) % 512
with open(os.path.join(out, "padded.zip"), "wb") as f:
    f.write(plain + b"\0" * pad)
with open(os.path.join(out, "padded_dirty.zip"), "wb") as f:
    f.write(plain + b"\0" * (pad - 1) + b"\1")
with open(os.path.join(out, "padded_long.zip"), "wb") as f:
    f.write(plain + b"\0" * (pad + 512))
with open(os.path.join(out, "garbage.zip"), "wb") as f:
    f.write(plain + b"garbage!")
with open(os.path.join(out, "random.bin"), "wb") as f:
    f.write(os.urandom(70000))
with open(os.path.join(out, "big.bin"), "wb") as f:
    f.write(os.urandom(200000))
