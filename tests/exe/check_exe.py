#!/usr/bin/env python3
"""Checks the built QUAVERIX.exe as a player's Windows would see it: a GUI program of the
expected width (the 32-bit one large-address-aware), one icon, the version record, the manifest (common controls 6, per-monitor
DPI awareness, supported Windows versions, the execution level asInvoker), and imports of system
DLLs only."""
import re
import sys

import pefile

# DLLs every supported Windows ships.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "comdlg32.dll",
               "shell32.dll", "shlwapi.dll", "uxtheme.dll", "advapi32.dll", "msvcrt.dll",
               "ole32.dll", "oleaut32.dll"}


def main(path, bits):
    failures = []

    def check(ok, what):
        if not ok:
            failures.append(what)

    pe = pefile.PE(path)
    magic = pe.OPTIONAL_HEADER.Magic
    check(magic == (0x10B if bits == 32 else 0x20B), f"PE32{'+' if bits == 64 else ''} expected")
    check(pe.OPTIONAL_HEADER.Subsystem == 2, "GUI subsystem expected")
    # A 32-bit process gets 4 GB of address space on 64-bit Windows only with this flag.
    large = pe.FILE_HEADER.Characteristics & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_LARGE_ADDRESS_AWARE"]
    check(bits == 64 or large, "large-address-aware flag missing")

    imports = {e.dll.decode().lower() for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    check(imports <= SYSTEM_DLLS, f"non-system imports: {sorted(imports - SYSTEM_DLLS)}")
    check(not any(d.startswith(("libstdc++", "libgcc", "libwinpthread")) for d in imports),
          "runtime DLLs imported")

    icons, manifest = [], None
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if entry.id == 14:  # RT_GROUP_ICON
            icons = entry.directory.entries
        if entry.id == 24:  # RT_MANIFEST
            res = entry.directory.entries[0].directory.entries[0]
            manifest = pe.get_data(res.data.struct.OffsetToData, res.data.struct.Size).decode()
    check(len(icons) == 1, f"one icon group expected, found {len(icons)}")

    fixed = pe.VS_FIXEDFILEINFO[0]
    file_version = (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                    fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF)
    check(file_version == (1, 2, 3, 0), f"file version {file_version}")
    strings = {}
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    want = {"FileVersion": "1.2.3.0", "ProductVersion": "1.0.0.0",
            "FileDescription": "PellamorOnlineBGM変更サポート", "OriginalFilename": "QUAVERIX.exe"}
    for key, value in want.items():
        check(strings.get(key) == value, f"{key} = {strings.get(key)!r}, want {value!r}")
    for key in ("CompanyName", "ProductName", "InternalName", "LegalTrademarks", "Comments"):
        check(strings.get(key, "") == "", f"{key} should be empty, is {strings.get(key)!r}")

    check(manifest is not None, "manifest missing")
    if manifest:
        check("Microsoft.Windows.Common-Controls" in manifest and 'version="6.0.0.0"' in manifest,
              "common controls 6 not requested")
        check("PerMonitorV2" in manifest and "true/pm" in manifest, "per-monitor DPI awareness missing")
        check(len(re.findall(r"supportedOS Id=", manifest)) >= 4, "supported Windows versions missing")
        levels = re.findall(r'<requestedExecutionLevel\s+level="([^"]*)"\s+uiAccess="([^"]*)"', manifest)
        check(levels == [("asInvoker", "false")] and "<trustInfo" in manifest,
              f"execution level asInvoker (no virtualization) expected, found {levels}")

    for f in failures:
        print("FAIL:", f)
    print(f"{path}: {len(failures)} problem(s); imports {sorted(imports)}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], int(sys.argv[2])))
