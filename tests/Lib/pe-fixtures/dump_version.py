"""Prints what Python's pefile reads from the version resource of a PE file, one fact a
line, for the version reader's tests to compare against:
    fixed NAME VALUE             the fixed block's fields (decimal)
    translation LLLLCCCC         each language and code page pair of the translation table
    string TABLE KEY=VALUE       each string of each string table pefile reads
    none                         when the file has no version resource
"""
import struct
import sys

import pefile

pe = pefile.PE(sys.argv[1], fast_load=True)
pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
    print("none")
    sys.exit(0)
if not any(e.id == pefile.RESOURCE_TYPE["RT_VERSION"] for e in pe.DIRECTORY_ENTRY_RESOURCE.entries):
    print("none")
    sys.exit(0)
for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
    if entry.id != pefile.RESOURCE_TYPE["RT_VERSION"]:
        continue
    data = entry.directory.entries[0].directory.entries[0].data
    pe.parse_version_information(data.struct)
    break
fixed = pe.VS_FIXEDFILEINFO[0]
for name in ("Signature", "StrucVersion", "FileVersionMS", "FileVersionLS", "ProductVersionMS",
             "ProductVersionLS", "FileFlagsMask", "FileFlags", "FileOS", "FileType", "FileSubtype",
             "FileDateMS", "FileDateLS"):
    print("fixed", name, getattr(fixed, name))
for info in pe.FileInfo[0]:
    if info.Key == b"StringFileInfo":
        for table in info.StringTable:
            for key, value in table.entries.items():
                print("string", table.LangID.decode(), key.decode() + "=" + value.decode())
    elif info.Key == b"VarFileInfo":
        for var in info.Var:
            # pefile keeps only the last pair; the raw value holds them all.
            offset = var.get_file_offset() + 32  # header (6), "Translation" and its zero (24), alignment
            raw = pe.__data__[offset:offset + var.ValueLength]
            for i in range(0, len(raw) // 4 * 4, 4):
                language, codepage = struct.unpack("<HH", raw[i:i + 4])
                print("translation %04X%04X" % (language, codepage))
