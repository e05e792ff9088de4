#!/usr/bin/env bash
# Builds QUAVERIX.exe and starts it under Wine from a portable folder that holds the
# shipped list file (build/portable). Uses your display, or a virtual one if there is none.
#
# With WINEPREFIX set (the game's own prefix, such as Proton's
# steamapps/compatdata/<app id>/pfx), QUAVERIX runs in that prefix, so that
# "C:\Program Files\PellamorOnline\bgm" is the game's folder; nothing in that prefix is
# created or changed by this script (no prefix set-up, no registry edits). Without it,
# a prefix of the project's own is used (and made on first use).
set -euo pipefail
cd "$(dirname "$0")/.."
given_prefix="${WINEPREFIX:-}"
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
if [ -n "$given_prefix" ]; then
  if [ ! -f "$given_prefix/system.reg" ]; then
    echo "run: no Wine prefix at $given_prefix (WINEPREFIX); start the game there once first" >&2
    exit 1
  fi
  export WINEPREFIX="$given_prefix"
  # The prefix's own kind and settings. The locale stays the player's too: Wine rewrites
  # a prefix's locale settings when it is started under another one.
  unset WINEARCH WINEDLLOVERRIDES
fi
if [ -z "${DISPLAY:-}" ]; then
  trap qx_stop_all EXIT
  qx_start_display
  echo "run: no display given; using the virtual display $DISPLAY"
fi
[ -n "$given_prefix" ] || qx_wine_prefix
echo "run: Wine prefix $WINEPREFIX"
cd "$dest"
if [ -n "$given_prefix" ]; then
  "$(qx_wine_loader)" QUAVERIX.exe
  exit
fi
LC_ALL="${LC_ALL:-ja_JP.UTF-8}" "$(qx_wine_loader)" QUAVERIX.exe
