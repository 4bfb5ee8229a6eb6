#!/usr/bin/env python3
"""Duplicate sets of several finders, made comparable, and the benchmark's report.

A duplicate set is the set of groups, each group the sorted tuple of its files' paths
relative to the corpus root. Zandrex skips folders whose names start with a dot; the
peers enter them, so for a peer every path with such a folder below the root is dropped
from its group, and groups left with one file are dropped. The reference is
`zandrex-cli --json --by content`.

    dupsets.py compare --root DIR --ref zandrex.json --tool jdupes jdupes.txt
    dupsets.py report WORKDIR          # the markdown report of a run.sh work folder
    dupsets.py label DIR               # "label<TAB>profile" of a corpus, from its truth file
    dupsets.py selftest

Outputs understood (all read as bytes, so any file name survives):
  zandrex  the --json document ("\\udcXX" escapes restore non-UTF-8 bytes)
  jdupes, fdupes  one path per line, a blank line after each group
  duff     "N files in cluster K (...)" heading, then one path per line
  rdfind   its results file: "DUPTYPE_... id depth size device inode priority name",
           a group is every line whose id has the same absolute value
  rmlint   its json output: entries of type duplicate_file, grouped by size and checksum
           (hard-link-only groups carry no checksum: grouped by device and inode instead)
  truth    make_tree.py's OUT.truth.json (visible.groups, already relative)
"""

import json
import os
import re
import statistics
import sys

EXAMPLES = 3  # differing groups or paths shown per tool
KIB = 1024
MIB = 1024 * KIB
GIB = 1024 * MIB
DUFF_HEADING = re.compile(rb"^\d+ files in cluster \d+ \(")
RDFIND_FIELDS = 8  # duptype id depth size device inode priority name


# ---------------------------------------------------------------- parsers


def parse_blank_separated(data):
    groups, current = [], []
    for line in data.split(b"\n"):
        if line == b"":
            if current:
                groups.append(current)
            current = []
            continue
        current.append(os.fsdecode(line))
    if current:
        groups.append(current)
    return groups


def parse_duff(data):
    groups, current = [], None
    for line in data.split(b"\n"):
        if DUFF_HEADING.match(line):
            current = []
            groups.append(current)
            continue
        if line and current is not None:
            current.append(os.fsdecode(line))
    return groups


def parse_rdfind(data):
    by_id = {}
    for line in data.split(b"\n"):
        if not line or line.startswith(b"#"):
            continue
        fields = line.split(b" ", RDFIND_FIELDS - 1)
        if len(fields) < RDFIND_FIELDS or not fields[0].startswith(b"DUPTYPE_"):
            continue
        by_id.setdefault(abs(int(fields[1])), []).append(os.fsdecode(fields[7]))
    return list(by_id.values())


def parse_rmlint(data):
    groups = {}
    for entry in json.loads(data.decode("utf-8", "surrogateescape")):
        if entry.get("type") != "duplicate_file":
            continue
        checksum = entry.get("checksum")
        key = (entry["size"], checksum) if checksum else (
            entry["size"], "inode", entry.get("disk_id"), entry.get("inode"))
        groups.setdefault(key, []).append(entry["path"])
    return list(groups.values())


def parse_zandrex(data):
    document = json.loads(data.decode("utf-8"))
    return [[f["path"] for f in g["files"]] for g in document["groups"]]


PARSERS = {
    "zandrex": parse_zandrex,
    "jdupes": parse_blank_separated,
    "fdupes": parse_blank_separated,
    "duff": parse_duff,
    "rdfind": parse_rdfind,
    "rmlint": parse_rmlint,
}


def tool_kind(tool):
    """Output format of a tool label such as 'zandrex' or 'jdupes'."""
    return tool.split(":")[0].split(" ")[0]


# ---------------------------------------------------------------- canonical sets


def relative(path, root):
    path = os.path.normpath(path)
    if os.path.isabs(path):
        return os.path.relpath(path, root)
    return path


def in_dot_folder(rel):
    return any(part.startswith(".") for part in rel.split("/")[:-1])


def canonical(groups, root, drop_dot_folders):
    """Set of sorted path tuples; returns (set, dropped paths, dropped groups)."""
    root = os.path.realpath(root)
    result, dropped_paths, dropped_groups = set(), 0, 0
    for group in groups:
        rels = [relative(p, root) for p in group]
        if drop_dot_folders:
            kept = [r for r in rels if not in_dot_folder(r)]
            dropped_paths += len(rels) - len(kept)
            rels = kept
        if len(rels) < 2:
            dropped_groups += 1
            continue
        result.add(tuple(sorted(rels)))
    return result, dropped_paths, dropped_groups


