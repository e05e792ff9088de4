#!/usr/bin/env bash
# Builds and runs the benchmarks under Wine on a virtual display and a Wine prefix of their
# own, prints a short report and writes it to bench/results.md. Leaves nothing running.
#
#   QX_BENCH_RUNS        start-up runs of each program, the first left out (default 15)
#   QX_BENCH_PHASE_RUNS  runs of the step-by-step start-up (default 7)
#   QX_BENCH_LIST_RUNS   runs of each list case (default 9)
#   QX_BENCH_REAPPLY_RUNS start-up runs with 26 recorded slots and with none (default 31)
#   QX_WINEPREFIX        Wine prefix (default ~/.cache/quaverix/bench-prefix)
#   QX_USE_DISPLAY       an X display to use instead of a virtual one of our own
#   QX_BENCH_BUILD       a build folder of your own to time (configured for Windows with
#                        QX_BENCH on); the preset builds are then left alone
#   QX_BENCH_PRODUCT     the 32-bit QUAVERIX.exe to report the size of (default build/win32's)
#   QX_BENCH_REPORT      where the report goes (default bench/results.md)
set -euo pipefail
cd "$(dirname "$0")/.."
export QX_WINEPREFIX="${QX_WINEPREFIX:-$HOME/.cache/quaverix/bench-prefix}"
bash scripts/setup.sh
. scripts/lib.sh
RUNS="${QX_BENCH_RUNS:-15}"
PHASE_RUNS="${QX_BENCH_PHASE_RUNS:-7}"
LIST_RUNS="${QX_BENCH_LIST_RUNS:-9}"

# The product is the 32-bit exe: its size is the one that counts. The timing runs use
# the build this machine's Wine can start (the same code).
preset="$(qx_wine_preset)"
if [ -n "${QX_BENCH_BUILD:-}" ]; then
  bin="$QX_BENCH_BUILD"
  cmake --build "$bin" -j "$(nproc)" --target QUAVERIX qx_minimal_window qx_launcher qx_lists_bench qx_startup_phases qx_copy_bench qx_check_bench qx_loudness_bench qx_measure_bench qx_convert_bench qx_reapply_bench
else
  bash scripts/build.sh win32
  if [ "$preset" != win32 ]; then bash scripts/build.sh "$preset"; fi
  bin="build/$preset"
fi
product="${QX_BENCH_PRODUCT:-build/win32/QUAVERIX.exe}"
product_size=$(stat -c %s "$product")
bits=32
if grep -q '^CMAKE_TOOLCHAIN_FILE.*x86_64' "$bin/CMakeCache.txt" 2>/dev/null; then bits=64; fi
loader="$(qx_wine_loader)"

trap qx_stop_all EXIT
qx_start_display
qx_wine_prefix
export LC_ALL=ja_JP.UTF-8  # a Japanese Windows: code page 932

# Every program in a folder of its own on drive C:, as a player would have it.
work="$WINEPREFIX/drive_c/qx-bench"
rm -rf "$work"
mkdir -p "$work/quaverix" "$work/minimal" "$work/phases"
cp "$bin/QUAVERIX.exe" data/Pellamor.lst "$work/quaverix/"
cp "$bin/bench/minimal_window.exe" "$work/minimal/"
cp "$bin/bench/startup_phases.exe" data/Pellamor.lst "$work/phases/"
out="$(mktemp -d)"

echo "bench: start-up, $RUNS runs each (first start every time: user.ini deleted before each run)"
"$loader" "$bin/bench/launcher.exe" --runs "$RUNS" --warmup 1 --fresh user.ini \
  'QUAVERIX=C:\qx-bench\quaverix\QUAVERIX.exe' 'minimal=C:\qx-bench\minimal\minimal_window.exe' \
  >"$out/startup.txt" 2>"$out/startup.err" || echo "bench: some start-up runs failed (see below)"
# Where this machine runs 32-bit Wine, the 64-bit build (the one used where it cannot) is
# timed as well, against the 64-bit minimal window.
if [ "$bits" = 32 ] && [ -z "${QX_BENCH_BUILD:-}" ] && [ "${QX_BENCH_64:-1}" = 1 ]; then
  bash scripts/build.sh win64 >/dev/null
  mkdir -p "$work/quaverix64" "$work/minimal64"
  cp build/win64/QUAVERIX.exe data/Pellamor.lst "$work/quaverix64/"
  cp build/win64/bench/minimal_window.exe "$work/minimal64/"
  echo "bench: start-up of the 64-bit build, $RUNS runs each"
  "$loader" "$bin/bench/launcher.exe" --runs "$RUNS" --warmup 1 --fresh user.ini \
    'QUAVERIX=C:\qx-bench\quaverix64\QUAVERIX.exe' 'minimal=C:\qx-bench\minimal64\minimal_window.exe' \
    >"$out/startup64.txt" 2>>"$out/startup.err" || echo "bench: some 64-bit start-up runs failed"
