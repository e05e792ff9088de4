#!/usr/bin/env bash
# Runs every test: the native suites (with the sanitizers), then the Windows suites
# under Wine on a virtual display of their own. Leaves nothing running.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
. scripts/lib.sh

bash scripts/build.sh native
ctest --preset native -j "$(nproc)"

bash scripts/build.sh win32
trap qx_stop_all EXIT
qx_start_display
qx_wine_prefix
ctest --preset win32
