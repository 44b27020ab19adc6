#!/usr/bin/python3
"""Compares a source PDF and a file saved from it as pdf.js (Firefox's
reader) sees both: the document-level settings pdfjs_summary.mjs reports
(page count, page mode and layout, viewer preferences, open action, page
labels, /Info with its language and custom keys, the XMP properties pdf.js
reads, the outline with each item's target page, the permissions).

    pdfjs_judge.py SOURCE OUTPUT [--password PW]... [--setting PATH=VALUE]...
    pdfjs_judge.py --batch LIST [--setting PATH=VALUE]...

The same interface and output as pdfjudge.py: one line per difference,
`PATH: source A; output B`, PATH naming a place in the summary
(info/Title, outline[2]/items[0]/title); exit 0 equal, 1 different, 2 a file
cannot be read. A setting (viewerPreferences/FitWindow=true) is a change that
was asked for: the output must hold VALUE there (JSON, or a text), the source
may hold anything. The only other differences allowed are in ALLOWED.
"""
import copy
import json
import os
import re
import subprocess
import sys
import tempfile

from pdfjudge import SHORT, capped, command_line, parse_settings

SUMMARY_SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "pdfjs_summary.mjs")

# Everything the judge lets differ, each with the reason a reader does not
# see it as a change of the document.
ALLOWED = {
    "info-producer-moddate": "/Producer and /ModDate of /Info say who wrote the file and when",
    "header-version": "the header's version may rise (the catalog's /Version may move into it)",
    "linearized": "whether the file is linearized is how its bytes are laid out for the web, not what it holds",
    "xmp-in-step": "pdf:Producer, xmp:ModifyDate and xmp:MetadataDate follow the save; the old "
    "pdf:CreationDate and pdf:ModDate may move to xmp:CreateDate and xmp:ModifyDate",
    "destinations": "outline and open-action targets compare by page index and view, never by object "
    "number; a named destination equals the explicit one it stands for, and one that leads to no page "
    "equals none (an item that goes nowhere)",
    "outline-count": "an outline item's /Count compares by what it means, open (positive, with children) or "
    "closed: its size is the number of visible descendants, which the writer counts again",
    "xmp-prefixes": "pdf.js names XMP properties by prefix, which XMP leaves free: xap and xmp, xapMM and xmpMM "
    "are the same namespaces",
    "xmp-attributes": "pdf.js reads only properties written as elements: one the source wrote as an attribute "
    "(pdfaid:part='1') is unseen there and seen in an output that writes it as an element",
}

# Prefixes that older XMP packets used for namespaces that now have others.
XMP_PREFIX_ALIASES = {"xap": "xmp", "xapmm": "xmpmm", "xaprights": "xmprights", "xapgimg": "xmpgimg"}

# Places not compared (info-producer-moddate, linearized, xmp-in-step).
NOT_COMPARED = {
    "info/Producer", "info/ModDate", "info/IsLinearized",
    "xmp/pdf:producer", "xmp/pdf:moddate", "xmp/pdf:creationdate",
    "xmp/xmp:modifydate", "xmp/xmp:metadatadate", "xmp/xmp:createdate",
}


def summaries(jobs, timeout=1200):
    """{path: (summary, error)} of every (path, passwords) job, from one run
    of pdf.js. pdf.js itself failing (not installed, stopped) raises."""
    with tempfile.NamedTemporaryFile("w", suffix=".txt", encoding="utf-8") as listing:
        for path, passwords in jobs:
            listing.write("\t".join([path, *passwords]) + "\n")
        listing.flush()
        run = subprocess.run(["node", SUMMARY_SCRIPT, "--list", listing.name], capture_output=True,
                             timeout=timeout, check=False)
    if run.returncode != 0:
        raise RuntimeError(f"pdf.js failed (status {run.returncode}): {run.stderr.decode('utf-8', 'replace')[-1000:]}")
    found = {}
    for line in run.stdout.decode("utf-8", "replace").splitlines():
        entry = json.loads(line)
        found[entry["file"]] = (entry.get("summary"), entry.get("error"))
    return found


def xmp_names(names):
    """Property names with the old prefixes replaced by today's."""
    def alias(name):
        prefix, colon, local = name.partition(":")
        return XMP_PREFIX_ALIASES.get(prefix, prefix) + colon + local
    return {alias(name): value for name, value in names.items()}