def load_set(tool, path, root):
    with open(path, "rb") as handle:
        data = handle.read()
    kind = tool_kind(tool)
    if kind == "truth":
        truth = json.loads(data.decode("utf-8"))
        return canonical(truth["visible"]["groups"], root, drop_dot_folders=False)
    return canonical(PARSERS[kind](data), root, drop_dot_folders=kind != "zandrex")


def describe_path(root, rel):
    """What kind of entry rel is, to point at the cause of a difference."""
    try:
        st = os.lstat(os.path.join(root, rel))
    except OSError:
        return "missing"
    if os.path.islink(os.path.join(root, rel)):
        return "symlink"
    notes = [f"{st.st_size} B"]
    if st.st_nlink > 1:
        notes.append(f"{st.st_nlink} links")
    if os.path.basename(rel).startswith("."):
        notes.append("dot-file")
    return ", ".join(notes)


def compare(ref, other, root):
    """Agreement of other with ref: (True, "same") or (False, text with examples)."""
    if ref == other:
        return True, f"same ({len(ref)} groups, {sum(map(len, ref))} files)"
    ref_paths = {p for g in ref for p in g}
    other_paths = {p for g in other for p in g}
    extra = sorted(other_paths - ref_paths)
    missing = sorted(ref_paths - other_paths)
    only_other = sorted(other - ref)
    only_ref = sorted(ref - other)
    lines = [
        f"DIFFERENT: {len(other)} groups / {len(other_paths)} files vs "
        f"{len(ref)} / {len(ref_paths)}; {len(only_other)} groups only here, "
        f"{len(only_ref)} only in the reference; {len(extra)} files only here, "
        f"{len(missing)} only in the reference"
    ]
    for label, paths in (("only here", extra), ("only in reference", missing)):
        for rel in paths[:EXAMPLES]:
            lines.append(f"  file {label}: {rel} ({describe_path(root, rel)})")
    for label, groups in (("group only here", only_other), ("group only in reference",
                                                             only_ref)):
        for group in groups[:EXAMPLES]:
            shown = ", ".join(group[:4]) + (", ..." if len(group) > 4 else "")
            lines.append(f"  {label} ({len(group)} files): {shown}")
    return False, "\n".join(lines)


# ---------------------------------------------------------------- report


def read_tsv(path):
    rows = []
    if not os.path.exists(path):
        return rows
    with open(path, encoding="utf-8") as handle:
        for line in handle:
            fields = line.rstrip("\n").split("\t")
            if len(fields) == 6 and fields[0] != "corpus":
                corpus, tool, rep, wall, rss, code = fields
                rows.append((corpus, tool, int(rep), float(wall), int(rss), int(code)))
    return rows


def read_kv(path):
    values = {}
    if not os.path.exists(path):
        return values
    with open(path, encoding="utf-8") as handle:
        for line in handle:
            if "\t" in line:
                key, value = line.rstrip("\n").split("\t", 1)
                values[key] = value
    return values


def corpus_facts(root):
    """Regular files outside dot-folders (what Zandrex lists), all regular files, bytes."""
    visible = everything = total = 0
    stack = [(root, False)]
    while stack:
        folder, hidden = stack.pop()
        with os.scandir(folder) as entries:
            for entry in entries:
                if entry.is_dir(follow_symlinks=False):
                    stack.append((entry.path, hidden or entry.name.startswith(".")))
                    continue
                if not entry.is_file(follow_symlinks=False):
                    continue
                everything += 1
                total += entry.stat(follow_symlinks=False).st_size
                if not hidden:
                    visible += 1
    return visible, everything, total


