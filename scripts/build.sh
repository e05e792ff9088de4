#!/usr/bin/env bash
# Configures and builds one preset (native or win32).
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-win32}"
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j "$(nproc)"
