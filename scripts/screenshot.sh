#!/usr/bin/env bash
# Takes the README's pictures from a scripted run of QUAVERIX under Wine on a virtual
# display, as a new player would go (no user.ini, the shipped list file), with the music in
# the player's own folder "C:\users\player\Music\BGM": music clicked into four slots
# (right-clicks step the slot down; one is a web page saved as ".mp3", marked), "コピー開始"
# (asked about that one, OK) into the game's folder, whose 05.mp3 is read-only so that the
# report has something to say, then the settings tab. The copy matches the loudness of the
# game's own music (ticked on the settings tab first), which is quieter than the tunes. Then a game update puts the game's
# own music back into two of the slots copied, and the next start asks about them; after it, the sets' dialog lists the table kept at close
# beside two sets saved before. Writes docs/main-tab.png, docs/copy-report.png,
# docs/settings-tab.png, docs/after-update.png and docs/sets.png.
#
# Runs in a Wine prefix of its own (QX_WINEPREFIX, default
# ~/.cache/quaverix/screenshot-prefix) for the Windows user "player"; in it the Music
# folder is a plain folder, not Wine's link to the Linux home folder. Wine draws the title
# bar's buttons in Marlett, which Debian's fonts-wine has (scripts/setup.sh installs it).
set -euo pipefail
cd "$(dirname "$0")/.."
export QX_WINEPREFIX="${QX_WINEPREFIX:-$HOME/.cache/quaverix/screenshot-prefix}"
export USER=player LOGNAME=player
. scripts/lib.sh
if [ ! -f /usr/share/wine/fonts/marlett.ttf ]; then
  echo "screenshot: Wine's Marlett font is missing (fonts-wine; run bash scripts/setup.sh)" >&2
  exit 1
fi
preset="$(qx_wine_preset)"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)" --target QUAVERIX >/dev/null
work="$(mktemp -d)"
cp "build/$preset/QUAVERIX.exe" data/Pellamor.lst "$work/"
bgm=""
music=""
trap 'qx_stop_all; rm -rf "$work" ${bgm:+"$bgm"} ${music:+"$music"}' EXIT
qx_start_display
qx_wine_prefix
# Wine draws the title bar's buttons as letters of Marlett ("r" is the close box) and looks
# for fonts in the prefix's Fonts folder, not in fonts-wine's: a link to it there.
ln -sf /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf"

# The player's music folder, C:\users\player\Music\BGM.
profile="$WINEPREFIX/drive_c/users/$USER"
if [ -L "$profile/Music" ]; then rm "$profile/Music"; fi
music="$profile/Music/BGM"
rm -rf "$music"
mkdir -p "$music"
# Real music, made by ffmpeg: three MP3s, and a download that failed and saved a web page
# as "森のワルツ.mp3", which is marked as a file that may not play.
tone=440
for n in "夜明けの街.mp3" "battle theme.mp3" "森のワルツ.mp3" "草原を渡る風.mp3"; do
  ffmpeg -loglevel error -f lavfi -i "sine=frequency=$tone:duration=150" -ac 2 -ar 44100 \
    "$music/$n"
  tone=$((tone + 110))
done
printf '<!DOCTYPE html>\n<html><body><h1>404 Not Found</h1></body></html>\n' >"$music/森のワルツ.mp3"
echo "memo" > "$music/notes.txt"
# The game's music folder at its default place, one file read-only.
bgm="$WINEPREFIX/drive_c/Program Files/PellamorOnline/bgm"
rm -rf "$bgm"
mkdir -p "$bgm"
# The game's own music, mixed quieter than the player's (about 12 dB).
tone=330
for n in 01 03 05 08; do
  ffmpeg -loglevel error -f lavfi -i "sine=frequency=$tone:duration=120" -af volume=0.25 \
    -ac 2 -ar 44100 "$bgm/$n.mp3"
  tone=$((tone + 55))
done
chmod a-w "$bgm/05.mp3"

