#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix and display.
# Used by ctest (CMAKE_CROSSCOMPILING_EMULATOR); scripts/test.sh starts the display.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
: "${DISPLAY:=:${QX_DISPLAY_NUM:-87}}"
# A Japanese Windows: ANSI and OEM code page 932 (LANG alone does not do it).
: "${LC_ALL:=ja_JP.UTF-8}"
export DISPLAY LC_ALL
exec "$(qx_wine_loader)" "$@"
