# Shared by the project's scripts: the Wine loader and prefix, and the virtual display.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export QX_WINEPREFIX="${QX_WINEPREFIX:-$HOME/.cache/quaverix/wineprefix}"
export WINEPREFIX="$QX_WINEPREFIX"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
export WINEARCH=win64

# True when this machine's kernel runs 32-bit programs (some VM kernels are built
# without IA-32 emulation; 32-bit Wine cannot start there).
qx_can_run_32bit() {
  /usr/lib/wine/wine --version >/dev/null 2>&1
}

# The preset whose Windows binaries this machine's Wine can run.
qx_wine_preset() {
  if qx_can_run_32bit; then echo win32; else echo win64; fi
}

# The Wine loader to start a program of that preset with.
qx_wine_loader() {
  if qx_can_run_32bit; then echo wine; else echo /usr/lib/wine/wine64; fi
}

# Creates the prefix once (the first boot takes a while).
qx_wine_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    echo "wine: creating prefix $WINEPREFIX"
    LC_ALL=ja_JP.UTF-8 "$(qx_wine_loader)" wineboot -i >/dev/null 2>&1 || true
    # Windows unmanaged by an X window manager: without one (Xvfb), Wine otherwise waits
    # seconds for each shown window to be withdrawn when it closes.
    "$(qx_wine_loader)" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
    wineserver -w || true
  fi
}

# Starts a virtual X display of our own unless one is given; sets DISPLAY.
QX_XVFB_PID=""
qx_start_display() {
  if [ -n "${QX_USE_DISPLAY:-}" ]; then export DISPLAY="$QX_USE_DISPLAY"; return; fi
  local n
  for n in $(seq 87 120); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then break; fi
  done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  QX_XVFB_PID=$!
  export DISPLAY=":$n" QX_DISPLAY_NUM="$n"
  for _ in $(seq 1 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.1
  done
}

# Ends what qx_start_display and Wine started.
qx_stop_all() {
  WINEPREFIX="$QX_WINEPREFIX" wineserver -k >/dev/null 2>&1 || true
  if [ -n "$QX_XVFB_PID" ]; then kill "$QX_XVFB_PID" >/dev/null 2>&1 || true; wait "$QX_XVFB_PID" 2>/dev/null || true; fi
}