fi

# The start's check of what was applied runs after the first paint and off the window's
# thread: the same exe in two folders that differ only in applied.txt (26 slots recorded,
# all unchanged), taking turns, user.ini kept (it names the game's folder); the folder
# without the record a second time in each turn, for the noise between two equal starts.
REAPPLY_RUNS="${QX_BENCH_REAPPLY_RUNS:-31}"
echo "bench: start-up with 26 recorded slots against none, $REAPPLY_RUNS runs each"
mkdir -p "$work/reapply/none" "$work/reapply/recorded"
cp "$bin/QUAVERIX.exe" "$work/reapply/none/"
cp "$bin/QUAVERIX.exe" "$work/reapply/recorded/"
"$loader" "$bin/bench/reapply_bench.exe" 'C:\qx-bench\reapply' --runs 9 >"$out/reapply.txt" 2>"$out/reapply.err" ||
  echo "bench: the record for the start-up with 26 slots could not be made (see below)"
"$loader" "$bin/bench/launcher.exe" --runs "$REAPPLY_RUNS" --warmup 1 \
  'none=C:\qx-bench\reapply\none\QUAVERIX.exe' 'recorded=C:\qx-bench\reapply\recorded\QUAVERIX.exe' \
  'again=C:\qx-bench\reapply\none\QUAVERIX.exe' \
  >"$out/reapply-startup.txt" 2>>"$out/reapply.err" || echo "bench: some start-up runs with the record failed"
# Still 26 entries after the runs: no start found anything to ask about.
grep -c '^C:' "$work/reapply/recorded/applied.txt" >"$out/reapply-left.txt" 2>/dev/null || echo 0 >"$out/reapply-left.txt"
[ ! -e "$work/reapply/none/applied.txt" ] || echo "bench: the folder without a record got one" >>"$out/reapply.err"

echo "bench: start-up steps, $PHASE_RUNS runs"
for _ in $(seq 1 "$PHASE_RUNS"); do
  rm -f "$work/phases/user.ini"
  (cd "$work/phases" && timeout 60 "$loader" startup_phases.exe 'C:\qx-bench\phases.txt' >/dev/null 2>&1) || true
done
echo "bench: start-up with the system icons fetched first, 3 runs"
for _ in 1 2 3; do
  rm -f "$work/phases/user.ini"
  (cd "$work/phases" && timeout 60 "$loader" startup_phases.exe 'C:\qx-bench\icons.txt' --icons-first >/dev/null 2>&1) || true
done
echo "bench: start-up messages, 3 runs"
for _ in 1 2 3; do
  rm -f "$work/phases/user.ini"
  (cd "$work/phases" && timeout 60 "$loader" startup_phases.exe 'C:\qx-bench\messages.txt' --messages >/dev/null 2>&1) || true
done

echo "bench: lists, $LIST_RUNS runs each (the test folders are made once in the prefix)"
"$loader" "$bin/bench/lists_bench.exe" --runs "$LIST_RUNS" >"$out/lists.txt" 2>"$out/lists.err" ||
  echo "bench: the list benchmark failed (see below)"

echo "bench: direct copy with and without the kept originals"
"$loader" "$bin/bench/copy_bench.exe" --runs 5 >"$out/copy.txt" 2>"$out/copy.err" ||
  echo "bench: the copy benchmark failed (see below)"

echo "bench: the content check"
"$loader" "$bin/bench/check_bench.exe" --runs "${QX_BENCH_CHECK_RUNS:-5}" >"$out/check.txt" 2>"$out/check.err" ||
  echo "bench: the content check benchmark failed (see below)"

echo "bench: loudness, one core"
taskset -c 0 "$loader" "$bin/bench/loudness_bench.exe" --runs 5 >"$out/loudness.txt" 2>"$out/loudness.err" ||
  echo "bench: the loudness benchmark failed (see below)"

echo "bench: measuring files, decoding included, one core"
mkdir -p "$work/measure"
(cd "$work/measure" &&
  ffmpeg -nostdin -v error -y -f lavfi -i "anoisesrc=color=pink:amplitude=0.2:duration=180" \
    -f lavfi -i "sine=frequency=440:duration=180" -filter_complex "[0][1]amix,aformat=channel_layouts=stereo" song.wav &&
  lame --quiet -b 192 song.wav cbr192.mp3 && lame --quiet -V 2 song.wav vbr.mp3 &&
  lame --quiet -m m --resample 22.05 -b 64 song.wav mono22.mp3) >/dev/null 2>&1 &&
