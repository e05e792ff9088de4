#!/usr/bin/env bash
# The release as a player gets it: the zips built twice give the same bytes, the release
# holds what it should, the relink kit links the same exe, and the unpacked exe starts
# under Wine with the shipped list file; and
# scripts/run.sh started in a game's own Wine prefix runs QUAVERIX there and leaves that
# prefix's registry as it was. Run by scripts/test.sh, on its display and Wine prefix.
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/lib.sh
fail() { echo "release: FAILED: $*" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Waits for a window whose title holds $1; prints its id.
window() {
  for _ in $(seq 1 150); do
    xdotool search --name "$1" 2>/dev/null | head -n 1 && return 0
    sleep 0.2
  done
  return 1
}

bash scripts/package.sh
version="$(sed -n 's/^project(QUAVERIX VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
zip="dist/QUAVERIX-$version.zip" kit="dist/QUAVERIX-$version-relink.zip"
first="$(cat "$zip" "$kit" | sha256sum)"
rm -f build/win32/QUAVERIX.exe  # linked anew: still the same bytes
bash scripts/package.sh
[ "$(cat "$zip" "$kit" | sha256sum)" = "$first" ] || fail "two runs gave different zips"
mkdir "$work/unpacked"
lame="$(sed -n 's/^QX_LAME_DIR:INTERNAL=//p' build/win32/CMakeCache.txt)"
python3 tests/package/check_package.py "$zip" build/win32/QUAVERIX.exe data/Pellamor.lst \
  data/readme-ja.txt "$lame/COPYING" "$work/unpacked"

# The relink kit links the same exe again, and its LAME source unpacks as its .dsc says;
# the same source with one byte changed does not.
python3 -m zipfile -e "$kit" "$work/kit"
sh "$work/kit/link.sh" && cmp "$work/kit/QUAVERIX.exe" build/win32/QUAVERIX.exe || fail "the relink kit links another exe"
bash scripts/lame.sh --extract "$work/kit/lame/lame_3.100-6.dsc" "$work/lame" || fail "the kit's LAME source"
python3 -c 'import sys; f = open(sys.argv[1], "r+b"); f.seek(5000); b = f.read(1); f.seek(5000); f.write(bytes([b[0] ^ 1]))' \
  "$work/kit/lame/lame_3.100.orig.tar.gz"
! bash scripts/lame.sh --extract "$work/kit/lame/lame_3.100-6.dsc" "$work/changed" 2>/dev/null || fail "a changed LAME source unpacked"
echo "release: the relink kit links QUAVERIX.exe byte for byte"

if qx_can_run_32bit; then
  (cd "$work/unpacked" && LC_ALL=ja_JP.UTF-8 exec wine QUAVERIX.exe </dev/null >/dev/null 2>&1 &)
  win="$(window ZorventVer)" || fail "the unpacked exe showed no window"
  # Esc closes from the main tab, writing user.ini; a click on the hint label first makes
  # the window the one that takes the keys.
  for _ in $(seq 1 20); do
    [ -f "$work/unpacked/user.ini" ] && break
    xdotool mousemove --window "$win" 30 440 click 1 key Escape 2>/dev/null || true
    sleep 0.5
  done
  [ -f "$work/unpacked/user.ini" ] || fail "the unpacked exe did not close and save"
  grep -q 'Pellamor.lst=C:\\Program Files\\PellamorOnline\\bgm' "$work/unpacked/user.ini" ||
    fail "user.ini of the unpacked exe: $(cat "$work/unpacked/user.ini")"
  echo "release: the unpacked exe started, closed and saved"
else
  echo "release: this kernel cannot run the 32-bit exe; starting it is left out"
fi

# A game's prefix of its own, with the game's music folder, used under a Japanese locale.
export LC_ALL=ja_JP.UTF-8
game="$work/game-prefix"
WINEPREFIX="$game" "$(qx_wine_loader)" wineboot -i >/dev/null 2>&1 || true
WINEPREFIX="$game" wineserver -w
mkdir -p "$game/drive_c/Program Files/PellamorOnline/bgm"
mkdir "$work/before" "$work/after"
cp "$game"/*.reg "$work/before/"
WINEPREFIX="$game" bash scripts/run.sh </dev/null >"$work/run.log" 2>&1 &
runner=$!
win="$(window ZorventVer)" || { cat "$work/run.log"; fail "run.sh showed no window"; }
grep -q "Wine prefix $game" "$work/run.log" || fail "run.sh did not use the given prefix"
# Ending that prefix's programs ends QUAVERIX: it ran there.
WINEPREFIX="$game" wineserver -k
for _ in $(seq 1 50); do kill -0 "$runner" 2>/dev/null || break; sleep 0.2; done
if kill -0 "$runner" 2>/dev/null; then kill "$runner"; fail "QUAVERIX did not run in the given prefix"; fi
WINEPREFIX="$game" wineserver -w
cp "$game"/*.reg "$work/after/"
changed="$(python3 tests/package/reg_changes.py "$work/before" "$work/after")"
[ -z "$changed" ] || fail "run.sh changed the given prefix's registry: $changed"
echo "release: run.sh ran QUAVERIX in the given prefix and left its registry as it was"
echo "release: 3 passed, 0 failed"
