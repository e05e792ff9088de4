#!/usr/bin/env bash
# scripts/setup.sh's decisions against a package system that plays back a scripted
# failure: apt-get, dpkg, dpkg-query, locale and sudo are stand-ins on PATH that keep
# their state in a folder and log every apt-get call.
set -uo pipefail
SETUP="$(cd "$(dirname "$0")/../.." && pwd)/scripts/setup.sh"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
BIN="$WORK/bin"
mkdir -p "$BIN"

cat >"$BIN/apt-get" <<'EOF'
#!/usr/bin/env bash
# State: $S/update_fails (how many more updates fail; "always"), $S/unavailable (packages
# no install can have), $S/needs_pin (a suite that must be pinned low for installs).
S="$FAKE_STATE"
prefs=""; pkgs=()
for a in "$@"; do
  case "$a" in Dir::Etc::Preferences=*) prefs="${a#*=}" ;; -*|install|update) ;; *) pkgs+=("$a") ;; esac
done
if [ "$1" = update ]; then
  echo "update" >>"$S/log"
  n="$(cat "$S/update_fails" 2>/dev/null || echo 0)"
  [ "$n" = always ] || echo $((n > 0 ? n - 1 : 0)) >"$S/update_fails"
  if [ "$n" = always ] || [ "$n" -gt 0 ]; then
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
    exit 100
  fi
  exit 0
fi
pin=""
if [ -n "$prefs" ]; then
  grep -qx 'Pin: release n=bookworm-security' "$prefs" && grep -qx 'Pin-Priority: 100' "$prefs" && pin=bookworm-security
  echo "$prefs" >"$S/prefs_path"
fi
echo "install${pin:+ pinned:$pin} ${pkgs[*]}" >>"$S/log"
for p in "${pkgs[@]}"; do
  if grep -qx "$p" "$S/unavailable" 2>/dev/null; then echo "E: Unable to locate package $p" >&2; exit 100; fi
done
if [ -s "$S/needs_pin" ] && [ "$pin" != "$(cat "$S/needs_pin")" ]; then
  echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100
fi
printf '%s\n' "${pkgs[@]}" >>"$S/installed"
EOF
cat >"$BIN/dpkg" <<'EOF'
#!/usr/bin/env bash
case "$1" in
  --print-foreign-architectures) cat "$FAKE_STATE/arches" 2>/dev/null ;;
  --add-architecture) echo "$2" >>"$FAKE_STATE/arches"; echo "add-architecture $2" >>"$FAKE_STATE/log" ;;
esac
EOF
cat >"$BIN/dpkg-query" <<'EOF'
#!/usr/bin/env bash
grep -qx "${!#}" "$FAKE_STATE/installed" 2>/dev/null && printf 'install ok installed'
EOF
# 32-bit Wine's loader runs when wine32:i386 is installed, unless the kernel cannot run it.
cat >"$BIN/wine32" <<'EOF'
#!/bin/sh
[ ! -e "$FAKE_STATE/no_ia32" ] && grep -qx 'wine32:i386' "$FAKE_STATE/installed" 2>/dev/null
EOF
printf '#!/bin/sh\necho ja_JP.utf8\n' >"$BIN/locale"
printf '#!/bin/sh\nexec "$@"\n' >"$BIN/sudo"
chmod +x "$BIN"/*

list() { sed -n "/^$1=(/,/^)/p" "$SETUP" | sed '1d;$d' | tr -s ' \n' '  ' | sed 's/^ *//;s/ *$//'; }
PACKAGES="$(list PACKAGES)"
GST64="$(list GST)"
ALL="$PACKAGES wine32:i386 $(sed 's/\([^ ]*\)/\1:i386/g' <<<"$GST64")"
NO_WINE32="$PACKAGES $GST64"  # with 64-bit Wine's plugins instead
NO_CMAKE="${ALL#cmake }"

fails=0
# name | installed before | update fails | unavailable | needs pin | exit | apt-get calls (";"-joined) |
# what the output must hold ("^"-joined)
while IFS='|' read -r name before upd unavail pin want_rc want_log want_out; do
  S="$WORK/$name"
  mkdir -p "$S"
  echo i386 >"$S/arches"
  : >"$S/log"
  case "$before" in
    all) tr ' ' '\n' <<<"$ALL" >"$S/installed" ;;
    no-wine32)  # and noted as not to be had an hour ago
      tr ' ' '\n' <<<"$NO_WINE32" >"$S/installed"
      mkdir -p "$S/note" && touch -d '1 hour ago' "$S/note/wine32-unavailable" ;;
    none) : >"$S/installed" ;;
    none-no-ia32) : >"$S/installed"; touch "$S/no_ia32" ;;  # a kernel without 32-bit support
  esac
  echo "$upd" >"$S/update_fails"
  tr ' ' '\n' <<<"$unavail" | sed '/^$/d' >"$S/unavailable"
  echo -n "$pin" >"$S/needs_pin"
  out="$(FAKE_STATE="$S" PATH="$BIN:$PATH" QX_APT_PAUSE=0 QX_SETUP_STATE="$S/note" \
    QX_WINE32_LOADER="$BIN/wine32" bash "$SETUP" 2>&1)"
  rc=$?
  log="$(paste -sd';' "$S/log")"
  want_log="${want_log//\$ALL/$ALL}"
  want_log="${want_log//\$NO_WINE32/$NO_WINE32}"
  want_log="${want_log//\$NO_CMAKE/$NO_CMAKE}"
  want_log="${want_log//\$GST64/$GST64}"
  problem=""
  [ "$rc" = "$want_rc" ] || problem+=" exit $rc, wanted $want_rc;"
  [ "$log" = "$want_log" ] || problem+=" calls were [$log], wanted [$want_log];"
  IFS='^' read -ra wants <<<"$want_out"
  for w in "${wants[@]}"; do grep -qF -- "$w" <<<"$out" || problem+=" output lacks \"$w\";"; done
  if grep -q "could not be installed;" <<<"$out" && [ ! -e "$S/note/wine32-unavailable" ]; then
    problem+=" the missing 32-bit Wine was not noted;"
  fi
  if [ -s "$S/prefs_path" ] && [ -e "$(cat "$S/prefs_path")" ]; then problem+=" the preferences file was left behind;"; fi
  if [ -n "$problem" ]; then
    echo "FAIL $name:$problem"
    echo "$out" | sed 's/^/    /'
    fails=$((fails + 1))
  else
    echo "ok   $name"
  fi
done <<'TABLE'
everything-present|all|0|||0||setup: all packages present
update-fails-once|none|1|||0|update;update;install $ALL|setup: all packages present
security-i386-mid-sync|none|always||bookworm-security|0|update;update;update;install $ALL;install pinned:bookworm-security $ALL|still failing: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386^with bookworm-security pinned below the other archives^setup: all packages present
no-wine32-anywhere|none|always|wine32:i386|bookworm-security|0|update;update;update;install $ALL;install pinned:bookworm-security $ALL;install $NO_WINE32;install pinned:bookworm-security $NO_WINE32|could not be installed; the Windows tests and run.sh use 64-bit Wine^all packages present but wine32:i386
no-wine32-again-that-day|no-wine32|always|wine32:i386||0||using 64-bit Wine^all packages present but wine32:i386
no-cmake|none|0|cmake||1|update;install $ALL;install $NO_WINE32|could not install cmake; every build
no-ia32-kernel|none-no-ia32|0|||0|update;install $ALL;install $GST64|32-bit Wine does not run here; installing gstreamer1.0-plugins-base^setup: all packages present
TABLE
exit $((fails > 0))
