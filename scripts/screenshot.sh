#!/usr/bin/env bash
# Takes the README's screenshots: starts QUAVERIX under Wine on a virtual display as a
# new user would (no user.ini, the shipped list file), shoots the main tab, clicks the
# settings tab and shoots it. Writes docs/main-tab.png and docs/settings-tab.png.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
preset="$(qx_wine_preset)"
bash scripts/build.sh "$preset" >/dev/null
work="$(mktemp -d)"
cp "build/$preset/QUAVERIX.exe" data/Pellamor.lst "$work/"
mkdir -p "$work/music"
for n in "夜明けの街.mp3" "battle theme.mp3" "森のワルツ.wav" "notes.txt"; do : > "$work/music/$n"; done
trap 'qx_stop_all; rm -rf "$work"' EXIT
qx_start_display
qx_wine_prefix
(cd "$work/music" && LC_ALL=ja_JP.UTF-8 "$(qx_wine_loader)" ../QUAVERIX.exe >/dev/null 2>&1 &)
win=""
for _ in $(seq 1 100); do
  win="$(xdotool search --name 'ZorventVer' 2>/dev/null | head -n 1 || true)"
  [ -n "$win" ] && break
  sleep 0.2
done
[ -n "$win" ] || { echo "screenshot: the window did not appear" >&2; exit 1; }
sleep 1.5
shoot() {
  eval "$(xdotool getwindowgeometry --shell "$win")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$1"
}
shoot docs/main-tab.png
# The settings tab sits right of the main tab in the strip at the top.
xdotool mousemove --window "$win" 85 38 click 1
sleep 2.5
shoot docs/settings-tab.png
echo "screenshot: docs/main-tab.png docs/settings-tab.png"
