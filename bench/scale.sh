#!/usr/bin/env bash
# The by-size find on millions of empty files against the find walk: time and peak RSS as the
# tree grows from 0.5 M to 5 M files.
#
#   bench/scale.sh
#
# Builds (unless it is there) a nested tree of empty files, 1,000 to a folder, in $TREE:
# s5/s2/s1/s05 hold 0.5 M, s1 0.5 M more, s2 1 M more, s5 3 M more, so that walking s05, s1, s2
# and s5 lists 0.5, 1, 2 and 5 million files. Then, in alternating order, REPS times each:
#   zandrex-cli --by size LEVEL      (its listing to /dev/null)
#   find LEVEL -type f -printf '%s\n'
# timed by GNU time (wall and peak RSS), warm (one untimed walk of the whole tree first). Bytes
# per file = (peak RSS - the same command's peak RSS on an empty folder) / files. The tree is
# deleted at the end unless KEEP=1 (it takes about 5 M inodes and a few minutes to build).
# Environment: CLI (build-release/cli/zandrex-cli), TREE (/tmp/zandrex-scale), REPS (2), KEEP.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
CLI=${CLI:-$repo/build-release/cli/zandrex-cli}
TREE=${TREE:-/tmp/zandrex-scale}
REPS=${REPS:-2}

say() { printf 'scale.sh: %s\n' "$*" >&2; }
[[ -x $CLI ]] || { say "no $CLI: build Release first"; exit 1; }
[[ -x /usr/bin/time ]] || { say "GNU time is missing: bench/install-peers.sh"; exit 1; }

levels=(s05 s1 s2 s5)
declare -A path=([s5]=$TREE/s5 [s2]=$TREE/s5/s2 [s1]=$TREE/s5/s2/s1 [s05]=$TREE/s5/s2/s1/s05)
declare -A files=([s05]=500000 [s1]=1000000 [s2]=2000000 [s5]=5000000)

if [[ ! -f $TREE/.made ]]; then
  say "building $TREE (5,000,000 empty files)"
  rm -rf "$TREE"
  python3 - "$TREE" <<'PY'
import os, sys
root = sys.argv[1]
# Innermost first; each level's own files beside the level inside it.
for here, count in [("s5/s2/s1/s05", 500_000), ("s5/s2/s1", 500_000), ("s5/s2", 1_000_000),
                    ("s5", 3_000_000)]:
    base = os.path.join(root, here)
    os.makedirs(base, exist_ok=True)
    for d in range(count // 1000):
        folder = os.path.join(base, f"d{d:05}")
        os.mkdir(folder)
        for f in range(1000):
            os.close(os.open(os.path.join(folder, f"f{f:04}"), os.O_CREAT | os.O_WRONLY, 0o644))
PY
  touch "$TREE/.made"
fi

empty=$(mktemp -d)
trap 'rmdir "$empty"' EXIT
say "warming: one walk of the whole tree"
find "$TREE" -type f -printf '%s\n' >/dev/null

# run LABEL COMMAND...: one timed run; prints "wall_seconds peak_rss_kib".
run() {
  local out
  out=$(mktemp)
  /usr/bin/time -f '%e %M' -o "$out" "$@" >/dev/null 2>&1 || true
  tail -n 1 "$out"
  rm -f "$out"
}

read -r _ base_zandrex < <(run "$CLI" --by size "$empty")
read -r _ base_find < <(run find "$empty" -type f -printf '%s\n')

printf '| files | zandrex --by size (s) | find walk (s) | ratio | zandrex peak RSS (MiB) | bytes per file | find peak RSS (MiB) |\n'
printf '|---:|---:|---:|---:|---:|---:|---:|\n'
for level in "${levels[@]}"; do
  z=() f=() zr=() fr=()
  for ((rep = 0; rep < REPS; rep++)); do
    read -r wall rss < <(run "$CLI" --by size "${path[$level]}")
    z+=("$wall") zr+=("$rss")
    read -r wall rss < <(run find "${path[$level]}" -type f -printf '%s\n')
    f+=("$wall") fr+=("$rss")
  done
  python3 - "${files[$level]}" "$base_zandrex" "${z[*]}" "${f[*]}" "${zr[*]}" "${fr[*]}" <<'PY'
import statistics, sys
n, base = int(sys.argv[1]), int(sys.argv[2])
z, f, zr, fr = ([float(x) for x in a.split()] for a in sys.argv[3:7])
zm, fm, zrm, frm = (statistics.median(a) for a in (z, f, zr, fr))
print(f"| {n:,} | {zm:.2f} | {fm:.2f} | {zm / fm:.2f}x | {zrm / 1024:.0f} | "
      f"{(zrm - base) * 1024 / n:.0f} | {frm / 1024:.0f} |")
PY
done

if [[ ${KEEP:-0} != 1 ]]; then
  say "deleting $TREE"
  rm -rf "$TREE"
fi
