#!/usr/bin/env bash
# What each way of reclaiming costs against a plain deletion, on one tree in one run:
# PAIRS small files each with one copy, the copies selected (--select first) and deleted, moved
# to the trash, made hard links, or (by content) checked and linked. Each timed run gets a fresh
# tree, so the times include the find; compare them with the --delete line.
#
#   bench/reclaim_ways.sh
#
# Environment: CLI (build-release/cli/zandrex-cli), PAIRS (5000), WORK (/tmp/zandrex-bench/reclaim).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
CLI=${CLI:-$repo/build-release/cli/zandrex-cli}
PAIRS=${PAIRS:-5000}
WORK=${WORK:-/tmp/zandrex-bench/reclaim}

make_tree() {
  rm -rf "$WORK/tree" "$WORK/data"
  mkdir -p "$WORK/tree/a" "$WORK/tree/b"
  for i in $(seq 1 "$PAIRS"); do echo "file $i" >"$WORK/tree/a/f$i"; done
  cp -a "$WORK/tree/a/." "$WORK/tree/b/"
}

export XDG_DATA_HOME=$WORK/data
for way in "--delete" "--trash" "--link hard" "--by content --link hard"; do
  make_tree
  start=$(date +%s.%N)
  # shellcheck disable=SC2086 # the way's words are separate arguments
  "$CLI" --no-cache --select first $way "$WORK/tree" >/dev/null 2>"$WORK/err"
  end=$(date +%s.%N)
  printf '%-26s %6.2f s  %s\n' "$way" "$(echo "$end - $start" | bc)" "$(tail -1 "$WORK/err")"
done
rm -rf "$WORK"