def attribute_properties(packet):
    """The property names a packet writes as attributes, as pdf.js would name them."""
    found = re.findall(r"([^\s=<>\"':]+:[^\s=<>\"':]+)\s*=\s*[\"']", packet or "")
    return set(xmp_names({name.lower(): None for name in found
                          if not name.lower().startswith(("xmlns:", "rdf:", "x:", "xml:"))}))


def page_or_none(dest):
    return dest if isinstance(dest, dict) and isinstance(dest.get("page"), int) else None


def outline_states(items):
    """Outline items with /Count replaced by the state it declares, and
    destinations to no page by none."""
    for item in items or []:
        count = item.pop("count", None)
        item["open"] = bool(item.get("items")) and (count or 0) > 0
        item["dest"] = page_or_none(item.get("dest"))
        outline_states(item.get("items"))
    return items


def comparable(summary, source_attributes=frozenset()):
    """A summary as it is compared: the reader-side differences ALLOWED names
    taken out. XMP properties only the output shows are dropped when the
    source holds them as attributes."""
    summary = copy.deepcopy(summary)
    attributes = attribute_properties(summary.pop("xmpPacket", None))
    if summary.get("xmp") is not None:
        summary["xmp"] = {name: value for name, value in xmp_names(summary["xmp"]).items()
                          if name not in source_attributes}
    outline_states(summary.get("outline"))
    if summary.get("openAction"):
        summary["openAction"] = dict(summary["openAction"], dest=page_or_none(summary["openAction"].get("dest")))
    return summary, attributes


def show(value):
    text = "(absent)" if value is None else json.dumps(value, ensure_ascii=False)
    return text if len(text) <= SHORT else text[: SHORT - 3] + "..."


def version(text):
    try:
        return tuple(int(part) for part in str(text).split("."))
    except ValueError:
        return (0,)


class Judge:
    def __init__(self, settings):
        self.settings = dict(settings)
        self.differences = []

    def differ(self, path, old, new):
        self.differences.append(f"{path}: source {show(old)}; output {show(new)}")

    def run(self, old, new):
        self.compare("", old, new)
        self.check_settings(new)
        return self.differences

    def compare(self, path, old, new):
        if path in self.settings or path in NOT_COMPARED:
            return
        if path == "info/PDFFormatVersion":
            if version(new) < version(old):
                self.differ(path, old, new)
            return
        if any(setting.startswith(path + "/") for setting in self.settings):
            old, new = old or {}, new or {}
        if isinstance(old, dict) and isinstance(new, dict):
            for key in list(old) + [k for k in new if k not in old]:
                self.compare(f"{path}/{key}" if path else key, old.get(key), new.get(key))
        elif isinstance(old, list) and isinstance(new, list) and len(old) == len(new):
            for i, (a, b) in enumerate(zip(old, new)):
                self.compare(f"{path}[{i}]", a, b)
        elif old != new:
            self.differ(path, old, new)

    def check_settings(self, new):
        for path, expected in self.settings.items():
            value = new
            for part in path.split("/"):
                value = value.get(part) if isinstance(value, dict) else None
            try:
                wanted = json.loads(expected)
            except ValueError:
                wanted = expected
            if expected != "*" and value != wanted:
                self.differences.append(f"{path}: source (setting asked for); output {show(value)}, asked for {expected}")


def verdict(found, source, output, settings):
    """(exit status, lines) for one pair."""
    (old, old_error), (new, new_error) = found[source], found[output]
    if old_error or new_error:
        return 2, [f"unreadable: {source if old_error else output}: {old_error or new_error}"]
    old, attributes = comparable(old)
    new, _ = comparable(new, attributes)
    return capped(Judge(settings).run(old, new))


def main(argv):
    args = command_line(argv, "pdf.js", "viewerPreferences/FitWindow=true", ALLOWED)
    if args is None:
        return 0
    if args.batch:
        with open(args.batch, encoding="utf-8") as listing:
            pairs = [line.rstrip("\n").split("\t") for line in listing if line.strip()]
    else:
        pairs = [[args.source, args.output, *args.password]]
    try:
        found = summaries([(path, pair[2:]) for pair in pairs for path in pair[:2]])
    except (OSError, RuntimeError, subprocess.TimeoutExpired) as e:
        print(f"the judge failed: {e}")
        return 3
    settings = parse_settings(args.setting)
    status = 0
    for index, pair in enumerate(pairs):
        status, lines = verdict(found, pair[0], pair[1], settings)
        if args.batch:
            print(f"== {index} {status}")
        for text in lines:
            print(text)
    return 0 if args.batch else status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
