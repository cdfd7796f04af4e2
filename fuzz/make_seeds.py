#!/usr/bin/env python3
"""A few small archives as the fuzzer's starting corpus."""
import io
import os
import sys
import zipfile

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
for n, (names, comment) in enumerate([(["a.txt"], b""), (["d/", "d/b.txt", "c"], b"comment"), ([], b"x" * 40)]):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        for name in names:
            z.writestr(name, name.encode() * 3)
        z.comment = comment
    open(os.path.join(out, "seed%d.zip" % n), "wb").write(buf.getvalue())
open(os.path.join(out, "span.zip"), "wb").write(b"PK\x07\x08PK\x03\x04" + b"\0" * 30)
