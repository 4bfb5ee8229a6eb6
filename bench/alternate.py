#!/usr/bin/env python3
"""Times commands in turn, one run of each per round, so that load from other work on a shared
machine falls on all of them alike (hyperfine runs every repetition of one command before the
next, and a drift in load then reads as a difference between commands). Each round starts with
the next command, so that none always runs first.

    alternate.py [--reps N] [--warmup N] [--cold] [--json FILE]
                 --run NAME COMMAND [--prepare NAME SHELL_LINE] ...

COMMAND is split like a shell line (no shell runs it); its output goes to /dev/null. A prepare
line runs in a shell before each run of its command, untimed. --cold drops the page cache
(`sync; echo 3 > /proc/sys/vm/drop_caches`, root only) before every timed run; when that is not
permitted it says so once and measures warm. Prints a markdown table of medians; --json writes
hyperfine-like results (command, median, mean, stddev, min, max, times).
"""
import argparse
import json
import os
import shlex
import statistics
import subprocess
import sys
import time

DROP_CACHES = "/proc/sys/vm/drop_caches"


def drop_caches():
    """True when the page cache, dentries and inodes were dropped."""
    os.sync()
    try:
        with open(DROP_CACHES, "w") as f:
            f.write("3\n")
        return True
    except OSError:
        return False


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--reps", type=int, default=5)
    parser.add_argument("--warmup", type=int, default=1)
    parser.add_argument("--cold", action="store_true")
    parser.add_argument("--json")
    parser.add_argument("--run", nargs=2, action="append", metavar=("NAME", "COMMAND"),
                        required=True)
    parser.add_argument("--prepare", nargs=2, action="append", metavar=("NAME", "LINE"),
                        default=[])
    args = parser.parse_args()

    prepare = dict(args.prepare)
    runs = [(name, shlex.split(command)) for name, command in args.run]
    cold = args.cold
    if cold and not drop_caches():
        print(f"alternate.py: cannot write {DROP_CACHES} (not root?): measuring warm",
              file=sys.stderr)
        cold = False

    def once(name, argv):
        if name in prepare:
            subprocess.run(prepare[name], shell=True, check=True)
        if cold:
            drop_caches()
        start = time.perf_counter()
        code = subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
        elapsed = time.perf_counter() - start
        if code != 0:
            print(f"alternate.py: {name} exited with {code}", file=sys.stderr)
        return elapsed

    for _ in range(args.warmup):
        for name, argv in runs:
            once(name, argv)
    times = {name: [] for name, _ in runs}
    for rep in range(args.reps):
        print(f"alternate.py: round {rep + 1} of {args.reps}", file=sys.stderr)
        # Each round starts one command later: a run right after another one's memory was given
        # back, or first after a pause, is measurably slower here, and no command should always
        # be the one that pays for it.
        start = rep % len(runs)
        for name, argv in runs[start:] + runs[:start]:
            times[name].append(once(name, argv))

    results = []
    for name, argv in runs:
        t = times[name]
        results.append({"command": name, "median": statistics.median(t),
                        "mean": statistics.mean(t),
                        "stddev": statistics.stdev(t) if len(t) > 1 else 0.0,
                        "min": min(t), "max": max(t), "times": t, "cold": cold})
    if args.json:
        with open(args.json, "w") as f:
            json.dump({"results": results}, f, indent=1)
    print("Page cache dropped before every run." if cold else "Warm page cache.")
    print("\n| command | median s | min s | max s |\n|---|---:|---:|---:|")
    for r in results:
        print(f"| {r['command']} | {r['median']:.3f} | {r['min']:.3f} | {r['max']:.3f} |")


if __name__ == "__main__":
    main()
