#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Safe to run again:
# packages already present are skipped without touching the network.
#
# Copes with a package mirror that is in the middle of a sync: the index update is
# tried a few times; an archive whose index still cannot be fetched for some
# architecture is pinned below the others for the one install that needs it (its
# packages for the other architectures would otherwise demand versions that the
# missing index holds); and when 32-bit Wine cannot be had at all, the rest is
# installed and the scripts run the 64-bit build under 64-bit Wine; that is noted for a
# day, so the runs of that day do not ask the mirror again. Wine's GStreamer plugins (its
# Media Foundation decodes through them) go with the Wine that runs the tests: the i386
# ones with 32-bit Wine, the native ones when 64-bit Wine stands in.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
TRIES="${QX_APT_TRIES:-3}"
PAUSE="${QX_APT_PAUSE:-10}"
NO_WINE32_NOTE="${QX_SETUP_STATE:-${XDG_CACHE_HOME:-$HOME/.cache}/quaverix}/wine32-unavailable"

PACKAGES=(
  cmake ninja-build g++ make python3 python3-pefile clang-format
  googletest libgtest-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine64
  xvfb xdotool x11-apps x11-utils imagemagick fonts-noto-cjk fonts-ipafont-gothic fonts-wine
  e2fsprogs locales ffmpeg lame pkg-config libmpg123-dev libebur128-dev libmp3lame-dev dpkg-dev
  libavformat-dev libavcodec-dev libavutil-dev zlib1g-dev libz-mingw-w64-dev
)
WINE32=wine32:i386
# For Media Foundation under Wine: FLAC, AAC and ALAC in MP4, Vorbis, Opus, AIFF (base,
# good, libav) and WMA (ugly has the ASF demuxer).
GST=(
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly
  gstreamer1.0-libav
)
WITH_WINE32=("$WINE32" "${GST[@]/%/:i386}")
# The loader scripts/lib.sh runs 32-bit programs with: it fails where 32-bit Wine is
# missing or the kernel cannot run it, and the tests then run under 64-bit Wine.
WINE32_LOADER="${QX_WINE32_LOADER:-/usr/lib/wine/wine}"

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

# Updates the package indexes; afterwards FAILED_SUITES names each suite ("dists/<suite>")
# of which some index still could not be fetched after the last try.
FAILED_SUITES=()
update() {
  local try out
  for try in $(seq 1 "$TRIES"); do
    if out="$($SUDO apt-get update -qq 2>&1)" && ! grep -q '^[EW]: Failed to fetch' <<<"$out"; then
      FAILED_SUITES=()
      return
    fi
    mapfile -t FAILED_SUITES < <(grep -o '^[EW]: Failed to fetch [^ ]*/dists/[^/ ]*' <<<"$out" | sed 's|.*/dists/||' | sort -u)
    if [ "$try" -lt "$TRIES" ]; then
      echo "setup: the package index update failed (try $try of $TRIES); trying again in $PAUSE s"
      sleep "$PAUSE"
    fi
  done
  grep '^[EW]: Failed to fetch' <<<"$out" | sed 's/^[EW]: /setup: still failing: /' || true
  echo "setup: going on with the indexes that could be fetched"
}

# apt-get install, with the given preferences file when one is named. Its complaints
# are kept in APT_ERR as well as shown.
APT_ERR="$(mktemp)"
trap 'rm -f "$APT_ERR"' EXIT
install() {
  local prefs="$1" rc=0
  shift
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
    ${prefs:+-o "Dir::Etc::Preferences=$prefs"} "$@" 2>"$APT_ERR" || rc=$?
  cat "$APT_ERR" >&2
  return "$rc"
}

# The packages apt-get named as impossible in its last complaint.
refused() {
  sed -n -e "s/^E: Unable to locate package \([^ ]*\).*/\1/p" \
    -e "s/^E: Package '\([^']*\)' has no installation candidate.*/\1/p" \
    -e 's/^ \([^ ]*\) : Depends:.*/\1/p' "$APT_ERR" | sort -u | paste -sd' '
}

