#!/usr/bin/env python3
"""Checks the release zip: what it holds, the read-me's encoding and line ends, the names.

    check_package.py ZIP EXE LISTFILE README_SOURCE LAME_LICENCE UNPACK_DIR

Unpacks into UNPACK_DIR as a player's archiver would. Exits non-zero on the first fault.
"""
import struct
import sys
import zipfile

zip_path, exe, listfile, readme_source, licence, unpack = sys.argv[1:7]
README = "はじめにお読みください.txt"
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def raw_name(info):
    # Without the UTF-8 flag Python decodes names as CP437; these bytes are CP932.
    return info.filename.encode("cp437") if not info.flag_bits & 0x800 else info.filename.encode("utf-8")


def unicode_path(info):
    extra = info.extra
    while len(extra) >= 4:
        tag, size = struct.unpack("<HH", extra[:4])
        if tag == 0x7075:
            return extra[4 + 5:4 + size].decode("utf-8")
        extra = extra[4 + size:]
    return None


with zipfile.ZipFile(zip_path) as z:
    infos = z.infolist()
    names = [raw_name(i).decode("cp932") for i in infos]
    check(names == ["QUAVERIX.exe", "Pellamor.lst", README, "COPYING-LAME.txt"], f"entries {names}")
    for info, name in zip(infos, names):
        check(not info.flag_bits & 0x800, f"{name}: stored with the UTF-8 flag")
        check(name.isascii() or unicode_path(info) == name, f"{name}: no Unicode path field")
        data = z.read(info)
        with open(f"{unpack}/{name}", "wb") as f:
            f.write(data)
        if name == "QUAVERIX.exe":
            check(data == open(exe, "rb").read(), "QUAVERIX.exe differs from the build")
            check(data[:2] == b"MZ", "QUAVERIX.exe is no program")
        elif name == "Pellamor.lst":
            check(data == open(listfile, "rb").read(), "Pellamor.lst differs from data/")
        elif name == "COPYING-LAME.txt":
            check(data == open(licence, "rb").read(), "COPYING-LAME.txt is not LAME's COPYING")
        else:
            try:
                text = data.decode("cp932")
            except UnicodeDecodeError as e:
                failures.append(f"read-me is not code page 932: {e}")
                text = ""
            check(not data.startswith(b"\xef\xbb\xbf"), "read-me has a byte-order mark")
            check(data.count(b"\n") == data.count(b"\r\n") and data.count(b"\r") == data.count(b"\r\n"),
                  "read-me has a line end other than CR LF")
            check(text.replace("\r\n", "\n") == open(readme_source, encoding="utf-8").read(),
                  "read-me differs from data/readme-ja.txt")
            for topic in ("展開", "はじめて起動したとき", "[→]", "クリック", "Bat作成", "コピー開始",
                          "元に戻す", "originals", "8.3", "管理者として", "APPDATA", "Linux", "Steam Deck", "WINEPREFIX",
                          "LAME", "3.100-6", "COPYING-LAME.txt", "relink.zip", "link.sh"):
                check(topic in text, f"read-me says nothing of {topic}")

for f in failures:
    print("package:", f)
print(f"package: {len(failures)} faults in {zip_path}")
sys.exit(1 if failures else 0)
