#!/usr/bin/env bash
# The walk against the `find` walk and the fastest peer, and against the build before, timed in
# one run by alternate.py (every command once per round, warm page cache):
#
#   size           zandrex-cli --by size TREE
#   content        zandrex-cli --by content --no-cache TREE
#   find           find TREE -type f -printf '%s %p\n'   (the walk alone, one fstatat per file)
#   jdupes         jdupes -r -q -z -H TREE
#   base-size, base-content: the same with BASELINE_CLI, when given
#
# and the ratios size/find and content/jdupes of each build. With BASELINE_CLI, it first checks
# that both builds print byte for byte the same for all four modes. Waits up to WAIT_IDLE
# seconds for running compilers to end first, and says how many it saw.
#
#   bench/walk.sh [TREE...]          (default /usr/share)
#
# Environment: CLI (build-release/cli/zandrex-cli), BASELINE_CLI, REPS (9), WAIT_IDLE (600).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
CLI=${CLI:-$repo/build-release/cli/zandrex-cli}
REPS=${REPS:-9}
WAIT_IDLE=${WAIT_IDLE:-600}
POLL_SECONDS=5
MODES=(filename size filename-size content)
trees=("$@")
[[ ${#trees[@]} -gt 0 ]] || trees=(/usr/share)

say() { printf 'walk.sh: %s\n' "$*" >&2; }
compilers() { pgrep -c -x cc1plus || true; }
command -v jdupes >/dev/null || {
  say "jdupes missing: bench/install-peers.sh installs it"
  exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tree in "${trees[@]}"; do
  if [[ -n ${BASELINE_CLI:-} ]]; then
    for mode in "${MODES[@]}"; do
      "$BASELINE_CLI" --by "$mode" --no-cache "$tree" >"$work/base.txt" 2>/dev/null || true
      "$CLI" --by "$mode" --no-cache "$tree" >"$work/new.txt" 2>/dev/null || true
      if ! cmp -s "$work/base.txt" "$work/new.txt"; then
        say "$tree --by $mode: the builds print differently"
        exit 1
      fi
    done
    say "$tree: both builds print the same in all four modes"
  fi
  waited=0
  while [[ $(compilers) -gt 0 && $waited -lt $WAIT_IDLE ]]; do
    sleep "$POLL_SECONDS"
    waited=$((waited + POLL_SECONDS))
  done
  say "$tree: $(compilers) compilers running, load $(cut -d' ' -f1 /proc/loadavg)"
  baseline=()
  if [[ -n ${BASELINE_CLI:-} ]]; then
    baseline=(--run base-size "$BASELINE_CLI --by size $tree"
      --run base-content "$BASELINE_CLI --by content --no-cache $tree")
  fi
  python3 "$here/alternate.py" --reps "$REPS" --json "$work/times.json" \
    --run size "$CLI --by size $tree" \
    --run content "$CLI --by content --no-cache $tree" \
    --run find "find $tree -type f -printf '%s %p\\n'" \
    --run jdupes "jdupes -r -q -z -H $tree" "${baseline[@]}" >&2
  say "$tree: load after $(cut -d' ' -f1 /proc/loadavg)"
  python3 - "$work/times.json" "$tree" <<'EOF'
import json, sys
results = {r["command"]: r["median"] for r in json.load(open(sys.argv[1]))["results"]}
print(f"\n{sys.argv[2]} (medians of one run)\n")
print("| build | by size | ÷ find | content --no-cache | ÷ jdupes |")
print("|---|---:|---:|---:|---:|")
for build, prefix in (("this", ""), ("baseline", "base-")):
    if prefix + "size" not in results:
        continue
    size, content = results[prefix + "size"], results[prefix + "content"]
    print(f"| {build} | {size:.3f} s | {size / results['find']:.2f}x | {content:.3f} s "
          f"| {content / results['jdupes']:.2f}x |")
print(f"| find | {results['find']:.3f} s | | | |")
print(f"| jdupes | | | {results['jdupes']:.3f} s | |")
EOF
done