taskset -c 0 "$loader" "$bin/bench/measure_bench.exe" --runs 3 'C:\qx-bench\measure\cbr192.mp3' \
  'C:\qx-bench\measure\vbr.mp3' 'C:\qx-bench\measure\mono22.mp3' 'C:\qx-bench\measure\song.wav' \
  >"$out/measure.txt" 2>"$out/measure.err" ||
  echo "bench: the measuring benchmark failed (see below)"

echo "bench: converting to MP3, decoding included, one core"
(cd "$work/measure" && ffmpeg -nostdin -v error -y -i song.wav -c:a flac song.flac &&
  ffmpeg -nostdin -v error -y -i song.wav -c:a aac -b:a 192k song.m4a) >/dev/null 2>&1 &&
taskset -c 0 "$loader" "$bin/bench/convert_bench.exe" --runs 3 'C:\qx-bench\convert\' \
  'C:\qx-bench\measure\song.flac' 'C:\qx-bench\measure\song.m4a' 'C:\qx-bench\measure\song.wav' \
  >"$out/convert.txt" 2>"$out/convert.err" ||
  echo "bench: the converting benchmark failed (see below)"

report="${QX_BENCH_REPORT:-bench/results.md}"
python3 - "$out" "$work" "$product_size" "$bits" "$("$loader" --version)" "$RUNS" >"$report" <<'PY'
import datetime, os, platform, statistics, sys
out, work, size, bits, wine, runs = sys.argv[1:7]
size = int(size)

def med(values):
    return statistics.median(values) if values else float("nan")

def mb(b):
    return f"{b / 1048576:.1f} MB"

print("# QUAVERIX benchmarks\n")
cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
print(f"- Date: {datetime.datetime.now().strftime('%Y-%m-%d %H:%M')}")
print(f"- Wine: {wine}; timing runs on the {bits}-bit build")
print(f"- Machine: {cpu}, {os.cpu_count()} CPUs, Linux {platform.release()}")
print(f"- QUAVERIX.exe (32-bit product build): {size} bytes ({size / 1024:.1f} KiB); "
      f"target at most 400 KB: {'met' if size <= 400 * 1024 else 'MISSED'}\n")

# ---- Start-up ---------------------------------------------------------------------
def startup_rows(path, failures):
    rows = {}
    for line in open(path):
        f = line.split()
        if f and f[0] == "median":
            rows[f[1]] = (float(f[2]), float(f[4]), float(f[5]), int(f[6]))
        elif f and f[0] == "run" and not f[7].isdigit():
            failures.append(line.strip())
    return rows

def startup_table(rows, what):
    print("| program | median ms | peak private | peak working set | runs |\n|---|---:|---:|---:|---:|")
    for name in ("QUAVERIX", "minimal"):
        if name in rows:
            ms, pp, ws, n = rows[name]
            print(f"| {name} | {ms:.1f} | {mb(pp)} | {mb(ws)} | {n} |")
    if "QUAVERIX" in rows and "minimal" in rows and rows["minimal"][0] > 0:
        ratio = rows["QUAVERIX"][0] / rows["minimal"][0]
        print(f"\n{what}QUAVERIX / minimal: {ratio:.2f}x; target within 1.3x: {'met' if ratio <= 1.3 else 'MISSED'}")

failures = []
print("## Start-up\n")
print(f"Until the window is shown and the process idle; {runs} runs of each, taking turns, the first "
      "left out; every run a first start (no user.ini). QUAVERIX with the shipped Pellamor.lst. "
      "On a shared virtual machine the figures of two runs can differ by half or more: compare "
      "the programs within one run.\n")
startup_table(startup_rows(os.path.join(out, "startup.txt"), failures), "")
print("\nMemory as Wine reports it for another process (PeakPagefileUsage; Wine leaves PrivateUsage at 0).")
path64 = os.path.join(out, "startup64.txt")
if os.path.exists(path64):
    print("\nThe same on 64-bit Wine (the 64-bit builds of both, in the same run, after the 32-bit ones):\n")
    startup_table(startup_rows(path64, failures), "64-bit ")
for f in failures:
    print(f"\nFailed run: `{f}`")

def load(path):
    rows = []
    if os.path.exists(path):
        for line in open(path):
            if line.strip():
                rows.append(dict(x.split("=", 1) for x in line.split()))
    return rows

