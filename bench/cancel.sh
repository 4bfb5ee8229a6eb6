#!/usr/bin/env bash
# How fast a content find stops when cancelled inside big files: two sparse files of equal size
# (8 GiB each by default; their holes read at memory speed, as a warm cache would), Ctrl-C after
# DELAY seconds, and the time from the signal until zandrex-cli has exited.
#
#   bench/cancel.sh                       # the Release build's zandrex-cli
#   BASELINE_CLI=/path/zandrex-cli bench/cancel.sh   # the same runs with another build, for a ratio
#
# Environment: CLI (build-release/cli/zandrex-cli), SIZE (8G), REPS (5), DELAY (1.0 s).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
CLI=${CLI:-$repo/build-release/cli/zandrex-cli}
SIZE=${SIZE:-8G}
REPS=${REPS:-5}
DELAY=${DELAY:-1.0}

dir=$(mktemp -d /tmp/zandrex-cancel-XXXXXX)
trap 'rm -rf "$dir"' EXIT
truncate -s "$SIZE" "$dir/a" "$dir/b"

measure() {
  python3 - "$1" "$dir" "$REPS" "$DELAY" <<'PY'
import signal, statistics, subprocess, sys, time
cli, folder, reps, delay = sys.argv[1], sys.argv[2], int(sys.argv[3]), float(sys.argv[4])
latencies = []
for _ in range(reps):
    run = subprocess.Popen([cli, "--by", "content", folder],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(delay)
    if run.poll() is not None:
        sys.exit(f"{cli} ended before the signal: make SIZE larger")
    sent = time.monotonic()
    run.send_signal(signal.SIGINT)
    code = run.wait()
    latencies.append((time.monotonic() - sent) * 1000)
    if code != 130:
        sys.exit(f"{cli} exited {code}, not 130 (cancelled)")
print(f"{cli}: from Ctrl-C to exit over {reps} runs: median {statistics.median(latencies):.1f} ms,"
      f" min {min(latencies):.1f} ms, max {max(latencies):.1f} ms")
PY
}

echo "two files of $SIZE, Ctrl-C after $DELAY s"
measure "$CLI"
if [[ -n "${BASELINE_CLI:-}" ]]; then
  measure "$BASELINE_CLI"
fi
