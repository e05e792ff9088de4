#!/usr/bin/env bash
# Takes the README's pictures from a scripted run of QUAVERIX under Wine on a virtual
# display, as a new user would go (no user.ini, the shipped list file): music clicked into
# four slots (right-clicks step the slot down; one is a WAVE in an ".mp3" slot, marked),
# "コピー開始" (asked about that one, OK) into the game's folder, whose 05.mp3 is read-only so
# that the report has something to say, then the settings tab.
# Writes docs/main-tab.png, docs/copy-report.png and docs/settings-tab.png.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
preset="$(qx_wine_preset)"
bash scripts/build.sh "$preset" >/dev/null
work="$(mktemp -d)"
cp "build/$preset/QUAVERIX.exe" data/Pellamor.lst "$work/"
mkdir -p "$work/music"
# Real music, made by ffmpeg: three MP3s and a PCM WAVE, which goes into an ".mp3" slot and
# so is marked as a file that may not play there.
tone=440
for n in "夜明けの街.mp3" "battle theme.mp3" "森のワルツ.wav" "草原を渡る風.mp3"; do
  ffmpeg -loglevel error -f lavfi -i "sine=frequency=$tone:duration=150" -ac 2 -ar 44100 \
    "$work/music/$n"
  tone=$((tone + 110))
done
echo "memo" > "$work/music/notes.txt"
trap 'qx_stop_all; rm -rf "$work" "$bgm"' EXIT
qx_start_display
qx_wine_prefix
# The game's music folder at its default place, one file read-only.
bgm="$WINEPREFIX/drive_c/Program Files/PellamorOnline/bgm"
mkdir -p "$bgm"
for n in 01 03 05 08; do head -c 3000 /dev/urandom > "$bgm/$n.mp3"; done
chmod a-w "$bgm/05.mp3"
(cd "$work/music" && LC_ALL=ja_JP.UTF-8 exec "$(qx_wine_loader)" ../QUAVERIX.exe </dev/null >/dev/null 2>&1 &)
win=""
for _ in $(seq 1 100); do
  win="$(xdotool search --name 'ZorventVer' 2>/dev/null | head -n 1 || true)"
  [ -n "$win" ] && break
  sleep 0.2
done
[ -n "$win" ] || { echo "screenshot: the window did not appear" >&2; exit 1; }
sleep 1.5
# Window coordinates of a point of the client area (Wine draws the frame itself).
at() { echo "$(($1 + 3)) $(($2 + 22))"; }
click() { xdotool mousemove --window "$win" $(at "$1" "$2") click "${3:-1}"; sleep 0.4; }
shoot() {
  eval "$(xdotool getwindowgeometry --shell "$win")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$1"
}
# The file list: its lines are 12 px high from client y 232. Click, then right-click to
# step down to the next slot.
for line in 0 1 2 3; do
  click 60 $((238 + 12 * line))
  click 60 $((238 + 12 * line)) 3
done
click 100 446  # the hint label: nothing, but the tip of the current slot stays
shoot docs/main-tab.png
click 300 458  # コピー開始
for _ in 1 2 3 4 5 6; do xdotool key Return; sleep 0.6; done  # the questions, then each file
sleep 0.5
shoot docs/copy-report.png  # the report box sits over the window
xdotool key Return
sleep 0.5
click 82 16  # the settings tab
sleep 1
shoot docs/settings-tab.png
chmod u+w "$bgm/05.mp3"
echo "screenshot: docs/main-tab.png docs/copy-report.png docs/settings-tab.png"
