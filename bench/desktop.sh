#!/usr/bin/env bash
# The desktop's find by size on a tree of about a million files, beside the command line's
# find on the same tree, with the window's longest event-loop gap and its scrolling.
#
#   bench/desktop.sh [TREE]      (default: /tmp/zandrex-bench/million, generated when missing)
#
# Environment: REPS (3), BUILD_DIR (build-release).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
REPS=${REPS:-3}
BUILD_DIR=${BUILD_DIR:-$repo/build-release}
tree=${1:-/tmp/zandrex-bench/million}
# many-small at this scale holds about a million regular files.
MILLION_SCALE=3.33

if [[ ! -d "$tree" ]]; then
  echo "desktop.sh: generating $tree" >&2
  python3 "$here/make_tree.py" --profile many-small --seed 11 --scale "$MILLION_SCALE" --out "$tree"
fi
cmake -S "$repo" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZANDREX_BENCH=ON \
  -DZANDREX_TESTS=OFF >/dev/null
cmake --build "$BUILD_DIR" -j2 --target zandrex-cli zandrex_bench_desktop >/dev/null
find "$tree" -type f -size -1M -exec cat {} + >/dev/null 2>&1 || true

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
cli_times=()
for _ in $(seq "$REPS"); do
  /usr/bin/time -f %e -o "$tree.time" "$BUILD_DIR/cli/zandrex-cli" --by size "$tree" >/dev/null
  cli_times+=("$(cat "$tree.time")")
done
cli=$(printf '%s\n' "${cli_times[@]}" | median)

desktop_find=()
for _ in $(seq "$REPS"); do
  out=$(xvfb-run -a -s "-screen 0 1280x1024x24" "$BUILD_DIR/bench/zandrex_bench_desktop" "$tree" 1)
  echo "$out" >&2
  desktop_find+=("$(echo "$out" | awk '/^shown_ms:/ {print $2 / 1000}')")
done
desktop=$(printf '%s\n' "${desktop_find[@]}" | median)
echo "files: $(find "$tree" -type f | wc -l)"
echo "cli --by size median: ${cli} s"
echo "desktop find by size median (until shown): ${desktop} s"
echo "ratio: $(python3 -c "print(round($desktop / $cli, 2))")"
