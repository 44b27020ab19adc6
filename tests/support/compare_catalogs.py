#!/usr/bin/python3
"""Compares the catalog of a source PDF with that of a saved copy, as pikepdf
reads both files (never as vxpdf reads them).

    compare_catalogs.py SOURCE OUTPUT [--password P] [--keys /A,/B] [--skip /A,/B]
                        [--keys-only]

Every catalog key of the source (or only those of --keys, less those of
--skip) is looked for in the output and, unless --keys-only, its value is
compared recursively: through references with one consistent old-to-new
mapping (shared and cyclic graphs end), streams by their decoded data, pages
by their position in the document, reals to six decimals. A named destination
that became its explicit array counts as equal, and so does a /Parent link the
output has where the source had none. Keys the output has and the
source has not are reported too.

Prints one line per difference ("missing /K", "extra /K", "differs /K: where
and what") and exits 1 when there is any, 0 when there is none, 2 when a file
cannot be read.
"""
import argparse
import decimal
import sys

import pikepdf

STREAM_CODING_KEYS = {"/Length", "/Filter", "/DecodeParms", "/DL"}


class Comparer:
    def __init__(self, source, output):
        self.source = source
        self.output = output
        self.source_pages = {p.objgen: i for i, p in enumerate(source.pages)}
        self.output_pages = {p.objgen: i for i, p in enumerate(output.pages)}
        self.mapping = {}  # source objgen -> output objgen
        self.done = set()

    def differs(self, a, b, where):
        """None when equal, else a text saying where and how they differ."""
        a_indirect = isinstance(a, pikepdf.Object) and a.is_indirect
        b_indirect = isinstance(b, pikepdf.Object) and b.is_indirect
        if a_indirect:
            if a.objgen in self.source_pages:
                if not b_indirect or self.output_pages.get(b.objgen) != self.source_pages[a.objgen]:
                    return f"{where}: page {self.source_pages[a.objgen] + 1} became something else"
                return None
            if b_indirect:
                known = self.mapping.setdefault(a.objgen, b.objgen)
                if known != b.objgen:
                    return f"{where}: object {a.objgen} maps to both {known} and {b.objgen}"
            pair = (a.objgen, b.objgen if b_indirect else None)
            if pair in self.done:
                return None
            self.done.add(pair)

        if isinstance(a, pikepdf.Stream) or isinstance(b, pikepdf.Stream):
            if not (isinstance(a, pikepdf.Stream) and isinstance(b, pikepdf.Stream)):
                return f"{where}: stream against non-stream"
            problem = self.dict_differs(a.stream_dict, b.stream_dict, where, STREAM_CODING_KEYS)
            if problem:
                return problem
            if self.data(a) != self.data(b):
                return f"{where}: stream data differ"
            return None
        if isinstance(a, pikepdf.Dictionary):
            if not isinstance(b, pikepdf.Dictionary):
                return f"{where}: dictionary against {type(b).__name__}"
            return self.dict_differs(a, b, where, set())
        if isinstance(a, pikepdf.Array):
            if not isinstance(b, pikepdf.Array):
                return f"{where}: array against {type(b).__name__}"
            if len(a) != len(b):
                return f"{where}: {len(a)} elements against {len(b)}"
            for i, (x, y) in enumerate(zip(a, b)):
                problem = self.differs(x, y, f"{where}[{i}]")
                if problem:
                    return problem
            return None
        if isinstance(a, (pikepdf.String, pikepdf.Name)) and isinstance(b, pikepdf.Array) and \
                where.endswith(("/D", "/Dest")):
            return None  # a named destination replaced by its explicit array
        if isinstance(a, pikepdf.Name):
            return None if isinstance(b, pikepdf.Name) and str(a) == str(b) else f"{where}: {a} against {b!r}"
        if isinstance(a, pikepdf.String):
            if isinstance(b, pikepdf.String) and bytes(a) == bytes(b):
                return None
            return f"{where}: string {bytes(a)!r} against {b!r}"
        if isinstance(a, bool) or isinstance(b, bool) or a is None or b is None:
            return None if a is b or a == b and type(a) is type(b) else f"{where}: {a!r} against {b!r}"
        if isinstance(a, (int, decimal.Decimal, float)) and isinstance(b, (int, decimal.Decimal, float)):
            return None if abs(float(a) - float(b)) < 1e-6 else f"{where}: {a} against {b}"
        return None if repr(a) == repr(b) else f"{where}: {a!r} against {b!r}"

    def dict_differs(self, a, b, where, skip):
        a_keys = [k for k in a.keys() if k not in skip]
        # A tree link the source lacked (an outline item or a page without
        # /Parent) is rebuilt on save, and readers add it to loose pages.
        b_keys = [k for k in b.keys() if k not in skip and (k != "/Parent" or k in a)]
        if set(a_keys) != set(b_keys):
            return f"{where}: keys {sorted(a_keys)} against {sorted(b_keys)}"
        for key in a_keys:
            problem = self.differs(a.get(key), b.get(key), f"{where}{key}")
            if problem:
                return problem
        return None

    @staticmethod
    def data(stream):
        try:
            return stream.read_bytes()
        except Exception:  # a filter pikepdf does not decode: the bytes as stored
            return stream.read_raw_bytes()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("source")
    parser.add_argument("output")
    parser.add_argument("--password", default="")
    parser.add_argument("--keys", default="")
    parser.add_argument("--skip", default="")
    parser.add_argument("--keys-only", action="store_true")
    args = parser.parse_args()
    try:
        source = pikepdf.open(args.source, password=args.password)
        output = pikepdf.open(args.output, password=args.password)
    except Exception as error:
        print(f"cannot read: {error}")
        return 2

    skip = set(filter(None, args.skip.split(",")))
    wanted = [k for k in args.keys.split(",") if k] or list(source.Root.keys())
    wanted = [k for k in wanted if k not in skip]
    comparer = Comparer(source, output)
    problems = []
    for key in wanted:
        if key not in output.Root:
            if key in source.Root:
                problems.append(f"missing {key}")
            continue
        if key not in source.Root:
            problems.append(f"extra {key}")
            continue
        if not args.keys_only:
            problem = comparer.differs(source.Root.get(key), output.Root.get(key), key)
            if problem:
                problems.append(f"differs {problem}")
    if not args.keys:
        problems += [f"extra {k}" for k in output.Root.keys() if k not in source.Root and k not in skip]
    for line in problems:
        print(line)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
