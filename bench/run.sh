#!/usr/bin/env bash
# Side-by-side benchmark of zandrex-cli and the Debian duplicate finders on the same trees.
#
#   bench/run.sh [CORPUS_DIR...]
#
# Without arguments, generates its own corpora with make_tree.py into $GEN_DIR. Builds
# Release once, warms the page cache, then per corpus runs every tool $REPS times in
# round-robin (one untimed run first, whose output is kept), checks that each finds the
# same duplicate set as `zandrex-cli --json --by content`, and prints a markdown report.
#
# Environment: REPS (5), WORK (a fresh folder under /tmp/zandrex-bench), GEN_DIR
# (/tmp/zandrex-bench), BUILD_DIR (build-release), JOBS (2), WAIT_IDLE seconds to wait
# for running compilers to finish before timing (600; 0 = do not wait), RESULTS (also
# write the report there), MIXED_SCALE (0.5), SMALL_SCALE (0.1), SKIP_BUILD=1, NOTE (a line
# for the report's machine section), PEERS (the peers to run, space-separated; all five),
# COLD=1 (drop the page cache before every timed run, as root; without the right to, a note
# says so and the runs are warm).
#
# `zandrex --by content` runs with --no-cache, as a first find; `zandrex second find` runs
# with a digest cache of the run's own, filled by the untimed run.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
REPS=${REPS:-5}
GEN_DIR=${GEN_DIR:-/tmp/zandrex-bench}
WORK=${WORK:-$GEN_DIR/run-$(date +%Y%m%d-%H%M%S)}
BUILD_DIR=${BUILD_DIR:-$repo/build-release}
JOBS=${JOBS:-2}
WAIT_IDLE=${WAIT_IDLE:-600}
MIXED_SCALE=${MIXED_SCALE:-0.5}
SMALL_SCALE=${SMALL_SCALE:-0.1}
SEED=7
POLL_SECONDS=10
read -r -a PEERS <<<"${PEERS:-jdupes rdfind fdupes duff rmlint}"
COLD=${COLD:-0}

say() { printf 'run.sh: %s\n' "$*" >&2; }

mkdir -p "$WORK"
env_tsv=$WORK/env.tsv
timings=$WORK/timings.tsv
: >"$env_tsv"
printf 'corpus\ttool\trep\twall\trss_kib\texit\n' >"$timings"
: >"$WORK/corpora.tsv"
record() { printf '%s\t%s\n' "$1" "$2" >>"$env_tsv"; }

# ---------------------------------------------------------------- tools and build