def machine_lines():
    lines = []
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as handle:
            models = [l.split(":", 1)[1].strip() for l in handle if l.startswith("model name")]
        with open("/proc/cpuinfo", encoding="utf-8") as handle:
            flags = next((l.split(":", 1)[1].split() for l in handle if l.startswith("flags")),
                         [])
        shown = [f for f in ("sse4_2", "pclmulqdq", "avx2", "avx512f", "vpclmulqdq")
                 if f in flags]
        lines.append(f"- CPU: {models[0] if models else 'unknown'}, "
                     f"{os.cpu_count()} logical cores online; flags: {' '.join(shown)}")
    except OSError:
        pass
    try:
        with open("/proc/meminfo", encoding="utf-8") as handle:
            mem = {l.split(":")[0]: int(l.split()[1]) for l in handle}
        lines.append(f"- RAM: {mem['MemTotal'] / MIB:.1f} GiB")
    except (OSError, KeyError, ValueError):
        pass
    uname = os.uname()
    lines.append(f"- Kernel: {uname.sysname} {uname.release} ({uname.machine})")
    return lines


def fmt_wall(seconds):
    return f"{seconds:.3f}" if seconds < 10 else f"{seconds:.2f}"


def fmt_mib(kib):
    return f"{kib / KIB:.1f}"


PEERS = ("jdupes", "rdfind", "fdupes", "duff", "rmlint")


def report(work):
    env = read_kv(os.path.join(work, "env.tsv"))
    rows = read_tsv(os.path.join(work, "timings.tsv"))
    corpora = read_corpora(os.path.join(work, "corpora.tsv"))
    out = ["# Benchmark results", ""]
    out.append(f"Generated by `bench/run.sh` on {env.get('date', '?')}, "
               f"engine commit `{env.get('commit', '?')}`:")
    out += ["", "```", f"REPS={env.get('reps', '?').split()[0]} bench/run.sh "
            + " ".join(c["root"] for c in corpora), "```", "",
            "Each corpus: a table of medians, whether every peer found the same duplicate "
            "set as `zandrex-cli --json --by content`, and the commands; the goals of the "
            "performance issue follow, then the CRC-32 micro-benchmark."]
    out += ["", "## Machine", ""]
    out += machine_lines()
    for key in ("versions", "disk", "cache", "reps", "load_before", "load_after",
                "waited_for_compilers", "compilers", "note"):
        if key in env:
            out.append(f"- {key.replace('_', ' ').capitalize()}: {env[key]}")
    out += ["", "Wall time is the median of the repetitions (nanosecond clock around each "
            "run), peak RSS the median of GNU time's %M. Ratios divide by the fastest of the "
            "five peers, or by the find walk, of the same run.", ""]
    goals = []
    for corpus in corpora:
        out += corpus_section(work, corpus, rows, goals)
    crc = os.path.join(work, "crc32.txt")
    crc_text = None
    if os.path.exists(crc):
        with open(crc, encoding="utf-8", errors="replace") as handle:
            crc_text = handle.read().rstrip()
        goals.extend(crc_goal_lines(crc_text))
    out += ["## Goals of the performance issue", ""]
    out += goals or ["(no mixed or many-small corpus in this run)"]
    out.append("")
    if crc_text is not None:
        out += ["## CRC-32 micro-benchmark (build-release/bench/zandrex_bench_crc32)", "",
                "Google Benchmark's \"G/s\" is GiB/s. Its \"built as DEBUG\" warning, if "
                "shown, is about the Debian benchmark library itself, not about our code.", "",
                "```", crc_text, "```", ""]
    out += OPTIONS_NOTE
    return "\n".join(out)


# Why each peer gets the options it gets; printed under the tables.
OPTIONS_NOTE = [
    "## How the peers are asked",
    "",
    "Every tool only reports (nothing is deleted or linked), counts empty files and hard "
    "links as duplicates, does not follow symbolic links, and enters hidden folders (the "
    "peers cannot be told to skip only dot-folders, so their paths there are dropped "
    "before comparing, as the issue prescribes).",
    "",
    "- jdupes `-r -z -H -q`: -z counts empty files, -H hard links.",
    "- rdfind `-dryrun true -ignoreempty false -removeidentinode false -makeresultsfile true`: "
    "by default it skips empty files and keeps only one path per inode.",
    "- fdupes `-r -H -q`: counts empty files by default (-n would drop them); -H hard links.",
    "- duff `-r -a`: -a enters hidden files and folders (zandrex lists dot-files, so "
    "skipping them would make the sets differ); empty files and hard links are reported by "
    "default, so no -z (which would drop empty files) and no -p.",
    "- rmlint `-T df --size 0 -F --hidden -o json:FILE`: duplicate files only, --size 0 "
    "includes empty files, -F ignores symbolic links (by default it reads them as small "
    "files), --hidden enters hidden folders; hard links count by default. Hard-link-only "
    "groups carry no checksum in its json and are grouped by device and inode.",
    "",
]


