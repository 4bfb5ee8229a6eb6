#!/usr/bin/env python3
"""Deterministic test tree for measuring duplicate finding.

    make_tree.py --profile mixed --seed 7 --scale 0.5 --out /tmp/zandrex-bench/mixed

The same profile, seed and scale always give the same tree: names, sizes, contents,
modification times and links. Everything random comes from one seeded generator; file
contents come from a generator seeded per file, so a file's bytes do not depend on how
many bytes were drawn before it.

Profiles:
  mixed       about 40,000 files at scale 1 (log-normal sizes around 16 KiB, a few big
              files), a quarter of them exact copies, same-size near-twins that differ in
              one byte (first, middle or last), sizes shared by unrelated files, empty files,
              hard links, symbolic links (to files, to folders, dangling, and a loop back to
              an ancestor), dot-folders holding copies of visible files, dot-files, and pairs
              of names in one folder that differ only in letter case.
  many-small  about 300,000 files of 0-16 KiB at scale 1 in wide folders, a quarter copies,
              with the same kinds of links and hidden entries in smaller numbers.

--scale multiplies the file counts and the big files' sizes, so a test can ask for a
tree of a few dozen files (every feature keeps at least one instance).

After writing, the tree is walked and a ground truth is computed from the bytes on disk
(so accidental equal contents of tiny files count too) and written to OUT.truth.json,
beside the tree, never inside it. "visible" is the view of a finder that skips folders
whose names start with a dot and neither lists nor follows symbolic links; "all" also
enters dot-folders. Each view counts regular-file paths; visible.groups lists every set
of two or more paths with equal contents (hard links included), paths relative to OUT.
"""

import argparse
import hashlib
import json
import math
import os
import random
import shutil
import sys
import time

KIB = 1024
MIB = 1024 * KIB

# Round numbers for a plausible home folder; sizes are per file.
PROFILES = {
    "mixed": {
        "files": 40000,
        "size_median": 16 * KIB,
        "size_sigma": 1.8,
        "size_max": 8 * MIB,
        "big": 4,  # big originals, each with one copy; one of them also gets a near-twin
        "big_min": 32 * MIB,
        "big_max": 128 * MIB,
        "copy_ratio": 0.25,
        "near_ratio": 0.02,
        "shared_size_ratio": 0.10,  # unrelated files snapped to a few common sizes
        "empty": 30,
        "case_pairs": 120,
        "hardlinks": 120,
        "file_symlinks": 120,
        "dir_symlinks": 4,
        "dangling": 4,
        "loops": 1,
        "hidden_dir_ratio": 0.05,
        "hidden_file_ratio": 0.02,
        "max_depth": 6,
        "per_folder": (15, 150),
    },
    "many-small": {
        "files": 300000,
        "size_median": 4 * KIB,
        "size_sigma": 1.0,
        "size_max": 16 * KIB,
        "big": 0,
        "big_min": 0,
        "big_max": 0,
        "copy_ratio": 0.25,
        "near_ratio": 0.01,
        "shared_size_ratio": 0.0,  # 16 Ki possible sizes for 300k files share plenty already
        "empty": 100,
        "case_pairs": 300,
        "hardlinks": 300,
        "file_symlinks": 300,
        "dir_symlinks": 4,
        "dangling": 4,
        "loops": 1,
        "hidden_dir_ratio": 0.03,
        "hidden_file_ratio": 0.01,
        "max_depth": 5,
        "per_folder": (100, 600),
    },
}