def value(row, key):
    return float(row.get(key, "0").split("/")[0])

# ---- Start-up with the record of what was applied ------------------------------------
reapply_failures = []
rows = startup_rows(os.path.join(out, "reapply-startup.txt"), reapply_failures)
check = [l.split() for l in open(os.path.join(out, "reapply.txt")) if l.startswith("check ")]
left = open(os.path.join(out, "reapply-left.txt")).read().strip()
print("\n### Start-up with 26 recorded slots\n")
print("The same QUAVERIX.exe in two folders with the same 26-slot list file and user.ini (the "
      "game's folder holds 26 files); one folder also holds applied.txt, written by the "
      "program's own copy run, recording all 26 slots unchanged. Until the window is shown and "
      "the process idle; they take turns, the first run of each left out.\n")
print("| start | median ms | runs |\n|---|---:|---:|")
for name, text in (("none", "nothing recorded"), ("recorded", "26 slots recorded, unchanged"),
                   ("again", "nothing recorded, the same folder again")):
    if name in rows:
        print(f"| {text} | {rows[name][0]:.1f} | {rows[name][3]} |")
# Each pair of runs follows one another, so a burst of load elsewhere on the machine falls
# on both: the median of the pairs' ratios is steadier than the ratio of the medians.
pairs = {}
for line in open(os.path.join(out, "reapply-startup.txt")):
    f = line.split()
    if f and f[0] == "run" and f[7].isdigit() and int(f[2]) > 0:
        pairs.setdefault(int(f[2]), {})[f[1]] = float(f[3])
ratios = [p["recorded"] / p["none"] - 1 for p in pairs.values()
          if "recorded" in p and p.get("none", 0) > 0]
equal = [p["again"] / p["none"] - 1 for p in pairs.values() if "again" in p and p.get("none", 0) > 0]
if "none" in rows and "recorded" in rows and rows["none"][0] > 0:
    d = rows["recorded"][0] / rows["none"][0] - 1
    print(f"\nWith the record: {d * 100:+.1f}% by the medians", end="")
    if ratios:
        d = med(ratios)
        print(f", {d * 100:+.1f}% by the median of the {len(ratios)} pairs", end="")
    print(f"; target within 5%: {'met' if d <= 0.05 else 'MISSED'}.")
    if equal:
        print(f"The same start twice (the folder without the record again, in the same turns): "
              f"{med(equal) * 100:+.1f}% by the median of the pairs, the noise of this run.")
if check:
    slots, ms, boxes = check[-1][1], float(check[-1][2]), check[-1][3]
    print(f"The check itself (the record read, {slots} slots compared by size and time, on the "
          f"real files; headless, median of 9): {ms:.2f} ms. In the program it follows the first "
          f"paint: the record is read on the window's thread, the slots are compared off it. "
          f"Boxes: {boxes}; entries left in the record after the runs: {left} "
          "(26 expected: no start found a change).")
for f in reapply_failures:
    print(f"\nFailed run: `{f}`")

steps = load(os.path.join(work, "phases.txt"))
if steps:
    print(f"\n### QUAVERIX's start-up, step by step ({len(steps)} runs, medians, ms)\n")
    print("| step | ms |\n|---|---:|")
    names = {"premain": "process start to entry (loader, DLLs, C++ start-up)",
             "ctor": "form object and its controls (no windows yet)",
             "create": "windows of the form and its controls",
             "formcreate": "FormCreate (user.ini, list file, slot table)",
             "show": "show, focus, first paint",
             "idle": "messages up to the first idle",
             "total": "total"}
    for key, text in names.items():
        print(f"| {text} | {med([value(r, key) for r in steps]):.1f} |")
    calls = sorted({k for r in steps for k in r if k.startswith("sys.")})
    parts = [f"{k[4:]} {med([value(r, k) for r in steps]):.1f}" for k in calls]
    print("\nInside the system calls (ms): " + ", ".join(parts) + ".")
    rows = int(value(steps[0], "rows"))
    fill = med([value(r, "gridfill") for r in steps])
    print(f"Setting one line of the slot table ({rows} lines) fills its window anew: {fill:.1f} ms each.")

