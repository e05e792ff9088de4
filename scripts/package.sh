#!/usr/bin/env bash
# Builds the 32-bit product and writes the release a player unzips anywhere:
# dist/QUAVERIX-<file version>.zip with QUAVERIX.exe, Pellamor.lst, the Japanese read-me
# (code page 932, CR LF, for Notepad on any Japanese Windows) and LAME's licence; and
# dist/QUAVERIX-<file version>-relink.zip, what LAME's licence (LGPL 2) asks for with a
# program it is linked into: the program's object files and libraries, LAME's source
# package and the link command, so a player can link QUAVERIX.exe with a LAME of their
# own. Two runs on the same commit give the same bytes: the exe carries no link time, the
# entries a fixed time and order.
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
lame="$(sed -n 's/^QX_LAME_DIR:INTERNAL=//p' build/win32/CMakeCache.txt)"
python3 scripts/make_zip.py "$out" "$stamp" \
  "QUAVERIX.exe=build/win32/QUAVERIX.exe" \
  "Pellamor.lst=data/Pellamor.lst" \
  "はじめにお読みください.txt=$work/readme.txt" \
  "COPYING-LAME.txt=$lame/COPYING"
echo "package: $out ($(stat -c %s "$out") bytes)"

# The relink kit: the link command exactly as the build ran it (ninja's last step for the
# exe), with every file it names from the build folder and LAME's library beside it.
link="$(ninja -C build/win32 -t commands QUAVERIX.exe | tail -n 1)"
link="${link#: && }"
link="${link%% && cd *}"
entries=()
words=()
prev=""
for word in $link; do
  if [ "$prev" = -o ]; then
    : # what it writes
  elif [ "$word" = "$lame/lib/libmp3lame.a" ]; then
    word=libmp3lame.a
    entries+=("libmp3lame.a=$lame/lib/libmp3lame.a")
  elif [ -f "build/win32/$word" ]; then
    entries+=("$word=build/win32/$word")
  fi
  words+=("$word")
  prev="$word"
done
driver="$(basename "${words[0]}")"
{
  echo "#!/bin/sh"
  echo "# Links QUAVERIX.exe $version again from the files beside this script, with the"
  echo "# libmp3lame.a here: put the one you built in its place first (see lame/)."
  echo "# Built with Debian 12's MinGW-w64 ($driver) and its libz-mingw-w64-dev (-lz);"
  echo "# CXX names another compiler."
  echo "# LAME's libmp3lame.a here was built from its source package in lame/ by"
  echo "#   dpkg-source -x lame/lame_3.100-6.dsc lame-3.100 && cd lame-3.100 &&"
  echo "#   $(sed 's/^lame [^:]*: //' "$lame/recipe")"
  echo "# and is libmp3lame/.libs/libmp3lame.a then."
  echo 'cd "$(dirname "$0")" || exit 1'
  echo "exec \"\${CXX:-$driver}\" ${words[*]:1}"
} >"$work/link.sh"
for f in "$lame"/source/*; do entries+=("lame/$(basename "$f")=$f"); done
kit="dist/QUAVERIX-$version-relink.zip"
rm -f "$kit"
python3 scripts/make_zip.py "$kit" "$stamp" "link.sh=$work/link.sh" "COPYING-LAME.txt=$lame/COPYING" \
  "${entries[@]}"
echo "package: $kit ($(stat -c %s "$kit") bytes)"
