"""Writes OUT with Python's zipfile: COUNT empty members named 0, 1, 2, ... Up to 65,535 members
zipfile writes the classic end record alone; past that, 0xFFFF there and the count in a Zip64
end record in front of it."""
import io
import sys
import zipfile

out, count = sys.argv[1], int(sys.argv[2])
buffer = io.BytesIO()
with zipfile.ZipFile(buffer, "w") as z:
    for i in range(count):
        z.writestr(zipfile.ZipInfo(str(i)), b"")
with open(out, "wb") as f:
    f.write(buffer.getvalue())
