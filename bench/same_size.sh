#!/usr/bin/env bash
# Many big files of one size, few of them duplicated: the case where a find that reads every
# candidate to its end loses to one that first looks at a block of each.
#
#   bench/same_size.sh
#
# Writes COUNT files of SIZE_MIB MiB (random bytes, seeded), COPIES of which get one copy, into
# $CORPUS (kept between runs), then times in alternating rounds (alternate.py), in one run:
#   zandrex-cli --by content, jdupes (when installed), BASELINE_CLI (another build, optional),
#   and `cat` of just the bytes that decide (the duplicated files and their copies).
# Warm page cache, or with COLD=1 the page cache dropped before every run (as root; without the
# right to, a note says so and the runs are warm). READERS="1 2 4 8" adds a zandrex run with
# --readers N for each N.
# Environment: CLI (build-release/cli/zandrex-cli), COUNT (48), SIZE_MIB (48), COPIES (8),
# CORPUS (/tmp/zandrex-bench/same-size), REPS (5), BASELINE_CLI, COLD, READERS.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
CLI=${CLI:-$repo/build-release/cli/zandrex-cli}
COUNT=${COUNT:-48}
SIZE_MIB=${SIZE_MIB:-48}
COPIES=${COPIES:-8}
CORPUS=${CORPUS:-/tmp/zandrex-bench/same-size}
REPS=${REPS:-5}

stamp="$COUNT-$SIZE_MIB-$COPIES"
if [[ ! -f $CORPUS/.made-$stamp ]]; then
  rm -rf "$CORPUS"
  mkdir -p "$CORPUS"
  python3 - "$CORPUS" "$COUNT" "$SIZE_MIB" "$COPIES" <<'PY'
import random, shutil, sys
out, count, size_mib, copies = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
for i in range(count):
    with open(f"{out}/file{i:03}", "wb") as f:
        f.write(random.Random(i).randbytes(size_mib << 20))
for i in range(copies):
    shutil.copyfile(f"{out}/file{i:03}", f"{out}/file{i:03}.copy")
PY
  touch "$CORPUS/.made-$stamp"
fi

deciding=()
for ((i = 0; i < COPIES; i++)); do
  printf -v name 'file%03d' "$i"
  deciding+=("$CORPUS/$name" "$CORPUS/$name.copy")
done

# --no-cache: each run reads as a first find would (the second-find bench covers the cache).
commands=(--run zandrex "$CLI --by content --no-cache $CORPUS")
for n in ${READERS:-}; do
  commands+=(--run "zandrex --readers $n" "$CLI --by content --no-cache --readers $n $CORPUS")
done
command -v jdupes >/dev/null && commands+=(--run jdupes "jdupes -r -q -z -H $CORPUS")
# The baseline may predate --no-cache (and the cache).
[[ -n ${BASELINE_CLI:-} ]] && commands+=(--run baseline "$BASELINE_CLI --by content $CORPUS")
commands+=(--run read-deciding "cat ${deciding[*]}")
python3 "$here/alternate.py" --reps "$REPS" ${COLD:+--cold} "${commands[@]}"
