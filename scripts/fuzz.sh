#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz: clang, ASan + UBSan) and runs each in turn,
# one process at a time, for SECONDS each (default 30), starting from its seed corpus in
# tests/fuzz/corpus/<target>. Fails on the first crash, sanitizer report or broken
# property; the input that did it is left in build/fuzz/crashes/.
# With FUZZ_RUNS=N set, each target stops after N executions instead (SECONDS still caps it).
#   usage: scripts/fuzz.sh [SECONDS] [TARGET...]     targets: ini cp932 listfile batch audio mp3gain zip
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
shift || true
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then targets=(ini cp932 listfile batch audio mp3gain zip); fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" >/dev/null

out=build/fuzz/run
mkdir -p "$out" build/fuzz/crashes
passed=0 failed=0
for t in "${targets[@]}"; do
  # New inputs go to a working corpus of this machine's; the seeds stay as committed.
  mkdir -p "build/fuzz/corpus/$t"
  log="$out/$t.log"
  start=$(date +%s)
  # Inputs past 4096 bytes reach nothing new (values and list lines are cut at 2047 bytes);
  # the batch writer's slot table needs far fewer. The content check reads past the first
  # 4 KB (after an ID3v2 tag, WAVE chunks further on, the last 4 KB), so its inputs are longer;
  # the gain change walks whole streams of frames.
  max_len=4096
  if [ "$t" = batch ]; then max_len=1024; fi
  if [ "$t" = audio ] || [ "$t" = mp3gain ]; then max_len=16384; fi
  runs_cap=()
  if [ -n "${FUZZ_RUNS:-}" ]; then runs_cap=(-runs="$FUZZ_RUNS"); fi
  if "build/fuzz/tests/fuzz/${t}_fuzz" -max_total_time="$seconds" "${runs_cap[@]}" -max_len="$max_len" -timeout=10 \
       -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="build/fuzz/crashes/$t-" \
       "build/fuzz/corpus/$t" "tests/fuzz/corpus/$t" >"$log" 2>&1; then
    rc=0
  else
    rc=$?
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  echo "fuzz: $t: ${runs:-0} runs in $(( $(date +%s) - start )) s, exit $rc"
  if [ "$rc" -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    grep -E 'ERROR|property broken|runtime error|SUMMARY|Test unit written' "$log" | head -20 || true
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
