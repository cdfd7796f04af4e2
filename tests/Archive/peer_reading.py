#!/usr/bin/env python3
"""Prints Python's own reading of a zip file as JSON, in the terms the directory
reader reports: raw header fields, names and comments after the code-page rule,
the archive comment up to its first zero byte, the data start and the warnings."""
import json
import sys
import zipfile

path = sys.argv[1]
code_page = sys.argv[2] if len(sys.argv) > 2 else "auto"
with open(path, "rb") as f:
    data = f.read()
    f.seek(0)
    endrec = zipfile._EndRecData(f)

location = endrec[zipfile._ECD_LOCATION]
size_cd = endrec[zipfile._ECD_SIZE]
offset_cd = endrec[zipfile._ECD_OFFSET]
comment_len = endrec[zipfile._ECD_COMMENT_SIZE]
# A Zip64 end record and its locator in front of the end record: the directory ends where
# they begin, as zipfile itself reads it.
directory_end = location
if endrec[zipfile._ECD_SIGNATURE] == zipfile.stringEndArchive64:
    directory_end -= zipfile.sizeEndCentDir64 + zipfile.sizeEndCentDir64Locator
concat = directory_end - size_cd - offset_cd

warnings = []
if concat != 0:
    warnings.append(10203)
comment_end = location + 22 + comment_len
if comment_end != len(data):
    tail = data[comment_end:]
    padded = comment_end < len(data) and len(data) % 512 == 0 and len(tail) < 512 and not any(tail)
    if not padded:
        warnings.append(10204)


def raw(text, flag):
    return text.encode("utf-8") if flag & 0x800 else text.encode("cp437")


def converted(b, host, version, flag):
    if flag & 0x800:
        return b  # marked UTF-8: taken as it stands, whatever the code page
    convert = (code_page == "auto" and host == 0) or host == 6 or (host == 11 and version == 50) or code_page == "oem"
    return b.decode("cp850").encode("utf-8") if convert else b


zf = zipfile.ZipFile(path)
entries = []
for seq, z in enumerate(zf.infolist(), start=1):
    y, mo, d, h, mi, s = z.date_time
    dos = ((y - 1980) << 25) | (mo << 21) | (d << 16) | (h << 11) | (mi << 5) | (s // 2)
    name = converted(raw(z.orig_filename, z.flag_bits), z.create_system, z.create_version,
                     z.flag_bits).replace(b"/", b"\\")
    entries.append({
        "seq": seq,
        "name": name.hex(),
        "comment": converted(z.comment, z.create_system, z.create_version, z.flag_bits).hex(),
        "made_by": z.create_version, "host": z.create_system, "needed": z.extract_version,
        "flag": z.flag_bits, "method": z.compress_type, "datetime": dos, "crc": z.CRC,
        "csize": z.compress_size, "usize": z.file_size, "start_disk": z.volume,
        "int_attr": z.internal_attr, "ext_attr": z.external_attr,
        "rel_off": z.header_offset - concat, "extra": z.extra.hex(),
    })
comment = endrec[zipfile._ECD_COMMENT].split(b"\0")[0]
offsets = [z.header_offset for z in zf.infolist()]
size_in = min(comment_end, len(data))
data_start = min(offsets) if offsets else (0 if size_in == 22 else size_in + concat)
print(json.dumps({"comment": comment.hex(), "data_start": data_start, "warnings": warnings,
                  "cd_start": offset_cd + concat, "entries": entries}))
