#!/usr/bin/env bash
# What the digest cache costs and saves, timed in one run by alternate.py (every command once per
# round; warm page cache, or with COLD=1 the page cache dropped before every run, as root):
#
#   size      zandrex-cli --by size               the walk and the size groups: the floor
#   no-cache  zandrex-cli --by content --no-cache every candidate read
#   first     zandrex-cli --by content            with the cache deleted before each run
#   second    zandrex-cli --by content            with the cache the run before left
#
# and the ratios the cache aims at (second/size, first/no-cache), the cache file's bytes per
# remembered file, and whether `second` printed exactly what `no-cache` printed. With
# BASELINE_CLI (another build), its `size` and `second` run in the same rounds, with a
# cache of its own, so that a change is measured against the build before under the same load.
#
#   bench/second_find.sh [TREE...]
#
# Without TREE, generates the mixed profile with make_tree.py into $GEN_DIR/mixed-$MIXED_SCALE
# (kept between runs). The cache lives in a folder of its own, never the user's.
# Environment: CLI (build-release/cli/zandrex-cli), REPS (5), GEN_DIR (/tmp/zandrex-bench),
# MIXED_SCALE (1), WORK (a fresh folder under $GEN_DIR), BASELINE_CLI, COLD.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
CLI=${CLI:-$repo/build-release/cli/zandrex-cli}
REPS=${REPS:-5}
GEN_DIR=${GEN_DIR:-/tmp/zandrex-bench}
MIXED_SCALE=${MIXED_SCALE:-1}
WORK=${WORK:-$GEN_DIR/second-find-$(date +%Y%m%d-%H%M%S)}
SEED=7

say() { printf 'second_find.sh: %s\n' "$*" >&2; }

[[ -x $CLI ]] || { say "no $CLI: build Release first"; exit 1; }

trees=("$@")
if [[ ${#trees[@]} -eq 0 ]]; then
  tree=$GEN_DIR/mixed-$MIXED_SCALE
  if [[ ! -d $tree ]]; then
    say "generating $tree"
    python3 "$here/make_tree.py" --profile mixed --seed "$SEED" --scale "$MIXED_SCALE" \
      --out "$tree" --no-truth >&2
  fi
  trees=("$tree")
fi

mkdir -p "$WORK"
export XDG_CACHE_HOME=$WORK/cache
cache=$XDG_CACHE_HOME/zandrex/digests.sqlite

for tree in "${trees[@]}"; do
  name=$(basename "$tree")
  # Files changed within the last seconds are not remembered: let a fresh tree settle.
  sleep 3
  "$CLI" --by content --no-cache "$tree" >"$WORK/$name.no-cache.txt"
  baseline=()
  if [[ -n ${BASELINE_CLI:-} ]]; then
    base="env XDG_CACHE_HOME=$WORK/baseline-cache $BASELINE_CLI"
    $base --by content "$tree" >/dev/null
    baseline=(--run baseline-size "$base --by size $tree"
      --run baseline-second "$base --by content $tree")
  fi
  python3 "$here/alternate.py" --reps "$REPS" --json "$WORK/$name.json" ${COLD:+--cold} \
    --run size "$CLI --by size $tree" \
    --run no-cache "$CLI --by content --no-cache $tree" \
    --run first "$CLI --by content $tree" --prepare first "rm -f $cache" \
    --run second "$CLI --by content $tree" "${baseline[@]}" >&2
  "$CLI" --by content "$tree" >"$WORK/$name.second.txt"
  same=no
  cmp -s "$WORK/$name.no-cache.txt" "$WORK/$name.second.txt" && same=yes
  python3 - "$WORK/$name.json" "$cache" "$name" "$same" <<'PY'
import json, os, sqlite3, sys
results, cache, name, same = sys.argv[1:5]
# Medians: other work on a shared machine lengthens a few runs a lot, most not at all.
mean = {r["command"]: r["median"] for r in json.load(open(results))["results"]}
sd = {r["command"]: r["stddev"] for r in json.load(open(results))["results"]}
rows = sqlite3.connect(f"file:{cache}?mode=ro", uri=True).execute(
    "SELECT count(*) FROM digests").fetchone()[0]
size = os.path.getsize(cache)
print(f"### {name}\n")
print("| run | median s | sd s |\n|---|---:|---:|")
for command in mean:
    print(f"| {command} | {mean[command]:.3f} | {sd[command]:.3f} |")
print()
if "baseline-second" in mean:
    print(f"- baseline second / baseline size: {mean['baseline-second'] / mean['baseline-size']:.2f}x")
print(f"- second / size: **{mean['second'] / mean['size']:.2f}x** (goal <= 1.3)")
print(f"- first / no-cache: **{mean['first'] / mean['no-cache']:.2f}x** (goal <= 1.1)")
print(f"- second / no-cache: {mean['second'] / mean['no-cache']:.2f}x")
print(f"- cache file: {size:,} bytes for {rows:,} files = **{size / max(rows, 1):.1f} bytes per "
      f"file** (goal <= 100)")
print(f"- second find printed the same as --no-cache: {same}")
PY
done