# Names are drawn from these; mixed case, spaces and non-ASCII letters on purpose.
STEMS = [
    "report", "Report", "IMG", "photo", "Photo", "invoice", "notes", "Notes", "draft",
    "summary", "backup", "Backup", "song", "track", "TRACK", "scan", "a scan", "thesis",
    "data", "export", "plan", "Plan", "readme", "README", "café", "Café", "naïve",
    "résumé", "Übersicht", "build", "cache", "final", "final final", "copy of report",
]
EXTENSIONS = [
    ".txt", ".TXT", ".jpg", ".JPG", ".jpeg", ".png", ".pdf", ".PDF", ".doc", ".docx",
    ".mp3", ".flac", ".csv", ".json", ".log", ".bin", ".iso", ".tar.gz", ".c", ".h",
    ".py", ".md", ".html", "",
]
FOLDER_STEMS = [
    "Documents", "Pictures", "Music", "Downloads", "Projects", "archive", "Archive",
    "old", "misc", "src", "assets", "2019", "2020", "2021", "vacation", "Shared",
    "work", "New Folder", "Fotos año", "tmp",
]
HIDDEN_FOLDERS = [".cache", ".config", ".local", ".git", ".trash", ".thumbnails"]
HIDDEN_FILES = [".bashrc", ".profile", ".directory", ".hidden", ".DS_Store", ".keep"]

# Modification times: a fixed five-year window, so the tree does not depend on today.
MTIME_BASE = 1_600_000_000
MTIME_SPAN = 5 * 365 * 86400

# Byte positions a near-twin may differ at, relative to its size.
NEAR_AT_FIRST, NEAR_AT_MIDDLE, NEAR_AT_LAST = range(3)
COMMON_SIZES = [4 * KIB, 8 * KIB, 64 * KIB, 128 * KIB, 1 * MIB]
FILE_BUFFER = 4 * MIB
MIN_FOLDERS = 4


def scaled(count, scale, minimum=1):
    if count == 0:
        return 0
    return max(minimum, int(round(count * scale)))


def file_bytes(seed, ident, size):
    """The contents of file number ident: independent of every other file's draw."""
    if size == 0:
        return b""
    return random.Random(seed * 1_000_003 + ident).randbytes(size)


