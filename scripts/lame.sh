#!/usr/bin/env bash
# LAME's libmp3lame as a static library for one MinGW-w64 compiler, built from Debian's
# source package lame 3.100-6 and kept, so that later builds neither fetch nor compile:
#
#   scripts/lame.sh TRIPLET CC CFLAGS   prints the folder it is kept in: include/lame.h,
#                                       lib/libmp3lame.a, COPYING (LAME's licence, LGPL 2),
#                                       source/ (the .dsc and the two archives it names)
#   scripts/lame.sh --extract DSC DIR   unpacks a source package, its files checked
#
# The source package comes through an apt configuration of its own (its own sources
# list, lists and cache folders; the machine's apt set-up is only read) from the mirror
# and suite of this machine's "deb" line for Debian's main. apt checks the files against
# the signed index, and dpkg-source against the .dsc's checksums: a file that differs
# fails the build. Kept in ${QX_LAME_CACHE:-~/.cache/quaverix/lame}/<triplet>-3.100-6.
set -euo pipefail

VERSION=3.100-6
UPSTREAM=3.100

say() { echo "lame: $*" >&2; }

# Unpacks and patches the source package; fails when a file is not the one the .dsc names.
extract() {
  dpkg-source --require-strong-checksums -x "$1" "$2" >/dev/null 2>"$2.log" || {
    cat "$2.log" >&2
    say "the source package $(basename "$1") does not unpack as its .dsc says"
    return 1
  }
}

# The Debian mirror and suite this machine installs its packages from (main, not an
# -updates or -security suite).
mirror_and_suite() {
  apt-get indextargets --no-release-info --format '$(TARGET_OF) $(REPO_URI) $(RELEASE) $(COMPONENT)' |
    awk '$1 == "deb" && $4 == "main" && $3 !~ /[-\/]/ { print $2, $3; exit }'
}

# Downloads the source package into the folder $1, trying again a few times (a mirror in
# the middle of a sync may fail the index for a while).
fetch() {
  local dest="$1" where apt_dir try
  where="$(mirror_and_suite)"
  [ -n "$where" ] || { say "this machine's apt set-up has no deb line for main"; return 1; }
  apt_dir="$(mktemp -d)"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/parts"
  echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $where main" >"$apt_dir/sources.list"
  local apt=(apt-get -q -o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/parts"
    -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache" -o APT::Sandbox::User=root)
  say "fetching the source package lame $VERSION from $where"
  for try in 1 2 3; do
    if "${apt[@]}" update >"$apt_dir/log" 2>&1 &&
      (cd "$dest" && "${apt[@]}" source --download-only "lame=$VERSION" >>"$apt_dir/log" 2>&1); then
      rm -rf "$apt_dir"
      return 0
    fi
    [ "$try" = 3 ] || { say "the fetch failed (try $try of 3); trying again in ${QX_APT_PAUSE:-10} s"; sleep "${QX_APT_PAUSE:-10}"; }
  done
  cat "$apt_dir/log" >&2
  rm -rf "$apt_dir"
  say "could not fetch lame $VERSION"
  return 1
}

if [ "${1:-}" = --extract ]; then
  extract "$2" "$3"
  exit
fi
[ "$#" = 3 ] || { echo "usage: $0 TRIPLET CC CFLAGS | --extract DSC DIR" >&2; exit 2; }
triplet="$1" cc="$2" cflags="$3"
root="${QX_LAME_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quaverix/lame}"
out="$root/$triplet-$VERSION"
configure=(--host="$triplet" --disable-shared --enable-static --disable-frontend --disable-decoder
  "CC=$cc" "CFLAGS=$cflags")
recipe="lame $VERSION: ./configure $(printf '%q ' "${configure[@]}")&& make -C libmp3lame"
kept() { [ -f "$out/recipe" ] && [ "$(cat "$out/recipe")" = "$recipe" ]; }

if ! kept; then
  mkdir -p "$root"
  # One build at a time (both presets, other checkouts): the second finds it kept.
  exec 9>"$root/.lock"
  flock 9
fi
if ! kept; then
  start=$SECONDS
  work="$(mktemp -d "$root/.work.XXXXXX")"
  trap 'rm -rf "$work"' EXIT
  source="$root/source-$VERSION"
  # A kept source package that no longer unpacks is fetched again.
  if [ ! -f "$source/lame_$VERSION.dsc" ] || ! extract "$source/lame_$VERSION.dsc" "$work/lame-$UPSTREAM"; then
    rm -rf "$work/lame-$UPSTREAM"
    mkdir "$work/download"
    fetch "$work/download"
    extract "$work/download/lame_$VERSION.dsc" "$work/lame-$UPSTREAM"
    rm -rf "$source"
    mv "$work/download" "$source"
  fi
  say "building libmp3lame for $triplet"
  (
    cd "$work/lame-$UPSTREAM"
    ./configure "${configure[@]}" >"$work/build.log" 2>&1 &&
      make -C libmp3lame -j "$(nproc)" >>"$work/build.log" 2>&1
  ) || { tail -n 40 "$work/build.log" >&2; say "the build of libmp3lame failed"; exit 1; }
  mkdir -p "$work/kept/include" "$work/kept/lib" "$work/kept/source"
  cp "$work/lame-$UPSTREAM/include/lame.h" "$work/kept/include/"
  cp "$work/lame-$UPSTREAM/libmp3lame/.libs/libmp3lame.a" "$work/kept/lib/"
  cp "$work/lame-$UPSTREAM/COPYING" "$work/kept/"
  cp "$source"/lame_* "$work/kept/source/"
  echo "$recipe" >"$work/kept/recipe"
  rm -rf "$out"
  mv "$work/kept" "$out"
  say "libmp3lame for $triplet kept in $out ($((SECONDS - start)) s)"
fi
echo "$out"