CRC_LINE = re.compile(r"^BM_(\w+)/(\d+)\s.*bytes_per_second=([\d.]+)([KMGT]?)/s")
CRC_GOAL_GB = 10.0
UNIT = {"": 1, "K": KIB, "M": MIB, "G": GIB, "T": GIB * KIB}


def crc_goal_lines(text):
    """The dispatched CRC-32 speed on the large buffer against the 10 GB/s goal."""
    speeds = {}
    for line in text.splitlines():
        match = CRC_LINE.match(line)
        if match:
            name, size, value, unit = match.groups()
            speeds[(name, int(size))] = float(value) * UNIT[unit]
    if not speeds:
        return []
    size = max(s for _, s in speeds)
    fast = speeds.get(("Crc32Update", size))
    if fast is None:
        return []
    gb = fast / 1e9
    line = (f"- CRC-32 (the dispatched `crc32Update`, {size >> 20} MiB buffer): "
            f"{gb:.1f} GB/s single core; goal ≥ {CRC_GOAL_GB:.0f} GB/s: "
            f"{verdict(gb >= CRC_GOAL_GB)}")
    reference = speeds.get(("Bytewise", size))
    if reference:
        line += f" ({fast / reference:.0f}× the per-byte table reference)"
    return [line]


def read_corpora(path):
    corpora = []
    with open(path, encoding="utf-8") as handle:
        for line in handle:
            ident, label, profile, root = line.rstrip("\n").split("\t")
            corpora.append({"id": ident, "label": label, "profile": profile, "root": root})
    return corpora


def medians(rows, corpus_id):
    by_tool = {}
    for corpus, tool, _rep, wall, rss, code in rows:
        if corpus == corpus_id:
            by_tool.setdefault(tool, []).append((wall, rss, code))
    result = {}
    for tool, runs in by_tool.items():
        walls = [r[0] for r in runs]
        result[tool] = {
            "wall": statistics.median(walls),
            "min": min(walls),
            "max": max(walls),
            "rss": statistics.median(r[1] for r in runs),
            "codes": sorted({r[2] for r in runs}),
            "n": len(runs),
        }
    return result


def corpus_section(work, corpus, rows, goals):
    root = corpus["root"]
    folder = os.path.join(work, corpus["id"])
    visible, everything, total = corpus_facts(root)
    stats = medians(rows, corpus["id"])
    out = [f"## {corpus['label']}", ""]
    out.append(f"`{root}`: {visible:,} regular files outside dot-folders "
               f"({everything:,} with them), {total / GIB:.2f} GiB.")
    out.append("")

    ref_path = os.path.join(folder, "out.zandrex")
    agreement = {}
    ref = None
    if os.path.exists(ref_path):
        ref, _, _ = load_set("zandrex", ref_path, root)
    truth_path = root.rstrip("/") + ".truth.json"
    checks = [(t, os.path.join(folder, f"out.{t}")) for t in PEERS]
    truth = read_truth(truth_path)
    if truth and "groups" in truth.get("visible", {}):
        checks.append(("truth", truth_path))
    for tool, path in checks:
        if ref is None or not os.path.exists(path):
            continue
        try:
            other, dropped, _ = load_set(tool, path, root)
        except (ValueError, KeyError) as error:
            agreement[tool] = (False, f"output not understood: {error}")
            continue
        same, text = compare(ref, other, root)
        if dropped:
            text += f" ({dropped} dot-folder paths dropped)"
        agreement[tool] = (same, text)

    peers = {t: stats[t] for t in PEERS if t in stats}
    fastest = min(peers.values(), key=lambda s: s["wall"])["wall"] if peers else None
    walk = stats.get("find walk")
    out.append("| tool | median wall (s) | min–max (s) | ratio | peak RSS (MiB) | "
               "exit | duplicate set vs zandrex |")
    out.append("|---|---|---|---|---|---|---|")
    order = ["zandrex --by content", *PEERS, "zandrex second find", "zandrex --by size",
             "zandrex --by filename", "find walk", "zandrex empty tree"]
    for tool in order:
        if tool not in stats:
            continue
        s = stats[tool]
        ratio = "–"
        if tool in ("zandrex --by size", "zandrex --by filename", "find walk") and walk:
            ratio = f"{s['wall'] / walk['wall']:.2f}× find walk"
        elif tool != "zandrex empty tree" and fastest:
            ratio = f"{s['wall'] / fastest:.2f}× fastest peer"
        kind = tool_kind(tool)
        verdict = "reference" if tool == "zandrex --by content" else "–"
        if kind in agreement:
            verdict = "same" if agreement[kind][0] else "**different** (below)"
        out.append(f"| {tool} | {fmt_wall(s['wall'])} | {fmt_wall(s['min'])}–"
                   f"{fmt_wall(s['max'])} | {ratio} | {fmt_mib(s['rss'])} | "
                   f"{','.join(map(str, s['codes']))} | {verdict} |")
    out.append("")
    if "truth" in agreement:
        same, text = agreement["truth"]
        out.append(f"Zandrex against the generator's ground truth: {text}")
        out.append("")
    differing = [(t, a[1]) for t, a in agreement.items() if not a[0] and t != "truth"]
    for tool, text in differing:
        out += [f"{tool}:", "```", text, "```", ""]
    commands = os.path.join(folder, "commands.txt")
    if os.path.exists(commands):
        with open(commands, encoding="utf-8") as handle:
            out += ["Commands (DIR = the corpus):", "```", handle.read().rstrip(), "```", ""]

    goals.extend(goal_lines(corpus, stats, fastest, visible))
    return out


