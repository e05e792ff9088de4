#!/usr/bin/env bash
# Builds the 32-bit product and writes the release a player unzips anywhere:
# dist/QUAVERIX-<file version>.zip with QUAVERIX.exe, Pellamor.lst and the Japanese read-me
# (code page 932, CR LF, for Notepad on any Japanese Windows). Two runs on the same commit
# give the same bytes: the exe carries no link time, the entries a fixed time and order.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh >/dev/null
bash scripts/build.sh win32 >/dev/null
version="$(sed -n 's/^project(QUAVERIX VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
# Every entry carries the time of the commit it was built from.
stamp="$(TZ=UTC git log -1 --format=%cd --date=format-local:'%Y-%m-%d %H:%M:%S' 2>/dev/null || echo '2026-01-01 00:00:00')"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# The read-me is kept as UTF-8 text; players get it as Windows' Japanese text.
python3 - data/readme-ja.txt "$work/readme.txt" <<'PY'
import sys
text = open(sys.argv[1], encoding="utf-8").read().replace("\r\n", "\n")
open(sys.argv[2], "wb").write(text.replace("\n", "\r\n").encode("cp932"))
PY
mkdir -p dist
out="dist/QUAVERIX-$version.zip"
rm -f "$out"
python3 scripts/make_zip.py "$out" "$stamp" \
  "QUAVERIX.exe=build/win32/QUAVERIX.exe" \
  "Pellamor.lst=data/Pellamor.lst" \
  "はじめにお読みください.txt=$work/readme.txt"
echo "package: $out ($(stat -c %s "$out") bytes)"
