#!/usr/bin/env python3
"""Writes the release zip reproducibly: fixed order, times and attributes.

    make_zip.py OUT.zip DATE_TIME NAME=SOURCE ...

DATE_TIME is "YYYY-MM-DD HH:MM:SS", the time every entry carries. Names are stored in
code page 932 without the UTF-8 flag, as Japanese Windows and its archivers read them, with
an Info-ZIP Unicode Path field that gives the UTF-8 name to the tools that read one.
"""
import struct
import sys
import zipfile
import zlib


def unicode_path_field(raw: bytes, name: str) -> bytes:
    data = b"\x01" + struct.pack("<I", zlib.crc32(raw)) + name.encode("utf-8")
    return struct.pack("<HH", 0x7075, len(data)) + data


class Cp932Info(zipfile.ZipInfo):
    def _encodeFilenameFlags(self):
        return self.filename.encode("cp932"), self.flag_bits


def main() -> None:
    out, stamp, *pairs = sys.argv[1:]
    when = tuple(int(x) for x in stamp.replace("-", " ").replace(":", " ").split())
    with zipfile.ZipFile(out, "w") as z:
        for pair in pairs:
            name, source = pair.split("=", 1)
            info = Cp932Info(name, date_time=when)
            info.create_system = 0  # MS-DOS: attributes as Windows knows them
            info.external_attr = 0x20  # archive
            info.compress_type = zipfile.ZIP_DEFLATED
            if not name.isascii():
                info.extra = unicode_path_field(name.encode("cp932"), name)
            with open(source, "rb") as f:
                z.writestr(info, f.read(), compresslevel=9)


if __name__ == "__main__":
    main()