def read_truth(path):
    if not os.path.exists(path):
        return None
    with open(path, encoding="utf-8") as handle:
        return json.load(handle)


def verdict(ok):
    return "met" if ok else "NOT met"


def goal_lines(corpus, stats, fastest, visible):
    lines = []
    label, profile = corpus["label"].split(" (")[0], corpus["profile"]
    content = stats.get("zandrex --by content")
    if profile in ("mixed", "many-small") and content and fastest:
        ratio = content["wall"] / fastest
        lines.append(f"- {label}: `--by content` {fmt_wall(content['wall'])} s = "
                     f"{ratio:.2f}× the fastest peer ({fmt_wall(fastest)} s); goal ≤ 0.5×: "
                     f"{verdict(ratio <= 0.5)}")
    second, by_size = stats.get("zandrex second find"), stats.get("zandrex --by size")
    if second and by_size:
        ratio = second["wall"] / by_size["wall"]
        lines.append(f"- {label}: second find {fmt_wall(second['wall'])} s = {ratio:.2f}× "
                     f"`--by size` ({fmt_wall(by_size['wall'])} s); goal ≤ 1.3×: "
                     f"{verdict(ratio <= 1.3)}")
    if profile != "many-small":
        return lines
    by_name, walk = stats.get("zandrex --by filename"), stats.get("find walk")
    if by_name and walk:
        ratio = by_name["wall"] / walk["wall"]
        lines.append(f"- {label}: `--by filename` {fmt_wall(by_name['wall'])} s = "
                     f"{ratio:.2f}× the find walk ({fmt_wall(walk['wall'])} s); goal ≤ 1.5×: "
                     f"{verdict(ratio <= 1.5)}")
    empty = stats.get("zandrex empty tree")
    if content and empty and visible:
        per_file = (content["rss"] - empty["rss"]) * KIB / visible
        lines.append(f"- {label}: peak RSS `--by content` {fmt_mib(content['rss'])} MiB, "
                     f"empty tree {fmt_mib(empty['rss'])} MiB → {per_file:.0f} bytes per "
                     f"file over {visible:,} files; goal ≤ 300: {verdict(per_file <= 300)}")
    if by_name and empty and visible:
        per_file = (by_name["rss"] - empty["rss"]) * KIB / visible
        lines.append(f"- {label}: (for comparison, `--by filename` peak RSS "
                     f"{fmt_mib(by_name['rss'])} MiB → {per_file:.0f} bytes per file)")
    return lines


# ---------------------------------------------------------------- self-test


