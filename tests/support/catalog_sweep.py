#!/usr/bin/python3
"""Saves every corpus file that qpdf (through pikepdf) reads with `vordel set`
and no settings, then compares the catalogs of source and output as pikepdf
reads them: the set of keys, and each kept key's value (compare_catalogs.py).

    catalog_sweep.py VORDEL CORPUS_DIR [WORK_DIR]

Prints one line per file with a difference and a summary of the keys lost,
gained or changed. Exits 1 when any file differs.
"""
import collections
import os
import re
import subprocess
import sys
import tempfile

import pikepdf

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare_catalogs import Comparer  # noqa: E402

# Keys the writer builds from the settings or rebuilds by design.
REBUILT = {"/Pages", "/Version"}


def passwords(name):
    """Passwords to try, from the corpus naming rules."""
    found = [""]
    for tag in ("U", "O"):
        match = re.search(tag + r"=([^,]*?)(?:,|\.pdf$)", name)
        if match:
            found.append(match.group(1))
    if name.startswith("005-libreoffice-writer-password"):
        found += ["permissionpassword", "openpassword"]
    if name == "encrypted-40-bit-R3.pdf":
        found.append("623")
    return found


def open_any(path, candidates):
    for password in candidates:
        try:
            return pikepdf.open(path, password=password), password
        except pikepdf.PasswordError:
            continue
    raise pikepdf.PasswordError("no password fits")


def main():
    vordel, corpus = sys.argv[1], sys.argv[2]
    work = sys.argv[3] if len(sys.argv) > 3 else tempfile.mkdtemp(prefix="catalog-sweep-")
    lost, gained, changed = collections.Counter(), collections.Counter(), collections.Counter()
    files = differing = skipped = failed = 0
    for folder, _, names in sorted(os.walk(corpus)):
        for name in sorted(names):
            if not name.lower().endswith(".pdf"):
                continue
            path = os.path.join(folder, name)
            try:
                source, password = open_any(path, passwords(name))
            except Exception:
                skipped += 1  # qpdf does not read it
                continue
            files += 1
            output_path = os.path.join(work, "out.pdf")
            if os.path.exists(output_path):
                os.unlink(output_path)
            command = [vordel, "set", "-q", path, "-o", output_path]
            if password:
                command[2:2] = ["--password", password]
            run = subprocess.run(command, capture_output=True, text=True, errors="replace", timeout=300)
            if run.returncode != 0 or not os.path.exists(output_path):
                failed += 1
                print(f"{name}: vordel exit {run.returncode}: {run.stderr.strip()[:200]}")
                continue
            try:
                output = pikepdf.open(output_path, password=password)
            except Exception as error:
                failed += 1
                print(f"{name}: output unreadable: {error}")
                continue
            try:
                problems = compare(source, output, lost, gained, changed)
            except Exception as error:
                problems = [f"comparison failed: {error!r}"]
            if problems:
                differing += 1
                print(f"{os.path.relpath(path, corpus)}: " + "; ".join(p[:300] for p in problems))
    print(f"\n{files} files read by qpdf ({skipped} not), {failed} not saved, {differing} with catalog differences")
    print("lost:", dict(lost.most_common()))
    print("gained:", dict(gained.most_common()))
    print("changed:", dict(changed.most_common()))
    return 1 if differing or failed else 0


def compare(source, output, lost, gained, changed):
    source_keys = set(source.Root.keys()) - REBUILT
    output_keys = set(output.Root.keys()) - REBUILT
    problems = [f"lost {k}" for k in sorted(source_keys - output_keys)]
    problems += [f"gained {k}" for k in sorted(output_keys - source_keys)]
    comparer = Comparer(source, output)
    for key in sorted(source_keys & output_keys):
        try:
            problem = comparer.differs(source.Root.get(key), output.Root.get(key), key)
        except Exception as error:
            problem = f"{key}: comparison failed: {error!r}"
        if problem:
            problems.append(f"changed {problem}")
            changed[key] += 1
    for k in source_keys - output_keys:
        lost[k] += 1
    for k in output_keys - source_keys:
        gained[k] += 1
    return problems


if __name__ == "__main__":
    sys.exit(main())