NAMES = {0x0001: "WM_CREATE", 0x0005: "WM_SIZE", 0x000B: "WM_SETREDRAW", 0x000F: "WM_PAINT",
         0x0014: "WM_ERASEBKGND", 0x0018: "WM_SHOWWINDOW", 0x002B: "WM_DRAWITEM",
         0x0030: "WM_SETFONT", 0x0046: "WM_WINDOWPOSCHANGING", 0x0047: "WM_WINDOWPOSCHANGED",
         0x004E: "WM_NOTIFY", 0x0081: "WM_NCCREATE", 0x0083: "WM_NCCALCSIZE", 0x0085: "WM_NCPAINT",
         0x0022: "WM_CHILDACTIVATE", 0x00CF: "EM_SETREADONLY", 0x00F1: "BM_SETCHECK", 0x0153: "CB_SETITEMHEIGHT", 0x1003: "LVM_SETIMAGELIST",
         0x1009: "LVM_DELETEALLITEMS", 0x102B: "LVM_SETITEMSTATE", 0x102F: "LVM_SETITEMCOUNT", 0x1038: "LVM_GETSUBITEMRECT",
         0x104D: "LVM_INSERTITEMW", 0x1061: "LVM_INSERTCOLUMNW", 0x1074: "LVM_SETITEMTEXTW",
         0x1205: "HDM_LAYOUT", 0x1207: "HDM_GETITEMRECT", 0x120F: "HDM_ORDERTOINDEX"}

def label(key):
    step, who, number = key[4:].split(".", 2)
    queued = number.endswith("q")
    code = int(number.rstrip("q"), 16)
    return f"{step}: {who} {NAMES.get(code, f'0x{code:04X}')}{' (queued)' if queued else ''}"

first = load(os.path.join(work, "icons.txt"))
if first and steps:
    icons = med([value(r, "icons") for r in first])
    shown = med([value(r, "show") for r in first])
    print(f"The first request for the shell's small system icons (SHGetFileInfoW, SHGFI_SYSICONINDEX) "
          f"takes {icons:.1f} ms ({len(first)} runs, made right after the windows); with it done "
          f"beforehand, showing takes {shown:.1f} ms instead of "
          f"{med([value(r, 'show') for r in steps]):.1f}.")

msgs = load(os.path.join(work, "messages.txt"))
if msgs:
    keys = {k for r in msgs for k in r if k.startswith("msg.")}
    count = {k: next(r[k] for r in msgs if k in r).split("/")[1] for k in keys}
    top = sorted(((med([value(r, k) for r in msgs]), k, count[k]) for k in keys), reverse=True)[:12]
    print(f"\nMost expensive window messages ({len(msgs)} runs with message hooks, which slow every "
          "message down: compare them with each other, not with the steps above). "
          "Step: window message = ms (times):\n")
    for ms, key, n in top:
        print(f"- {label(key)} = {ms:.1f} ({n})")
    if steps:
        # A new list reaches the slot table's window as an emptied list view or a new item
        # count, whichever the window does.
        refills = max(int(count.get("msg.formcreate.ValListMp3.1009", "0")),
                      int(count.get("msg.formcreate.ValListMp3.102F", "0")))
        if refills > 1:
            print(f"\nDuring FormCreate the slot table's window took a whole new list {refills} times; "
                  f"at {fill:.1f} ms each, all but one of them cost about {(refills - 1) * fill:.0f} ms.")

# ---- Lists -------------------------------------------------------------------------
print()
lists = open(os.path.join(out, "lists.txt")).read()
print("\n".join(l for l in lists.splitlines()
                if not l.startswith(("ratio ", "lists_bench:"))).rstrip())
print("\n" + open(os.path.join(out, "copy.txt")).read().rstrip())
print("\n" + open(os.path.join(out, "check.txt"), encoding="cp932", errors="replace").read().rstrip())
print("\n" + open(os.path.join(out, "loudness.txt")).read().rstrip())
if os.path.exists(os.path.join(out, "measure.txt")):
    print("\n" + open(os.path.join(out, "measure.txt")).read().rstrip())
if os.path.exists(os.path.join(out, "convert.txt")):
    print("\n" + open(os.path.join(out, "convert.txt"), encoding="cp932", errors="replace").read().rstrip())
    print("\nThe measuring benchmark's song.wav (three minutes of pink noise under a tone, 16-bit), and "
          "ffmpeg's FLAC and AAC (192 kbit/s, in M4A) of it.")
for name in ("startup.err", "reapply.err", "lists.err", "copy.err", "check.err", "loudness.err",
             "measure.err", "convert.err"):
    if not os.path.exists(os.path.join(out, name)):
        continue
    text = open(os.path.join(out, name), errors="replace").read().strip()
    errors = [l for l in text.splitlines() if "Read access denied" not in l]
    if errors:
        print(f"\nstderr of {name.split('.')[0]}:\n\n```\n" + "\n".join(errors[-10:]) + "\n```")
PY
rm -rf "$out"
echo
cat "$report"
