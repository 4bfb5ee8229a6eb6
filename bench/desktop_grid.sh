#!/usr/bin/env bash
# The main window's grid at 100,000 and 1,000,000 files (zandrex_bench_grid, offscreen): each
# selection helper, tick change, group inversion and sort, timed until the window has handled
# every event it caused. Prints a markdown table: the median of REPS runs, the range, the time
# to build and show the rows in the same runs, and, with BASELINE, the same operations of a
# build of an older commit.
#
#   bench/desktop_grid.sh [FILES...]      (default: 100000 1000000)
#
# Environment: REPS (3), BUILD_DIR (build-release), SKIP_BUILD=1, BASELINE (the
# zandrex_bench_grid of an older commit, built with this bench file copied in: its operations run
# once, each tick change over every group in a process of its own stopped after BASELINE_LIMIT
# seconds (60), the rest in one process in the order of the timed runs),
# EXTRA (operations run after select-all in runs of their own, for the table's second part;
# "sort-size sort-date groups-count newest untick" unless set, "" for none).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
REPS=${REPS:-3}
BUILD_DIR=${BUILD_DIR:-$repo/build-release}
BASELINE=${BASELINE:-}
BASELINE_LIMIT=${BASELINE_LIMIT:-60}
EXTRA=${EXTRA-sort-size sort-date groups-count newest untick}
sizes=("$@")
[[ ${#sizes[@]} -gt 0 ]] || sizes=(100000 1000000)
TICK_OPS=(newest oldest first shortest folder untick select-all)
OTHER_OPS=(invert invert-closed tick sort-path sort-file sort-size sort-date sort-file-desc
  groups-count groups-reclaimable groups-key unsorted)

if [[ "${SKIP_BUILD:-0}" != 1 ]]; then
  cmake -S "$repo" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZANDREX_BENCH=ON \
    -DZANDREX_TESTS=OFF >/dev/null
  cmake --build "$BUILD_DIR" -j2 --target zandrex_bench_grid >/dev/null
fi
bench=$BUILD_DIR/bench/zandrex_bench_grid
export QT_QPA_PLATFORM=offscreen
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

for files in "${sizes[@]}"; do
  for rep in $(seq "$REPS"); do
    echo "desktop_grid.sh: $files files, run $rep of $REPS" >&2
    "$bench" "$files" >"$out/after-$files-$rep.txt" 2>/dev/null
    if [[ -n "$EXTRA" ]]; then
      # shellcheck disable=SC2086
      "$bench" "$files" select-all $EXTRA >"$out/extra-$files-$rep.txt" 2>/dev/null
    fi
  done
  if [[ -n "$BASELINE" ]]; then
    # The tick changes over every group and Ctrl+A, each in a process of its own (they may not
    # end)...
    for op in "${TICK_OPS[@]}"; do
      echo "desktop_grid.sh: $files files, baseline $op" >&2
      if ! timeout "$BASELINE_LIMIT" "$BASELINE" "$files" "$op" >"$out/before-$files-$op.txt" \
        2>/dev/null; then
        echo "op $op stopped -" >>"$out/before-$files-$op.txt"
      fi
    done
    # ...the rest in one, in the order of the runs above.
    echo "desktop_grid.sh: $files files, baseline sorts" >&2
    timeout $((BASELINE_LIMIT * 10)) "$BASELINE" "$files" "${OTHER_OPS[@]}" \
      >"$out/before-$files-rest.txt" 2>/dev/null || true
  fi
done

python3 - "$out" "$BASELINE_LIMIT" "${sizes[@]}" <<'EOF'
import glob, os, statistics, sys

out, limit, sizes = sys.argv[1], int(sys.argv[2]), sys.argv[3:]

def ops(path):
    times, states, head = {}, {}, ""
    for line in open(path):
        parts = line.split()
        if parts and parts[0] == "files":
            head = line.strip()
        if len(parts) >= 4 and parts[0] == "op":
            times[parts[1]] = None if parts[2] == "stopped" else float(parts[2])
            states[parts[1]] = parts[3]
    return head, times, states

def ms(value):
    return f"{value:,.1f}" if value < 10 else f"{value:,.0f}"

for files in sizes:
    runs = [ops(p) for p in sorted(glob.glob(f"{out}/after-{files}-*.txt"))]
    head = runs[0][0]
    print(f"\n### {int(files):,} files ({head})\n")
    build = statistics.median(r[1]["build"] for r in runs)
    before = {}
    for path in glob.glob(f"{out}/before-{files}-*.txt"):
        _, times, _ = ops(path)
        before.update({k: v for k, v in times.items() if k != "build"})
    print("| operation | before (ms) | after: median (ms) | min–max | after ÷ before | after ÷ build | view state |")
    print("|---|---|---|---|---|---|---|")
    names = [n for n in runs[0][1] if n != "build"]
    before_ctrl_a = before.pop("select-all", "none")
    for name in ["build"] + names:
        values = [r[1][name] for r in runs]
        median = statistics.median(values)
        states = {r[2][name] for r in runs}
        state = "–" if name == "build" else ("kept" if states == {"state-kept"} else "CHANGED")
        if name in before:
            b = before[name]
            was = f"> {limit * 1000:,} (stopped)" if b is None else ms(b)
            ratio = "< " + f"{median / (limit * 1000):.4f}" if b is None else (
                f"{median / b:.2f}" if b else "–")
        else:
            was, ratio = ("–", "–")
        share = "–" if name == "build" else f"{median / build:.2f}"
        print(f"| {name} | {was} | {ms(median)} | {ms(min(values))}–{ms(max(values))} | {ratio} | {share} | {state} |")
    extra = [ops(p) for p in sorted(glob.glob(f"{out}/extra-{files}-*.txt"))]
    if extra:
        print(f"\nCtrl+A (every row the view lays out selected), then the operations below it, in runs of their own:\n")
        print("| operation | before (ms) | after: median (ms) | min–max | view state |")
        print("|---|---|---|---|---|")
        for name in [n for n in extra[0][1] if n != "build"]:
            values = [r[1][name] for r in extra]
            states = {r[2][name] for r in extra}
            state = "–" if name == "select-all" else ("kept" if states == {"state-kept"} else "CHANGED")
            was = "–"
            if name == "select-all" and before_ctrl_a != "none":
                was = f"> {limit * 1000:,} (stopped)" if before_ctrl_a is None else ms(before_ctrl_a)
            print(f"| {name} | {was} | {ms(statistics.median(values))} | {ms(min(values))}–{ms(max(values))} | {state} |")
EOF