win=""
# The first window titled `$1`, looked for `$2` times 0.2 s apart; without it, the
# message `$3` and the end of the script.
window_named() {
  local found=""
  for _ in $(seq 1 "$2"); do
    found="$(xdotool search --name "$1" 2>/dev/null | head -n 1 || true)"
    [ -n "$found" ] && break
    sleep 0.2
  done
  [ -n "$found" ] || { echo "screenshot: $3" >&2; exit 1; }
  echo "$found"
}
# Starts QUAVERIX in the music folder (where its lists open) and waits for its window.
start() {
  (cd "$music" && LC_ALL=ja_JP.UTF-8 exec "$(qx_wine_loader)" "$work/QUAVERIX.exe" </dev/null >/dev/null 2>&1 &)
  win="$(window_named 'ZorventVer' 100 'the window did not appear')"
  sleep 1.5
}
# Window coordinates of a point of the client area (Wine draws the frame itself).
at() { echo "$(($1 + 3)) $(($2 + 22))"; }
click() { xdotool mousemove --window "$win" $(at "$1" "$2") click "${3:-1}"; sleep 0.4; }
# The window, and the box named `$2` where it reaches beyond the window.
shoot() {
  local x0 y0 x1 y1
  eval "$(xdotool getwindowgeometry --shell "$win")"
  x0=$X y0=$Y x1=$((X + WIDTH)) y1=$((Y + HEIGHT))
  if [ -n "${2:-}" ]; then
    local box
    box="$(xdotool search --name "$2" 2>/dev/null | head -n 1 || true)"
    if [ -n "$box" ]; then
      eval "$(xdotool getwindowgeometry --shell "$box")"
      x0=$((X < x0 ? X : x0)) y0=$((Y < y0 ? Y : y0))
      x1=$((X + WIDTH > x1 ? X + WIDTH : x1)) y1=$((Y + HEIGHT > y1 ? Y + HEIGHT : y1))
    fi
  fi
  import -window root -crop "$((x1 - x0))x$((y1 - y0))+$x0+$y0" +repage "$1"
}
# Closes the window by its 終了 button on the main tab and waits until the program has ended.
quit() {
  click 30 16  # the main tab
  click 464 458  # 終了
  for _ in $(seq 1 50); do
    xdotool search --name 'ZorventVer' >/dev/null 2>&1 || return 0
    sleep 0.2
  done
  echo "screenshot: QUAVERIX did not end" >&2
  exit 1
}

start
# On the settings tab: the copy as loud as the game's own music.
click 82 16
click 30 366
click 30 16
# The file list: its lines are 12 px high from client y 232. Click, then right-click to
# step down to the next slot; the last slot filled stays the current one.
for line in 0 1 2 3; do
  click 60 $((238 + 12 * line))
  [ "$line" = 3 ] || click 60 $((238 + 12 * line)) 3
done
click 100 446  # the hint label: nothing, but the tip of the current slot stays
sleep 3  # the tunes and the game's tracks are measured meanwhile; the tip tells the difference
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
quit

# Two sets the player saved earlier (set files as QUAVERIX writes them, CP932).
mkdir -p "$work/sets"
set_file() {
  local name="$1"
  shift
  {
    printf 'QUAVERIX set 1\t%s\r\nslot\tsize\thash\tfile\r\n' "$name"
    for slot in "$@"; do printf '%s\t-\t-\tC:\\users\\player\\Music\\BGM\\%s.mp3\r\n' "$slot" "$name"; done
  } | iconv -f UTF-8 -t CP932 >"$work/sets/$name.txt"
}
set_file 'ハロウィン' 01.mp3 03.mp3 05.mp3 08.mp3 11.mp3 12.mp3
set_file '夏祭り' 01.mp3 03.mp3 09.mp3
# A game update: its patcher puts the game's own (new) music back into 01.mp3 and 08.mp3.
for n in 01 08; do head -c 3500 /dev/urandom > "$bgm/$n.mp3"; done
start
window_named '確認' 50 'no question after the game update' >/dev/null
sleep 1
shoot docs/after-update.png '確認'
xdotool key Escape  # キャンセル: the game's files stay as the update left them
sleep 0.5
# The sets' dialog: the table kept at the last close, and two sets saved before.
xdotool key alt+s
window_named '曲のセット' 50 'no sets dialog' >/dev/null
sleep 1
shoot docs/sets.png '曲のセット'
xdotool key Escape
sleep 0.5
quit
chmod u+w "$bgm/05.mp3"
echo "screenshot: docs/main-tab.png docs/copy-report.png docs/settings-tab.png docs/after-update.png docs/sets.png"
