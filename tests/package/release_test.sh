#!/usr/bin/env bash
# The release as a player gets it: the zip built twice gives the same bytes, holds what it
# should, and the unpacked exe starts under Wine with the shipped list file; and
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
zip="$(ls dist/QUAVERIX-*.zip)"
first="$(sha256sum < "$zip")"
rm -f build/win32/QUAVERIX.exe  # linked anew: still the same bytes
bash scripts/package.sh
[ "$(sha256sum < "$zip")" = "$first" ] || fail "two runs gave different zips"
mkdir "$work/unpacked"
python3 tests/package/check_package.py "$zip" build/win32/QUAVERIX.exe data/Pellamor.lst \
  data/readme-ja.txt "$work/unpacked"

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
echo "release: 2 passed, 0 failed"
