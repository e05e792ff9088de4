#!/usr/bin/env bash
# Builds QUAVERIX.exe and starts it under Wine from a portable folder that holds the
# shipped list file (build/portable). Uses your display, or a virtual one if there is none.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
. scripts/lib.sh
bash scripts/build.sh win32
preset="$(qx_wine_preset)"
if [ "$preset" != win32 ]; then
  echo "run: this kernel cannot run 32-bit programs; starting the 64-bit build of the same code"
  bash scripts/build.sh "$preset"
fi
dest="build/portable"
mkdir -p "$dest"
cp "build/$preset/QUAVERIX.exe" data/Pellamor.lst "$dest/"
if [ -z "${DISPLAY:-}" ]; then
  trap qx_stop_all EXIT
  qx_start_display
  echo "run: no display given; using the virtual display $DISPLAY"
fi
qx_wine_prefix
cd "$dest"
LC_ALL="${LC_ALL:-ja_JP.UTF-8}" "$(qx_wine_loader)" QUAVERIX.exe