class Planner:
    """Lays out folders and files in memory first, so the writing order does not matter."""

    def __init__(self, profile, seed, scale):
        self.p = profile
        self.seed = seed
        self.scale = scale
        self.rng = random.Random(seed)
        self.folders = []  # relative paths, "" is the root
        self.hidden_folders = []
        self.taken = {}  # folder -> set of names used there
        self.files = []  # dicts: path, kind, size, ident / source / at
        self.links = []  # (kind, path, target)
        self.next_ident = 1

    def pick_name(self, folder, stem=None, ext=None):
        # taken holds lower-case names: case-only twins are made on purpose, never by accident.
        used = self.taken.setdefault(folder, set())
        while True:
            s = stem if stem is not None else self.rng.choice(STEMS)
            e = ext if ext is not None else self.rng.choice(EXTENSIONS)
            name = f"{s}{self.rng.randrange(100000)}{e}"
            if name.lower() not in used:
                used.add(name.lower())
                return name

    def claim(self, folder, name):
        """Reserves name in folder; False when it (or a case variant) is taken."""
        used = self.taken.setdefault(folder, set())
        if name.lower() in used:
            return False
        used.add(name.lower())
        return True

    def join(self, folder, name):
        return f"{folder}/{name}" if folder else name

    def plan_folders(self):
        p = self.p
        lo, hi = p["per_folder"]
        # At least a few nested folders, so the loop and folder links have somewhere to be.
        count = max(MIN_FOLDERS, round(scaled(p["files"], self.scale) / ((lo + hi) / 2)))
        depth = {"": 0}
        self.folders = [""]
        self.taken[""] = set()
        for _ in range(count - 1):
            parent = self.rng.choice([f for f in self.folders if depth[f] < p["max_depth"]])
            name = self.pick_name(parent, self.rng.choice(FOLDER_STEMS), "")
            path = self.join(parent, name)
            depth[path] = depth[parent] + 1
            self.folders.append(path)
        hidden = scaled(len(self.folders) * p["hidden_dir_ratio"], 1.0)
        for _ in range(hidden):
            parent = self.rng.choice(self.folders)
            name = self.rng.choice(HIDDEN_FOLDERS)
            while not self.claim(parent, name):
                name = f"{self.rng.choice(HIDDEN_FOLDERS)}{self.rng.randrange(1000)}"
            path = self.join(parent, name)
            self.hidden_folders.append(path)
            self.taken[path] = set()

    def random_size(self):
        p = self.p
        size = int(p["size_median"] * math.exp(self.rng.gauss(0.0, p["size_sigma"])))
        size = max(1, min(size, p["size_max"]))
        if self.rng.random() < p["shared_size_ratio"]:
            size = self.rng.choice(COMMON_SIZES)
        return size

    def new_original(self, folder, size, name=None):
        ident = self.next_ident
        self.next_ident += 1
        path = self.join(folder, name or self.pick_name(folder))
        entry = {"path": path, "kind": "original", "size": size, "ident": ident}
        self.files.append(entry)
        return entry

    def new_copy(self, folder, source, keep_name):
        name = os.path.basename(source["path"]) if keep_name else None
        if name is not None and not self.claim(folder, name):
            name = None
        path = self.join(folder, name or self.pick_name(folder))
        entry = dict(source, path=path, kind="copy", source=source["path"])
        self.files.append(entry)
        return entry

    def plan_files(self):
        p, rng, scale = self.p, self.rng, self.scale
        total = scaled(p["files"], scale, minimum=8)
        copies = int(total * p["copy_ratio"])
        near = scaled(total * p["near_ratio"], 1.0)
        empty = scaled(p["empty"], scale)
        case_pairs = scaled(p["case_pairs"], scale)
        hidden_files = scaled(total * p["hidden_file_ratio"], 1.0)
        big = scaled(p["big"], min(1.0, scale * 4)) if p["big"] else 0
        originals = max(1, total - copies - near - empty - case_pairs - hidden_files)

        visible = self.folders
        for _ in range(originals):
            self.new_original(rng.choice(visible), self.random_size())
        for i in range(big):
            size = rng.randrange(p["big_min"], p["big_max"] + 1)
            size = max(64 * KIB, int(size * min(1.0, scale)))
            source = self.new_original(rng.choice(visible), size)
            self.new_copy(rng.choice(visible), source, keep_name=True)
            if i == 0:  # differs in its very last byte: only a full read tells them apart
                self.near_twin(rng.choice(visible), source, NEAR_AT_LAST)
        pool = [f for f in self.files if f["kind"] == "original"]
        for _ in range(copies):
            source = rng.choice(pool)
            self.new_copy(rng.choice(visible), source, keep_name=rng.random() < 0.5)
        for _ in range(near):
            source = rng.choice(pool)
            self.near_twin(rng.choice(visible), source, rng.choice(
                [NEAR_AT_FIRST, NEAR_AT_MIDDLE, NEAR_AT_LAST]))
        for _ in range(empty):
            self.new_original(rng.choice(visible + self.hidden_folders), 0)
        for i in range(case_pairs):
            folder = rng.choice(visible)
            stem = rng.choice(STEMS)
            first = self.new_original(folder, self.random_size(),
                                      self.pick_name(folder, stem.lower(), ".jpg"))
            twin_name = os.path.basename(first["path"]).upper()
            twin_path = self.join(folder, twin_name)
            if i % 2 == 0:  # same bytes under both spellings
                self.files.append(dict(first, path=twin_path, kind="copy",
                                       source=first["path"]))
            else:
                self.new_original(folder, first["size"], twin_name)
        for folder in self.hidden_folders:  # copies of visible files: peers see more members
            for _ in range(max(1, round(total * 0.002))):
                self.new_copy(folder, rng.choice(pool), keep_name=rng.random() < 0.5)
        for _ in range(hidden_files):
            folder = rng.choice(visible)
            name = f"{rng.choice(HIDDEN_FILES)}{rng.randrange(10000)}"
            if not self.claim(folder, name):
                continue
            if rng.random() < 0.3:
                self.files.append(dict(rng.choice(pool), path=self.join(folder, name),
                                       kind="copy"))
            else:
                self.new_original(folder, self.random_size(), name)

    def near_twin(self, folder, source, where):
        size = source["size"]
        at = {NEAR_AT_FIRST: 0, NEAR_AT_MIDDLE: size // 2, NEAR_AT_LAST: size - 1}[where]
        path = self.join(folder, self.pick_name(folder))
        self.files.append({"path": path, "kind": "near", "size": size,
                           "ident": source["ident"], "flip": at, "source": source["path"]})

    def plan_links(self):
        p, rng, scale = self.p, self.rng, self.scale
        regular = [f for f in self.files if f["size"] > 0]
        everywhere = self.folders + self.hidden_folders
        for _ in range(scaled(p["hardlinks"], scale)):
            target = rng.choice(regular)
            folder = rng.choice(everywhere)
            self.links.append(("hard", self.join(folder, self.pick_name(folder)),
                               target["path"]))
        for _ in range(scaled(p["file_symlinks"], scale)):
            target = rng.choice(regular)
            folder = rng.choice(self.folders)
            self.links.append(("sym", self.join(folder, self.pick_name(folder)),
                               target["path"]))
        for i in range(p["dir_symlinks"]):
            folder = rng.choice(self.folders)
            target = rng.choice(self.folders[1:] or [""])
            self.links.append(("sym", self.join(folder, self.pick_name(folder, "link to", "")),
                               target))
        for _ in range(p["dangling"]):
            folder = rng.choice(self.folders)
            self.links.append(("dangling", self.join(folder, self.pick_name(folder, "gone", "")),
                               "no such file"))
        deep = sorted(self.folders[1:], key=lambda f: -f.count("/"))
        for i in range(p["loops"]):
            folder = deep[i % len(deep)]
            # Points back at the root from the deepest folders.
            self.links.append(("sym", self.join(folder, self.pick_name(folder, "loop", "")),
                               ""))


def write_tree(planner, out):
    seed = planner.seed
    os.makedirs(out)
    for folder in planner.folders[1:] + planner.hidden_folders:
        os.makedirs(os.path.join(out, folder), exist_ok=True)
    cache = {}  # ident -> bytes, only for files that are copied (saves regenerating)
    wanted = {}
    for f in planner.files:
        wanted[f["ident"]] = wanted.get(f["ident"], 0) + 1
    for f in planner.files:
        ident = f["ident"]
        data = cache.get(ident)
        if data is None:
            data = file_bytes(seed, ident, f["size"])
            if wanted[ident] > 1 and f["size"] <= FILE_BUFFER:
                cache[ident] = data
        if f["kind"] == "near":
            b = bytearray(data)
            b[f["flip"]] ^= 0xFF
            data = bytes(b)
        with open(os.path.join(out, f["path"]), "wb") as handle:
            handle.write(data)
    for kind, path, target in planner.links:
        full = os.path.join(out, path)
        if kind == "hard":
            os.link(os.path.join(out, target), full)
            continue
        if kind == "dangling":
            os.symlink(target, full)
            continue
        # Relative targets keep the tree valid wherever it is moved.
        rel = os.path.relpath(os.path.join(out, target), os.path.dirname(full))
        os.symlink(rel, full)
    # Times last: writing into a folder changes its modification time.
    rng = random.Random(seed ^ 0x5EED)
    for f in planner.files:
        t = MTIME_BASE + rng.randrange(MTIME_SPAN)
        os.utime(os.path.join(out, f["path"]), (t, t), follow_symlinks=False)
    for _kind, path, _target in planner.links:
        if _kind != "hard":
            t = MTIME_BASE + rng.randrange(MTIME_SPAN)
            os.utime(os.path.join(out, path), (t, t), follow_symlinks=False)
    # Deepest folders first: setting a folder's time does not touch its parent's.
    for folder in sorted(planner.folders + planner.hidden_folders, key=lambda f: -len(f)):
        t = MTIME_BASE + rng.randrange(MTIME_SPAN)
        os.utime(os.path.join(out, folder) if folder else out, (t, t))


def walk_regular(out, enter_hidden):
    """Regular-file paths (relative), without following symbolic links."""
    for root, dirs, files in os.walk(out, followlinks=False):
        if not enter_hidden:
            dirs[:] = [d for d in dirs if not d.startswith(".")]
        dirs.sort()
        for name in sorted(files):
            full = os.path.join(root, name)
            if os.path.isfile(full) and not os.path.islink(full):
                yield os.path.relpath(full, out)


def digest(path):
    h = hashlib.blake2b(digest_size=16)
    with open(path, "rb") as handle:
        while chunk := handle.read(FILE_BUFFER):
            h.update(chunk)
    return h.hexdigest()


def view_truth(out, enter_hidden, with_groups):
    by_size = {}
    total = 0
    paths = list(walk_regular(out, enter_hidden))
    for rel in paths:
        size = os.lstat(os.path.join(out, rel)).st_size
        total += size
        by_size.setdefault(size, []).append(rel)
    groups = []
    for size, rels in by_size.items():
        if len(rels) < 2:
            continue
        by_digest = {}
        for rel in rels:
            by_digest.setdefault(digest(os.path.join(out, rel)), []).append(rel)
        groups.extend(sorted(g) for g in by_digest.values() if len(g) > 1)
    groups.sort()
    result = {
        "regular_paths": len(paths),
        "bytes": total,
        "dup_groups": len(groups),
        "dup_paths": sum(len(g) for g in groups),
    }
    if with_groups:
        result["groups"] = groups
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--profile", choices=sorted(PROFILES), default="mixed")
    parser.add_argument("--seed", type=int, default=7)
    parser.add_argument("--scale", type=float, default=1.0,
                        help="multiplies file counts and big-file sizes (e.g. 0.001 for tests)")
    parser.add_argument("--out", required=True)
    parser.add_argument("--force", action="store_true", help="replace an existing OUT")
    parser.add_argument("--no-truth", action="store_true")
    args = parser.parse_args()
    if args.scale <= 0:
        parser.error("--scale must be positive")

    out = os.path.abspath(args.out.rstrip("/"))
    if os.path.lexists(out):
        if not args.force:
            sys.exit(f"make_tree: {out} exists (use --force to replace it)")
        shutil.rmtree(out)
    started = time.monotonic()
    planner = Planner(PROFILES[args.profile], args.seed, args.scale)
    planner.plan_folders()
    planner.plan_files()
    planner.plan_links()
    write_tree(planner, out)
    written = time.monotonic() - started
    print(f"make_tree: wrote {len(planner.files)} files, {len(planner.links)} links, "
          f"{len(planner.folders) + len(planner.hidden_folders)} folders in {written:.1f} s",
          file=sys.stderr)
    if args.no_truth:
        return
    truth = {
        "generator": "zandrex bench/make_tree.py",
        "profile": args.profile,
        "seed": args.seed,
        "scale": args.scale,
        "out": out,
        "planned": {
            "files": len(planner.files),
            "hard_links": sum(1 for k, _, _ in planner.links if k == "hard"),
            "symlinks": sum(1 for k, _, _ in planner.links if k != "hard"),
            "folders": len(planner.folders),
            "hidden_folders": len(planner.hidden_folders),
        },
        "visible": view_truth(out, enter_hidden=False, with_groups=True),
        "all": view_truth(out, enter_hidden=True, with_groups=False),
        "generate_seconds": round(written, 1),
    }
    with open(out + ".truth.json", "w", encoding="utf-8") as handle:
        json.dump(truth, handle, indent=1, ensure_ascii=False)
        handle.write("\n")
    v = truth["visible"]
    print(f"make_tree: visible {v['regular_paths']} files, {v['dup_groups']} duplicate groups "
          f"({v['dup_paths']} files); truth in {out}.truth.json", file=sys.stderr)


if __name__ == "__main__":
    main()