def selftest():
    """Parsers and the dot-folder rule on hand-made outputs; exits non-zero on a fault."""
    root = "/c"
    jd = b"/c/a\n/c/.git/a\n/c/b\n\n/c/x\n/c/.cache/x\n\n"
    assert canonical(parse_blank_separated(jd), root, True)[0] == {("a", "b")}
    duff = (b"2 files in cluster 1 (5 bytes, digest ab)\n/c/a\n/c/b\n"
            b"2 files in cluster 2 (0 bytes, digest cd)\n/c/e\n/c/d/.f\n")
    assert canonical(parse_duff(duff), root, True)[0] == {("a", "b"), ("d/.f", "e")}
    rd = (b"# Automatically generated\n# duptype id depth size device inode priority name\n"
          b"DUPTYPE_FIRST_OCCURRENCE 3 0 5 1 2 1 /c/with space\n"
          b"DUPTYPE_WITHIN_SAME_TREE -3 1 5 1 3 1 /c/d/x\n"
          b"DUPTYPE_FIRST_OCCURRENCE 4 0 9 1 4 1 /c/y\n"
          b"DUPTYPE_WITHIN_SAME_TREE -4 0 9 1 5 1 /c/z\n")
    assert canonical(parse_rdfind(rd), root, True)[0] == {("d/x", "with space"), ("y", "z")}
    rm = json.dumps([
        {"description": "header"},
        {"type": "duplicate_file", "path": "/c/a", "size": 5, "checksum": "k"},
        {"type": "duplicate_file", "path": "/c/b", "size": 5, "checksum": "k"},
        {"type": "duplicate_file", "path": "/c/h1", "size": 7, "disk_id": 1, "inode": 9},
        {"type": "duplicate_file", "path": "/c/h2", "size": 7, "disk_id": 1, "inode": 9},
        {"type": "emptyfile", "path": "/c/e", "size": 0},
        {"aborted": False},
    ]).encode()
    assert canonical(parse_rmlint(rm), root, True)[0] == {("a", "b"), ("h1", "h2")}
    # A non-UTF-8 byte: zandrex writes \udcff, the text tools the raw byte.
    zx = json.dumps({"groups": [{"files": [{"path": "/c/n\udcff"}, {"path": "/c/m"}]}]},
                    ensure_ascii=True).encode()
    text = b"/c/n\xff\n/c/m\n\n"
    assert canonical(parse_zandrex(zx), root, False)[0] == \
        canonical(parse_blank_separated(text), root, True)[0]
    # Zandrex's own groups are never filtered: a dot-folder path there is a real finding.
    zdot = json.dumps({"groups": [{"files": [{"path": "/c/.h/a"}, {"path": "/c/a"}]}]}).encode()
    assert canonical(parse_zandrex(zdot), root, False)[0] == {(".h/a", "a")}
    same, _ = compare({("a", "b")}, {("a", "b")}, root)
    assert same
    same, text = compare({("a", "b")}, {("a", "b", "c")}, root)
    assert not same and "1 files only here" in text
    print("dupsets selftest: ok")


def corpus_label(root):
    """Names a corpus after the generator that wrote its truth file beside it."""
    root = root.rstrip("/")
    truth = read_truth(root + ".truth.json") or {}
    profile = truth.get("profile", "other")
    if str(truth.get("generator", "")).endswith("make_tree.py"):
        return (f"own {profile} (bench/make_tree.py --profile {profile} "
                f"--seed {truth.get('seed')} --scale {truth.get('scale')})"), profile
    if "profile" in truth:
        return (f"shared {profile} (make-corpus.py --profile {profile} "
                f"--seed {truth.get('seed')})"), profile
    return os.path.basename(root), profile


def main(argv):
    if len(argv) == 3 and argv[1] == "label":
        print("\t".join(corpus_label(argv[2])))
        return 0
    if len(argv) >= 2 and argv[1] == "selftest":
        selftest()
        return 0
    if len(argv) == 3 and argv[1] == "report":
        print(report(argv[2]))
        return 0
    if len(argv) >= 2 and argv[1] == "compare":
        import argparse
        parser = argparse.ArgumentParser(prog="dupsets.py compare")
        parser.add_argument("--root", required=True)
        parser.add_argument("--ref", required=True, help="zandrex-cli --json output")
        parser.add_argument("--tool", nargs=2, action="append", metavar=("NAME", "OUTPUT"),
                            required=True)
        args = parser.parse_args(argv[2:])
        ref, _, _ = load_set("zandrex", args.ref, args.root)
        status = 0
        for name, path in args.tool:
            other, dropped, _ = load_set(name, path, args.root)
            same, text = compare(ref, other, os.path.realpath(args.root))
            print(f"{name}: {text}" + (f" ({dropped} dot-folder paths dropped)" if dropped
                                       else ""))
            status |= 0 if same else 1
        return status
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