# Installs the packages given, pinning low the suites whose indexes failed when the plain
# install cannot be resolved. The preferences file lives only for that one command.
install_with_fallback() {
  install "" "$@" && return
  [ "${#FAILED_SUITES[@]}" -gt 0 ] || return 1
  local prefs suite rc=0
  prefs="$(mktemp)"
  for suite in "${FAILED_SUITES[@]}"; do
    # The suite named in the address may be a code name or a suite name.
    printf 'Package: *\nPin: release %s=%s\nPin-Priority: 100\n\n' n "$suite" a "$suite" >>"$prefs"
  done
  echo "setup: the install could not be resolved while the index of ${FAILED_SUITES[*]} is missing" \
    "for some architecture; trying again with ${FAILED_SUITES[*]} pinned below the other archives"
  chmod 644 "$prefs"
  install "$prefs" "$@" || rc=$?
  rm -f "$prefs"
  return "$rc"
}

NEED_UPDATE=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
  NEED_UPDATE=1
fi

missing=()
for p in "${PACKAGES[@]}"; do installed "$p" || missing+=("$p"); done
gst64=()
for p in "${GST[@]}"; do installed "$p" || gst64+=("$p"); done
wine32=()
for p in "${WITH_WINE32[@]}"; do installed "$p" || wine32+=("$p"); done
if [ "${#wine32[@]}" -eq 0 ]; then
  rm -f "$NO_WINE32_NOTE"
elif [ -n "$(find "$NO_WINE32_NOTE" -mmin -1440 2>/dev/null)" ]; then
  echo "setup: 32-bit Wine could not be installed $(date -r "$NO_WINE32_NOTE" '+%F %R'); using 64-bit Wine (tried again a day later, or now after: rm $NO_WINE32_NOTE)"
  WINE32_MISSING=1
  missing+=("${gst64[@]}")
  gst64=()
else
  missing+=("${wine32[@]}")
fi

UPDATED=0
if [ "${#missing[@]}" -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  update
  UPDATED=1
  if ! install_with_fallback "${missing[@]}"; then
    rest=()
    for p in "${missing[@]}"; do [[ " ${WITH_WINE32[*]} " == *" $p "* ]] || rest+=("$p"); done
    without32="${#rest[@]}"
    # 64-bit Wine runs the tests instead: its plugins go with the rest.
    rest+=("${gst64[@]}")
    gst64=()
    if [ "$without32" -eq "${#missing[@]}" ] || { [ "${#rest[@]}" -gt 0 ] && ! install_with_fallback "${rest[@]}"; }; then
      names="$(refused)"
      echo "setup: could not install ${names:-${rest[*]}}; every build and test needs it" >&2
      exit 1
    fi
    echo "setup: 32-bit Wine ($WINE32) could not be installed; the Windows tests and run.sh use 64-bit Wine and the 64-bit build"
    mkdir -p "$(dirname "$NO_WINE32_NOTE")" && touch "$NO_WINE32_NOTE"
    WINE32_MISSING=1
  fi
elif [ "$NEED_UPDATE" = 1 ]; then
  update
  UPDATED=1
fi
# 32-bit Wine that does not run (a kernel without 32-bit support): 64-bit Wine runs the
# tests, with its own plugins.
if [ "${#gst64[@]}" -gt 0 ] && ! "$WINE32_LOADER" --version >/dev/null 2>&1; then
  echo "setup: 32-bit Wine does not run here; installing ${gst64[*]} for 64-bit Wine"
  [ "$UPDATED" = 1 ] || update
  if ! install_with_fallback "${gst64[@]}"; then
    echo "setup: could not install ${gst64[*]}; the Windows tests need them" >&2
    exit 1
  fi
fi
# A Japanese desktop's locale, so that Wine reads Unix file names as UTF-8 while its
# ANSI and OEM code pages are 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  $SUDO sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
if [ "${WINE32_MISSING:-0}" = 1 ]; then
  echo "setup: all packages present but $WINE32"
else
  echo "setup: all packages present"
fi