missing=()
for tool in "${PEERS[@]}"; do command -v "$tool" >/dev/null || missing+=("$tool"); done
[[ -x /usr/bin/time ]] || missing+=(time)
if [[ ${#missing[@]} -gt 0 ]]; then
  say "missing ${missing[*]}: running install-peers.sh"
  NO_HYPERFINE=1 "$here/install-peers.sh"
fi

if [[ "${SKIP_BUILD:-0}" != 1 ]]; then
  say "building Release into $BUILD_DIR"
  # The same configuration as `make bench`; only the targets measured here are built.
  cmake -S "$repo" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZANDREX_BENCH=ON \
    -DZANDREX_TESTS=OFF >"$WORK/build.log" 2>&1
  cmake --build "$BUILD_DIR" -j"$JOBS" --target zandrex-cli >>"$WORK/build.log" 2>&1 || {
    say "build failed, see $WORK/build.log"
    exit 1
  }
  cmake --build "$BUILD_DIR" -j"$JOBS" --target zandrex_bench_crc32 >>"$WORK/build.log" 2>&1 ||
    say "CRC-32 benchmark did not build (see $WORK/build.log); going on without it"
fi
zandrex=$BUILD_DIR/cli/zandrex-cli
[[ -x $zandrex ]] || { say "no $zandrex"; exit 1; }

# ---------------------------------------------------------------- corpora

corpora=("$@")
if [[ ${#corpora[@]} -eq 0 ]]; then
  for spec in "mixed:$MIXED_SCALE" "many-small:$SMALL_SCALE"; do
    profile=${spec%%:*} scale=${spec#*:}
    dir=$GEN_DIR/$profile
    # Reuse a tree made with the same parameters: generating costs more than measuring.
    if ! python3 - "$dir.truth.json" "$profile" "$SEED" "$scale" <<'EOF' 2>/dev/null; then
import json, sys
t = json.load(open(sys.argv[1]))
sys.exit(0 if (t["profile"], t["seed"], t["scale"]) ==
         (sys.argv[2], int(sys.argv[3]), float(sys.argv[4])) else 1)
EOF
      say "generating $profile (scale $scale) into $dir"
      python3 "$here/make_tree.py" --profile "$profile" --seed "$SEED" --scale "$scale" \
        --out "$dir" --force
    fi
    corpora+=("$dir")
  done
fi

# ---------------------------------------------------------------- quiet machine

compilers() { pgrep -c -x cc1plus || true; }
record compilers_at_start "$(compilers)"
if [[ $WAIT_IDLE -gt 0 ]]; then
  waited=0
  while [[ $(compilers) -gt 0 && $waited -lt $WAIT_IDLE ]]; do
    [[ $waited -eq 0 ]] && say "compilers running; waiting up to ${WAIT_IDLE}s"
    sleep "$POLL_SECONDS"
    waited=$((waited + POLL_SECONDS))
  done
  record waited_for_compilers "${waited}s"
fi

[[ -n ${NOTE:-} ]] && record note "$NOTE"
record date "$(date -u '+%Y-%m-%d %H:%M UTC')"
record commit "$(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo unknown)"
record reps "$REPS timed runs per tool and corpus (round-robin), after one untimed run"
record load_before "$(cut -d' ' -f1-3 /proc/loadavg)"
versions="zandrex-cli $(git -C "$repo" describe --always --dirty 2>/dev/null || echo '?')"
for tool in "${PEERS[@]}"; do
  v=$(dpkg-query -W -f='${Version}' "$tool" 2>/dev/null || echo '?')
  versions+=", $tool $v"
done
record versions "$versions"

# ---------------------------------------------------------------- cold or warm

DROP_CACHES=/proc/sys/vm/drop_caches
drop_caches() { sync && echo 3 >"$DROP_CACHES"; }
if [[ $COLD == 1 ]] && ! drop_caches 2>/dev/null; then
  say "cannot write $DROP_CACHES (not root?): measuring with a warm cache instead"
  record note "cold mode asked for, but the page cache could not be dropped: warm runs"
  COLD=0
fi

# ---------------------------------------------------------------- measuring

max_compilers=0
# run_timed CORPUS_ID LABEL REP COMMAND_LINE: one run, wall by the ns clock, RSS by time.
run_timed() {
  local id=$1 label=$2 rep=$3
  local tf=$WORK/$id/time.txt code=0 t0 t1 n
  split_command "$4" "$dir"
  n=$(compilers)
  if ((n > max_compilers)); then max_compilers=$n; fi
  [[ $COLD == 1 ]] && drop_caches
  t0=$(date +%s%N)
  /usr/bin/time -f "%e %M" -o "$tf" "${WORDS[@]}" >/dev/null 2>>"$WORK/$id/stderr.txt" || code=$?
  t1=$(date +%s%N)
  local rss
  rss=$(tail -n 1 "$tf" | cut -d' ' -f2)
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$id" "$label" "$rep" \
    "$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", (b - a) / 1e9 }')" "$rss" "$code" \
    >>"$timings"
}

# split_command LINE DIR: WORDS = LINE split on spaces, except inside the corpus path DIR
# (which may hold spaces itself).
WORDS=()
split_command() {
  local line=${1//"$2"/@DIR@}
  read -r -a WORDS <<<"$line"
  WORDS=("${WORDS[@]//@DIR@/$2}")
}
run_words() {
  split_command "$1" "$dir"
  "${WORDS[@]}"
}

empty_tree=$(mktemp -d "$GEN_DIR/empty.XXXXXX")
trap 'rmdir "$empty_tree" 2>/dev/null || true' EXIT

index=0
for corpus in "${corpora[@]}"; do
  index=$((index + 1))
  dir=$(realpath "$corpus")
  id=c$index
  mkdir -p "$WORK/$id/scratch"
  IFS=$'\t' read -r label profile < <(python3 "$here/dupsets.py" label "$dir")
  printf '%s\t%s\t%s\t%s\n' "$id" "$label" "$profile" "$dir" >>"$WORK/corpora.tsv"
  s=$WORK/$id/scratch
  # Every tool is asked for a report only, with empty files and hard links counted as
  # duplicates and symbolic links not followed, as zandrex-cli does.
  declare -A cmd=(
    ["zandrex --by content"]="$zandrex --by content --no-cache $dir"
    ["zandrex second find"]="env XDG_CACHE_HOME=$s/cache $zandrex --by content $dir"
    [jdupes]="jdupes -r -z -H -q $dir"
    [rdfind]="rdfind -dryrun true -ignoreempty false -removeidentinode false -makeresultsfile true -outputname $s/rdfind.txt $dir"
    [fdupes]="fdupes -r -H -q $dir"
    [duff]="duff -r -a $dir"
    [rmlint]="rmlint -T df --size 0 -F --hidden -o json:$s/rmlint.json $dir"
    ["zandrex --by filename"]="$zandrex --by filename $dir"
    ["zandrex --by size"]="$zandrex --by size $dir"
    ["find walk"]="find $dir -type f -printf %s\\n"
    ["zandrex empty tree"]="$zandrex --by content $empty_tree"
  )
  order=("zandrex --by content" "${PEERS[@]}" "zandrex second find" "zandrex --by size"
    "zandrex --by filename" "find walk" "zandrex empty tree")
  for label in "${order[@]}"; do
    printf '%-22s %s\n' "$label" "${cmd[$label]//"$dir"/DIR}"
  done | sed "s|$s/|/tmp/|g; s|$empty_tree|EMPTY|g; s|$zandrex|zandrex-cli|g" \
    >"$WORK/$id/commands.txt"

  if [[ $COLD != 1 ]]; then
    say "[$id] $dir: warming the page cache"
    find "$dir" -type f -print0 | xargs -0 -r cat >/dev/null
  fi

  # Untimed first runs: warm the binaries, keep the outputs for the duplicate sets.
  say "[$id] collecting duplicate sets"
  run_words "$zandrex --json --by content $dir" >"$WORK/$id/out.zandrex" 2>>"$WORK/$id/stderr.txt" ||
    say "[$id] zandrex-cli --json exited with $?"
  for tool in "${PEERS[@]}"; do
    run_words "${cmd[$tool]}" >"$WORK/$id/out.$tool" 2>>"$WORK/$id/stderr.txt" || true
  done
  [[ -f $s/rdfind.txt ]] && cp "$s/rdfind.txt" "$WORK/$id/out.rdfind"
  [[ -f $s/rmlint.json ]] && cp "$s/rmlint.json" "$WORK/$id/out.rmlint"
  # The second find's cache remembers only files changed a few seconds before it is filled.
  sleep 3
  for label in "zandrex second find" "zandrex --by size" "zandrex --by filename" "find walk" \
    "zandrex empty tree"; do
    run_words "${cmd[$label]}" >/dev/null 2>&1 || true
  done

  for rep in $(seq 1 "$REPS"); do
    say "[$id] repetition $rep of $REPS"
    for label in "${order[@]}"; do
      run_timed "$id" "$label" "$rep" "${cmd[$label]}"
    done
  done
  unset cmd
done

record load_after "$(cut -d' ' -f1-3 /proc/loadavg)"
record compilers "cc1plus processes at start: $(grep -P '^compilers_at_start\t' "$env_tsv" | cut -f2), most seen during timed runs: $max_compilers"
disks=""
for corpus in "${corpora[@]}"; do
  disks+="$(realpath "$corpus") on $(findmnt -n -o SOURCE,FSTYPE -T "$corpus" | tr -s ' '); "
done
record disk "${disks%; }"
if [[ $COLD == 1 ]]; then
  record cache "cold: page cache, dentries and inodes dropped (sync; echo 3 > $DROP_CACHES) before every timed run"
else
  record cache "warm: every file of a corpus (dot-folders too) read once with cat right before its runs; $(free -m | awk '/^Mem:/ { printf "%d MiB of %d MiB in buffers/cache after the run", $6, $2 }')"
fi

crc=$BUILD_DIR/bench/zandrex_bench_crc32
if [[ -x $crc ]]; then
  say "running the CRC-32 micro-benchmark"
  "$crc" --benchmark_color=false >"$WORK/crc32.txt" 2>&1 || say "CRC-32 benchmark exited with $?"
fi

python3 "$here/dupsets.py" report "$WORK" >"$WORK/RESULTS.md"
[[ -n ${RESULTS:-} ]] && cp "$WORK/RESULTS.md" "$RESULTS"
cat "$WORK/RESULTS.md"
say "raw data in $WORK"
