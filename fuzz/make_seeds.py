#!/usr/bin/env python3
"""Starting corpora of the fuzz targets, made by real tools.

    make_seeds.py zip FOLDER   archives by zip, 7z, bsdtar and Python's zipfile, plain, encrypted,
                               streamed, behind a stub, damaged and with hostile names
    make_seeds.py pe FOLDER    the PE fixtures of the tests (each checked with pefile), their
                               version blocks on their own, and the icon files beside them
    make_seeds.py text FOLDER  text files in several encodings and line ends, long lines, scripts
                               and broken UTF-8
    make_seeds.py denso FOLDER densitometer answers to every command, framed as the instrument
                               frames them, with noise and damage
    make_seeds.py sfx FOLDER   self-extractors laid out by hand around a PE stub and archives by zip
                               (offsets moved by zip -A) and Python's zipfile (appended), headers of
                               every kind, the plain archives, and cut-off ones

A peer tool that is missing only leaves its seeds out.
"""
import io
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import warnings
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
PASSWORD = "secret"


def save(out, name, data):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)


def run(args, cwd, stdin=None):
    """Runs a peer tool; False when it is missing or fails."""
    if shutil.which(args[0]) is None:
        return False
    r = subprocess.run(args, cwd=cwd, input=stdin, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return r.returncode == 0


def python_archives(out):
    warnings.simplefilter("ignore")  # the duplicate names are meant
    def archive(name, members, comment=b"", method=zipfile.ZIP_STORED):
        buf = io.BytesIO()
        with zipfile.ZipFile(buf, "w", method) as z:
            for member, data in members:
                z.writestr(member, data)
            z.comment = comment
        save(out, name, buf.getvalue())
        return buf.getvalue()

    archive("py_one.zip", [("a.txt", b"a.txt" * 3)])
    archive("py_dirs.zip", [("d/", b""), ("d/b.txt", b"bbb"), ("c", b"c")], b"comment")
    archive("py_empty.zip", [], b"x" * 40)
    archive("py_deflated.zip", [("z.txt", b"zeros " + bytes(3000)), ("t.txt", b"text " * 50)],
            method=zipfile.ZIP_DEFLATED)
    # Names that would leave the target folder, and names that meet each other there.
    archive("py_hostile.zip", [("../up.txt", b"1"), ("/abs.txt", b"2"), ("a/../../b.txt", b"3"),
                               ("C:/drive.txt", b"4"), ("..\\back.txt", b"5"), ("./dot/./x.txt", b"6")])
    archive("py_clash.zip", [("same", b"file"), ("same/inner.txt", b"below a file"), ("dir/", b""),
                             ("dir", b"file over a folder"), ("same", b"again")])
    # A member whose unix mode says symbolic link; the engine must write a plain file or nothing.
    info = zipfile.ZipInfo("link")
    info.create_system = 3
    info.external_attr = 0o120777 << 16
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        z.writestr(info, b"../../outside")
        z.writestr("link/through.txt", b"through the link")
    save(out, "py_symlink_mode.zip", buf.getvalue())

    # Stored data changed after writing: the CRC check fails.
    good = archive("py_crc.zip", [("crc.txt", b"0123456789")])
    save(out, "py_crc.zip", good.replace(b"0123456789", b"0123456780", 1))
    # Names of a DOS host in the OEM code page.
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        info = zipfile.ZipInfo("Q_fat.txt", (2001, 2, 3, 4, 5, 6))
        info.create_system = 0
        z.writestr(info, b"x")
    save(out, "py_oem.zip", buf.getvalue().replace(b"Q_", b"\x81\x94"))
    # A stub in front whose offsets are not adjusted, and the spanned-set marker.
    save(out, "py_stub.zip", b"MZ" + bytes(510) + good)
    save(out, "py_span.zip", b"PK\x07\x08" + good)


def tool_archives(out, work):
    with open(os.path.join(work, "plain.txt"), "wb") as f:
        f.write(b"plain text, plain text, plain text\n" * 20)
    with open(os.path.join(work, "small.bin"), "wb") as f:
        f.write(bytes(range(256)))
    os.makedirs(os.path.join(work, "sub", "deeper"), exist_ok=True)
    with open(os.path.join(work, "sub", "deeper", "leaf.txt"), "wb") as f:
        f.write(b"leaf\n")
    if not os.path.lexists(os.path.join(work, "link")):
        os.symlink("plain.txt", os.path.join(work, "link"))
    files = ["plain.txt", "small.bin", "sub"]

    def made(name, args, stdin=None):
        path = os.path.join(work, name)
        if os.path.exists(path):
            os.remove(path)
        if run(args, work, stdin) and os.path.exists(path):
            shutil.copy(path, os.path.join(out, name))

    made("zip_deflated.zip", ["zip", "-q", "-r", "zip_deflated.zip"] + files)
    made("zip_stored.zip", ["zip", "-q", "-0", "-r", "zip_stored.zip"] + files)
    made("zip_encrypted.zip", ["zip", "-q", "-P", PASSWORD, "-r", "zip_encrypted.zip"] + files)
    made("zip_symlink.zip", ["zip", "-q", "-y", "zip_symlink.zip", "link", "plain.txt"])
    made("zip_nodirs.zip", ["zip", "-q", "-j", "-D", "-r", "zip_nodirs.zip", "sub", "small.bin"])
    # Written to a pipe, zip streams: data descriptors and a member named "-".
    made("zip_streamed.zip", ["sh", "-c", "zip -q - - | cat > zip_streamed.zip"], stdin=b"streamed data\n" * 10)
    made("zip_streamed_encrypted.zip",
         ["sh", "-c", "zip -q -P %s - - | cat > zip_streamed_encrypted.zip" % PASSWORD], stdin=b"secret data\n")
    # A member read from a pipe into a file: a Zip64 end record in front of the end record.
    made("zip_stdin.zip", ["zip", "-q", "zip_stdin.zip", "-"], stdin=b"piped line\n" * 200)
    made("zip_forced64.zip", ["zip", "-q", "-fz", "zip_forced64.zip", "plain.txt"])
    made("7z_deflated.zip", ["7z", "a", "-tzip", "-bd", "7z_deflated.zip"] + files)
    made("7z_stored.zip", ["7z", "a", "-tzip", "-mx=0", "-bd", "7z_stored.zip"] + files)
    made("7z_zipcrypto.zip",
         ["7z", "a", "-tzip", "-p" + PASSWORD, "-mem=ZipCrypto", "-bd", "7z_zipcrypto.zip"] + files)
    made("7z_aes.zip", ["7z", "a", "-tzip", "-p" + PASSWORD, "-mem=AES256", "-bd", "7z_aes.zip", "plain.txt"])
    made("7z_utf8.zip", ["7z", "a", "-tzip", "-mcu=on", "-bd", "7z_utf8.zip", "plain.txt"])
    made("bsdtar_deflated.zip", ["bsdtar", "--format", "zip", "-cf", "bsdtar_deflated.zip"] + files)
    made("bsdtar_stored.zip",
         ["bsdtar", "--format", "zip", "--options", "zip:compression=store", "-cf", "bsdtar_stored.zip"] + files)
    made("bsdtar_encrypted.zip",
         ["bsdtar", "--format", "zip", "--options", "zip:encryption=traditional", "--passphrase", PASSWORD,
          "-cf", "bsdtar_encrypted.zip", "plain.txt", "small.bin"])
    # A self-extractor's shape: a stub in front, offsets adjusted by zip -A.
    with open(os.path.join(work, "stub.bin"), "wb") as f:
        f.write(b"MZ" + bytes(254))
    made("zip_sfx.zip", ["sh", "-c", "cat stub.bin zip_stored.zip > zip_sfx.zip && zip -q -A zip_sfx.zip"])

def zip_seeds(out):
    python_archives(out)
    with tempfile.TemporaryDirectory() as work:
        tool_archives(out, work)


def pe_seeds(out):
    import pefile

    for folder in [os.path.join(SOURCE, "tests", "Lib", "pe-fixtures"),
                   os.path.join(SOURCE, "tests", "Archive", "sfx-fixtures")]:
        for name in sorted(os.listdir(folder)):
            path = os.path.join(folder, name)
            data = open(path, "rb").read()
            if name.endswith(".ico"):
                save(out, name, data)
                continue
            if not name.endswith((".exe", ".dll")):
                continue
            pe = pefile.PE(data=data)  # raises on a file that is not PE: a seed must be one
            save(out, name, data)
            # The version block on its own, as the version queries read it.
            if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
                for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
                    if kind.id != pefile.RESOURCE_TYPE["RT_VERSION"]:
                        continue
                    for ident in kind.directory.entries:
                        for lang in ident.directory.entries:
                            at = lang.data.struct
                            save(out, name + ".version", pe.get_data(at.OffsetToData, at.Size))

def text_seeds(out):
    prose = "Korvalis backs up the product database.\nEvery table goes into one archive.\n"
    save(out, "lf.txt", prose.encode())
    save(out, "crlf.txt", prose.replace("\n", "\r\n").encode())
    save(out, "cr.txt", prose.replace("\n", "\r").encode())
    save(out, "latin1.txt", "Gr\u00fc\u00dfe aus K\u00f6ln, \u00e0 bient\u00f4t\n".encode("latin-1"))
    save(out, "cp850.txt", "Dichte \u00b1 0,05 \u00e4\u00f6\u00fc\n".encode("cp850"))
    save(out, "utf16.txt", prose.encode("utf-16"))
    save(out, "scripts.txt", "\u65e5\u672c\u8a9e \u0627\u0644\u0639\u0631\u0628\u064a\u0629 "
                             "\u05e2\u05d1\u05e8\u05d9\u05ea \U0001F600 e\u0301 \u200d\u200b\ufeff\n".encode())
    save(out, "longline.txt", ("x" * 3000).encode())
    save(out, "longwords.txt", " ".join(["supercalifragilistic" * 5] * 20).encode())
    save(out, "blanks.txt", (" " * 500 + "\n" + "\t" * 100 + "\n\n\n").encode())
    save(out, "control.txt", bytes(range(32)) + b"\x7f text\n")
    # Broken UTF-8: lone continuation bytes, overlong forms, surrogates, a lead byte at the end.
    save(out, "broken.txt", b"a\x80b\xc0\xafc\xed\xa0\x80d\xf8\x88\x80\x80\x80e\xff\xfe\xf0\x9f\x98")
    save(out, "empty.txt", b"")


def denso_seeds(out):
    def frame(scan, letter, payload):
        body = "<" + scan + letter + "(" + payload + ")"
        return (body + "%03d" % (sum(body.encode("latin-1")) % 256) + ">").encode("latin-1")

    wedge = "".join("%02d: %d.%02d" % (i, i * 15 // 100, i * 15 % 100) for i in range(1, 22))
    answers = {
        "steps": frame("10", "D", wedge),
        "steps_missing": frame("10", "D", wedge.replace("05: 0.75", "05: -.--")[:120]),
        "features": frame("10", "K", "#01:0.50#03:0.12#04:9.99"),
        "softrev": frame("10", "V", "17"),
        "revdate": frame("10", "U", "24.12.2003"),
        "battery": frame("10", "B", "85"),
        "lock": frame("10", "S", ""),
        "unlock": frame("50", "L", ""),
        "lastdens": frame("10", "M", "1.2345"),
        "lastdens_none": frame("10", "M", "-.--"),
        "noise_first": b"\x00\xff garbage \r\n" + frame("10", "M", "0.85") + b"\r\n",
        "bad_checksum": b"<10M(0.85)007>",
        "no_close": b"<10M(0.85",
    }
    for name, data in answers.items():
        save(out, name + ".ans", data)


def sfx_header(caption=b"", folder=b"", command=b"", message=b"", options=0x0100, overwrite=2, style=0,
               fourth=b""):
    """The header block and the trailer behind it; the block's size rounded up to a multiple of 4."""
    texts = caption + folder + command + fourth + message
    size = (18 + len(texts) + 3) // 4 * 4
    block = struct.pack("<IHHB5BI", 0x01005A44, size, options, overwrite, len(caption), len(folder),
                        len(command), len(fourth), len(message), style) + texts
    block += bytes(size - len(block))
    return block + struct.pack("<II", 0x010A5A44, size)


def old_header(kind, flags, caption, folder, command, message=b""):
    if kind == "U":
        return b"MPU" + bytes([flags, len(caption), len(folder), len(command)]) + caption + folder + command
    texts = b"".join(bytes([len(t)]) + t for t in (caption, folder, command, message))
    return b"MPV" + bytes([flags]) + b"\x90" * 4 + texts


def sfx_seeds(out):
    stubs = os.path.join(SOURCE, "tests", "Archive", "sfx-fixtures")
    icon_stub = open(os.path.join(stubs, "stub_icon.exe"), "rb").read()
    plain_stub = open(os.path.join(stubs, "stub_plain.exe"), "rb").read()
    fronts = {
        "current": icon_stub + sfx_header(b"Setup", b"C:\\Korvalis", b"setup.exe", b"Install now?", 0x0108, 2, 0x24),
        "fourth": plain_stub + sfx_header(b"Cap", b"", b"run", b"Go", 0x0117, 1, 0x41, fourth=b"xyz"),
        "empty_texts": plain_stub + sfx_header(overwrite=0),
        "old_u": plain_stub + old_header("U", 0x01 | 0x08 | 0x40, b"Old", b"C:\\Dir", b"go.bat"),
        "old_v": icon_stub + old_header("V", 0x02 | 0x10 | 0x80, b"Older", b"", b"cmd", b"Message"),
    }
    with tempfile.TemporaryDirectory() as work:
        with open(os.path.join(work, "a.txt"), "wb") as f:
            f.write(b"self-extracting text " * 40)
        with open(os.path.join(work, "b.bin"), "wb") as f:
            f.write(bytes(range(256)))
        plain = os.path.join(work, "plain.zip")
        if run(["zip", "-q", "-X", plain, "a.txt", "b.bin"], work):
            zipped = open(plain, "rb").read()
            save(out, "zip_plain.zip", zipped)
            save(out, "zip_behind_stub.zip", plain_stub + zipped)  # offsets that do not count the stub
            for name, front in fronts.items():
                exe = os.path.join(work, name + ".exe")
                with open(exe, "wb") as f:
                    f.write(front + zipped)
                if run(["zip", "-q", "-A", exe], work):
                    made = open(exe, "rb").read()
                    save(out, "zip_%s.exe" % name, made)
                    if name == "current":
                        save(out, "zip_current_cut_in_zip.exe", made[:len(made) - 60])
                        save(out, "zip_current_cut_at_trailer.exe", made[:len(front)])
                        save(out, "zip_current_cut_in_header.exe", made[:len(front) - 20])
        with_comment = os.path.join(work, "comment.zip")
        if run(["sh", "-c", "cp plain.zip comment.zip && echo 'made for the self-extractor' | zip -q -z comment.zip"],
               work):
            save(out, "zip_comment.zip", open(with_comment, "rb").read())
    # Python's zipfile appends an archive to what is in front, its offsets counting from the start.
    for name, front in fronts.items():
        buf = io.BytesIO(front)
        with zipfile.ZipFile(buf, "a", zipfile.ZIP_DEFLATED) as z:
            z.writestr("dir/", b"")
            z.writestr("dir/one.txt", b"one " * 100)
            z.writestr("two.txt", b"two")
            if name == "current":
                z.comment = b"a comment"
        save(out, "py_%s.exe" % name, buf.getvalue())
    # An empty archive made by the builder's rule: an end record whose directory starts where it stands.
    front = icon_stub + sfx_header(b"Self-extracting Archive")
    save(out, "py_empty.exe", front + struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0, 0, 0, len(front), 0))
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_STORED) as z:
        z.writestr("stored.txt", b"stored " * 30)
    save(out, "py_stored.zip", buf.getvalue())


def main():
    kind, out = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    {"zip": zip_seeds, "pe": pe_seeds, "text": text_seeds, "denso": denso_seeds, "sfx": sfx_seeds}[kind](out)


if __name__ == "__main__":
    main()
