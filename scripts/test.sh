#!/usr/bin/env bash
# Runs every test: the native suites (with the sanitizers), then the Windows suites
# under Wine on a virtual display of their own. Leaves nothing running.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
. scripts/lib.sh
# The sources as the committed .clang-format writes them.
bash scripts/format.sh --check

bash scripts/build.sh native
ctest --preset native -j "$(nproc)"
# The fuzz targets, briefly: each starts from its seeds and runs 30 s.
bash scripts/fuzz.sh 30

# The product is the 32-bit QUAVERIX.exe; it is always built and checked as a file.
bash scripts/build.sh win32
ctest --preset win32 -L exe
preset="$(qx_wine_preset)"
if [ "$preset" != win32 ]; then
  echo "test: this kernel cannot run 32-bit programs; the Windows suites run as a 64-bit build of the same code"
  bash scripts/build.sh "$preset"
fi
trap qx_stop_all EXIT
qx_start_display
qx_wine_prefix
ctest --preset "$preset"
# The release zip as a player gets it, and run.sh in a game's own Wine prefix.
bash tests/package/release_test.sh
