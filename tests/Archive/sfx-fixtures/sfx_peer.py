#!/usr/bin/env python3
"""Tells the self-extractor tests what peer tools see.

  sfx_peer.py zip FILE   -> {"ok": bool, "bad": name-or-null, "members": [[name, header_offset], ...],
                             "cd_offset": n, "data": {name: hex of the member's bytes}}
  sfx_peer.py icon FILE  -> {"offset": file offset of icon 3/1 (first language), "size": n} or {}
"""
import json
import sys
import zipfile


def zip_view(path):
    with zipfile.ZipFile(path) as z:
        bad = z.testzip()
        members = [[i.filename, i.header_offset] for i in z.infolist()]
        data = {i.filename: z.read(i.filename).hex() for i in z.infolist()}
        return {"ok": bad is None, "bad": bad, "members": members, "cd_offset": z.start_dir, "data": data}


def icon_view(path):
    import pefile
    pe = pefile.PE(path)
    resources = pe.DIRECTORY_ENTRY_RESOURCE.entries if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []
    for t in resources:
        if t.id != 3:
            continue
        for e in t.directory.entries:
            if e.id != 1:
                continue
            lang = e.directory.entries[0]
            return {"offset": pe.get_offset_from_rva(lang.data.struct.OffsetToData), "size": lang.data.struct.Size}
    return {}


if __name__ == "__main__":
    kind, path = sys.argv[1], sys.argv[2]
    print(json.dumps(zip_view(path) if kind == "zip" else icon_view(path)))
