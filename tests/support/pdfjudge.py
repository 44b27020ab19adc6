#!/usr/bin/python3
"""Compares a source PDF and a file saved from it as another reader (qpdf,
through pikepdf) sees both, so that our own reading cannot hide a fault.

What is compared: the page count; every page's keys, with the attributes a
page inherits from the page tree resolved onto it; every catalog key; the
document information dictionary; the encryption (revision, key length,
permissions, and which given password opens each file as its owner). Values
are followed through references with an old->new object mapping: a pair of
objects already under comparison counts as equal, so shared and cyclic
graphs end. Streams are compared by their decoded data.

The only differences allowed are the ones in ALLOWED below, plus the settings
the caller says were asked for (--setting PATH=VALUE: the output must hold
VALUE at PATH, and the source may hold anything there; VALUE * accepts any).

Output: one line per difference, `PATH: source A; output B`, where a path
starts at /Root, /Info, /Encrypt or /Page[i] (the i-th page in page order,
counted from 0). Exit status: 0 equal, 1 different, 2 a file cannot be read.
"""
import argparse
import hashlib
import re
import sys
import warnings

import pikepdf
from pikepdf import Dictionary, Name, ObjectType

import xmp_properties

# Everything the judge lets differ, each with the reason a reader does not
# see it as a change of the document.
ALLOWED = {
    "info-producer-moddate": "/Producer and /ModDate of /Info say who wrote the file and when",
    "trailer-id": "the trailer's /ID is never compared (a new file gets a new one)",
    "page-tree-shape": "/Kids, /Count and /Parent of page-tree nodes: only the page order and each "
    "page's resolved attributes count",
    "filters": "streams compare by decoded data: /Filter, /DecodeParms, /Length and /DL may differ",
    "named-destinations": "a /Dest, or the /D of a /GoTo action, may hold the explicit array the "
    "source's named destination stands for",
    "catalog-version": "the catalog's /Version may move into the header, when the header says at "
    "least as much",
    "null-is-absent": "a key whose value is null (or a reference to nothing) equals a missing key",
    "real-precision": "a real number may differ past its tenth significant digit (relative 1e-9)",
    "xmp-in-step": "an XMP packet compares by its properties; pdf:Producer and the toolkit mark follow "
    "the save, and a single value may become a one-item list",
}

INHERITED_PAGE_KEYS = ("/Resources", "/MediaBox", "/CropBox", "/Rotate")
STREAM_FORMAT_KEYS = {"/Filter", "/DecodeParms", "/Length", "/DL"}
INFO_KEYS_ALLOWED_TO_DIFFER = {"/Producer", "/ModDate"}
REAL_TOLERANCE = 1e-9
MAX_REPORTED = 200
SHORT = 100


# The same passwords are tried on every file, needed or not.
warnings.filterwarnings("ignore", message="A password was provided, but no password was needed")


class Unreadable(Exception):
    pass


def open_pdf(path, passwords):
    """The file opened with the first password that opens it (owner
    passwords are simply tried like any other)."""
    last = None
    for password in list(passwords) + [""]:
        try:
            return pikepdf.open(path, password=password, inherit_page_attributes=False), password
        except pikepdf.PasswordError as e:
            last = e
        except Exception as e:  # noqa: BLE001 - any reader failure means unreadable
            raise Unreadable(f"{path}: {e}") from e
    raise Unreadable(f"{path}: no password opens it ({last})")


def password_effect(path, password):
    """What a password does to a file: "owner", "user" or "refused"."""
    try:
        with pikepdf.open(path, password=password, inherit_page_attributes=False) as pdf:
            return "owner" if pdf.owner_password_matched else "user"
    except pikepdf.PasswordError:
        return "refused"


def kind(value):
    if value is None:
        return "null"
    if isinstance(value, bool):
        return "boolean"
    if isinstance(value, (int, float)) or type(value).__name__ == "Decimal":
        return "number"
    code = value._type_code
    return {
        ObjectType.null: "null",
        ObjectType.boolean: "boolean",
        ObjectType.integer: "number",
        ObjectType.real: "number",
        ObjectType.name_: "name",
        ObjectType.string: "string",
        ObjectType.array: "array",
        ObjectType.dictionary: "dictionary",
        ObjectType.stream: "stream",
    }.get(code, str(code))


def objgen(value):
    try:
        return value.objgen if value.is_indirect else None
    except AttributeError:
        return None


def show(value):
    """A short one-line text for a value."""
    if value is None:
        return "(absent)"
    k = kind(value)
    ref = objgen(value)
    prefix = f"{ref[0]} {ref[1]} R " if ref else ""
    if k == "dictionary":
        text = f"<<{len(value.keys())} keys: {' '.join(sorted(value.keys()))}>>"
    elif k == "stream":
        text = f"stream <<{' '.join(sorted(value.stream_dict.keys()))}>>"
    elif k == "array":
        text = "[" + " ".join(show(item) for item in value) + "]"
    elif k == "string":
        text = value.unparse().decode("latin-1")
    elif k in ("name",):
        text = str(value)
    elif k == "boolean":
        text = "true" if value else "false"
    else:
        text = str(value)
    text = prefix + text
    return text if len(text) <= SHORT else text[: SHORT - 3] + "..."


def is_page_tree_node(value):
    return kind(value) == "dictionary" and value.get("/Type") == Name.Pages


def entries(dictionary, skip=()):
    """key -> value of a dictionary. Keys that are not UTF-8 cannot be named
    through pikepdf: such a dictionary compares as its text, with references
    blanked (their numbers differ between the files)."""
    try:
        return {k: dictionary[k] for k in dictionary.keys() if k not in skip}
    except UnicodeDecodeError:
        text = re.sub(rb"\d+ \d+ R", b"R", dictionary.unparse(resolved=True))
        return {"/(keys not UTF-8)": pikepdf.String(text)}


def page_list(pdf):
    """The pages in order. Where the reader refuses the tree as a whole (a
    node that is its own ancestor), the tree is walked with each node taken
    once, as a repairing reader does."""
    try:
        return [page.obj for page in pdf.pages]
    except Exception:  # noqa: BLE001
        pass
    pages, seen, stack = [], set(), [pdf.Root.get("/Pages")]
    while stack:
        node = stack.pop()
        if kind(node) != "dictionary" or objgen(node) in seen:
            continue
        if objgen(node):
            seen.add(objgen(node))
        if node.get("/Type") == Name.Pages or "/Kids" in node:
            stack.extend(reversed(list(node.get("/Kids", []))))
        else:
            pages.append(node)
    return pages


def resolved_page(page):
    """A page's keys with the inherited attributes of its ancestors filled in
    (the nearest ancestor wins); /Parent is left out."""
    keys = {k: page[k] for k in page.keys() if k != "/Parent"}
    node, seen = page.get("/Parent"), set()
    while node is not None and kind(node) == "dictionary" and objgen(node) not in seen:
        seen.add(objgen(node))
        for key in INHERITED_PAGE_KEYS:
            if key not in keys and key in node:
                keys[key] = node[key]
        node = node.get("/Parent")
    return keys


def named_destinations(pdf):
    """Name (bytes) -> destination of the source: the catalog's /Dests and the
    /Dests name tree."""
    names = {}
    root = pdf.Root
    dests = root.get("/Dests")
    if dests is not None and kind(dests) == "dictionary":
        for key in dests.keys():
            names.setdefault(key[1:].encode("latin-1"), dests[key])
    tree = root.get("/Names")
    if tree is not None and kind(tree) == "dictionary" and kind(tree.get("/Dests")) == "dictionary":
        try:
            for key, value in pikepdf.NameTree(tree.Dests).items():
                names.setdefault(key.encode("latin-1") if isinstance(key, str) else bytes(key), value)
        except Exception:  # noqa: BLE001 - a broken tree resolves nothing
            pass
    return names


def destination_array(value):
    """The array a named destination stands for (a dictionary holds it in /D)."""
    if kind(value) == "dictionary":
        value = value.get("/D")
    return value if kind(value) == "array" else None


DECODABLE = {"/FlateDecode", "/Fl", "/LZWDecode", "/LZW", "/ASCIIHexDecode", "/AHx", "/ASCII85Decode", "/A85",
             "/RunLengthDecode", "/RL", "/DCTDecode", "/DCT"}


def as_list(value):
    if value is None:
        return []
    return list(value) if kind(value) == "array" else [value]


def stream_data(pdf, stream):
    """(filters left, their parameters, data): the data with every filter the
    reader decodes undone (JPEG included, so that a JPEG compares by its
    pixels), one filter at a time where the whole chain cannot be."""
    try:
        return [], [], stream.read_bytes(pikepdf.StreamDecodeLevel.all)
    except Exception:  # noqa: BLE001 - a filter the reader does not decode
        pass
    filters = [str(f) for f in as_list(stream.stream_dict.get("/Filter"))]
    params = as_list(stream.stream_dict.get("/DecodeParms"))
    params += [None] * (len(filters) - len(params))
    try:
        data = stream.read_raw_bytes()
    except Exception as e:  # noqa: BLE001
        return filters, [show(p) for p in params], f"unreadable: {e}".encode()
    while filters and filters[0] in DECODABLE:
        step = pikepdf.Stream(pdf, data)
        step.stream_dict.Filter = Name(filters[0])
        if params[0] is not None and kind(params[0]) == "dictionary":
            step.stream_dict.DecodeParms = pikepdf.Dictionary({k: params[0][k] for k in params[0].keys()})
        try:
            data = step.read_bytes(pikepdf.StreamDecodeLevel.all)
        except Exception:  # noqa: BLE001 - broken data: compared as it is
            break
        filters, params = filters[1:], params[1:]
    return filters, [show(p) for p in params], data


XMP_FOLLOWS_SAVE = {"{http://ns.adobe.com/pdf/1.3/}Producer"}


def one_item_unwrapped(value):
    """A one-item list, or a one-language alternative, as its item."""
    while isinstance(value, (list, dict)) and len(value) == 1:
        value = next(iter(value.values())) if isinstance(value, dict) else value[0]
    return value


def same_xmp(old_data, new_data):
    """Packets compare by their properties as Python's XML parser reads them."""
    old, new = xmp_properties.properties(old_data), xmp_properties.properties(new_data)
    if old is None or new is None:
        return False
    keys = (set(old) | set(new)) - XMP_FOLLOWS_SAVE
    return all(one_item_unwrapped(old.get(k)) == one_item_unwrapped(new.get(k)) for k in keys)


def same_real(a, b):
    """Reals that differ only past the tenth significant digit."""
    a, b = float(a), float(b)
    return abs(a - b) <= REAL_TOLERANCE * max(1.0, abs(a))


def digest(data):
    return f"{len(data)} bytes sha1 {hashlib.sha1(data).hexdigest()[:12]}"


class Judge:
    def __init__(self, source, output, settings, passwords=()):
        self.source, self.output = source, output
        self.passwords = list(dict.fromkeys(list(passwords) + [""]))
        self.settings = settings  # path -> expected text, or "*"
        self.differences = []
        self.compared = set()  # (old objgen, new objgen) pairs already taken up
        self.page_map = {}  # old page objgen -> (index, new page objgen)
        self.names = named_destinations(source)

    def differ(self, path, old, new):
        self.differences.append(f"{path}: source {old}; output {new}")

    def run(self):
        self.compare_encryption()
        self.compare_pages()
        self.compare_catalog()
        self.compare_info()
        self.check_settings()
        return self.differences

    # ------------------------------------------------------------- top level

    def compare_encryption(self):
        if "/Encrypt" in self.settings:
            return
        old, new = self.source, self.output
        if old.is_encrypted != new.is_encrypted:
            self.differ("/Encrypt", "encrypted" if old.is_encrypted else "none",
                        "encrypted" if new.is_encrypted else "none")
            return
        if not old.is_encrypted:
            return
        for field in ("R", "V", "P", "bits"):
            a, b = getattr(old.encryption, field), getattr(new.encryption, field)
            if a != b:
                self.differ(f"/Encrypt/{field}", a, b)
        # Each password must do in the output what it did in the source.
        for password in self.passwords:
            a = password_effect(old.filename, password)
            b = password_effect(new.filename, password)
            if a != b:
                self.differ(f"/Encrypt/password({password!r})", a, b)

    def compare_pages(self):
        old_pages, new_pages = page_list(self.source), page_list(self.output)
        if len(old_pages) != len(new_pages):
            self.differ("/Pages/Count", f"{len(old_pages)} pages", f"{len(new_pages)} pages")
        count = min(len(old_pages), len(new_pages))
        for i in range(count):
            old, new = old_pages[i], new_pages[i]
            self.page_map[objgen(old)] = (i, objgen(new))
            self.compared.add((objgen(old), objgen(new)))
        for i in range(count):
            self.compare_keys(f"/Page[{i}]", resolved_page(old_pages[i]), resolved_page(new_pages[i]))

    def compare_catalog(self):
        old, new = self.source.Root, self.output.Root
        old_keys = entries(old, ("/Pages",))
        new_keys = entries(new, ("/Pages",))
        version = old_keys.pop("/Version", None)
        if version is not None and "/Version" not in new_keys:
            if not self.version_at_least(str(version)[1:]):
                self.differ("/Root/Version", str(version), f"(absent), header {self.output.pdf_version}")
        self.compared.add((objgen(old), objgen(new)))
        self.compare_keys("/Root", old_keys, new_keys)

    def version_at_least(self, wanted):
        def parts(text):
            try:
                return tuple(int(p) for p in text.split("."))
            except ValueError:
                return (0,)
        return parts(self.output.pdf_version) >= parts(wanted)

    def compare_info(self):
        old = self.source.trailer.get("/Info")
        new = self.output.trailer.get("/Info")
        old_keys = entries(old) if kind(old) == "dictionary" else {}
        new_keys = entries(new) if kind(new) == "dictionary" else {}
        for key in INFO_KEYS_ALLOWED_TO_DIFFER:
            old_keys.pop(key, None)
            new_keys.pop(key, None)
        self.compare_keys("/Info", old_keys, new_keys)

    def check_settings(self):
        for path, expected in self.settings.items():
            if path == "/Encrypt" or expected == "*":
                continue
            value = self.output_at(path)
            text = "(absent)" if value is None else show(value)
            if value is None or text != expected:
                self.differ(path, "(setting asked for)", f"{text}, asked for {expected}")

    def output_at(self, path):
        parts = path.strip("/").split("/")
        value = self.output.Root if parts[0] == "Root" else self.output.trailer.get("/Info")
        for part in parts[1:]:
            if kind(value) not in ("dictionary", "stream"):
                return None
            value = value.get("/" + part)
        return value

    # ------------------------------------------------------------ the walk

    def compare_keys(self, path, old_keys, new_keys):
        """Compares two key->value maps and everything they reach."""
        work = []
        self.push_keys(work, path, old_keys, new_keys, None)
        self.drain(work)

    def push_keys(self, work, path, old_keys, new_keys, holder):
        keys = list(old_keys.keys()) + [k for k in new_keys.keys() if k not in old_keys]
        for key in reversed(keys):
            child = f"{path}/{key[1:]}"
            if child in self.settings:
                continue
            old, new = old_keys.get(key), new_keys.get(key)
            if self.is_setting_prefix(child):
                # A dictionary the asked-for settings created may be absent
                # from the source: it counts as empty there.
                old = Dictionary() if old is None else old
                new = Dictionary() if new is None else new
            work.append((child, old, new, self.destination_position(key, holder)))

    def is_setting_prefix(self, path):
        return any(setting.startswith(path + "/") for setting in self.settings)

    @staticmethod
    def destination_position(key, holder):
        if key == "/Dest":
            return True
        return key == "/D" and holder is not None and holder.get("/S") == Name.GoTo

    def drain(self, work):
        while work:
            path, old, new, destination = work.pop()
            self.compare_value(work, path, old, new, destination)

    def compare_value(self, work, path, old, new, destination):
        old_kind, new_kind = kind(old), kind(new)
        if destination and old_kind in ("name", "string") and new_kind == "array":
            key = bytes(old) if old_kind == "string" else str(old)[1:].encode("latin-1")
            target = destination_array(self.names.get(key)) if key in self.names else None
            if target is None:
                self.differ(path, show(old) + " (no such named destination)", show(new))
            else:
                work.append((path, target, new, False))
            return

        old_ref, new_ref = objgen(old), objgen(new)
        if old_ref in self.page_map:
            index, expected = self.page_map[old_ref]
            if new_ref != expected:
                self.differ(path, f"page {index}", show(new))
            return
        if old_ref and new_ref:
            if (old_ref, new_ref) in self.compared:
                return
            self.compared.add((old_ref, new_ref))

        if old_kind != new_kind:
            self.differ(path, show(old), show(new))
            return
        if old_kind == "dictionary":
            if is_page_tree_node(old) and is_page_tree_node(new):
                return
            self.push_keys(work, path, entries(old), entries(new), old)
        elif old_kind == "array":
            if len(old) != len(new):
                self.differ(path, show(old), show(new))
                return
            for i in reversed(range(len(old))):
                work.append((f"{path}[{i}]", old[i], new[i], False))
        elif old_kind == "stream":
            self.compare_stream(work, path, old, new)
        elif old_kind == "string":
            if bytes(old) != bytes(new):
                self.differ(path, show(old), show(new))
        elif old_kind == "null":
            return
        elif old_kind == "number":
            if old != new and not same_real(old, new):
                self.differ(path, show(old), show(new))
        elif old != new:
            self.differ(path, show(old), show(new))

    def compare_stream(self, work, path, old, new):
        old_filters, old_params, old_data = stream_data(self.source, old)
        new_filters, new_params, new_data = stream_data(self.output, new)
        # Filters the reader cannot undo must be the same, over the same bytes.
        if (old_filters, old_params) != (new_filters, new_params):
            self.differ(path + "(filters left)", f"{old_filters} {old_params}", f"{new_filters} {new_params}")
        elif old_data != new_data and not (str(old.stream_dict.get("/Subtype")) == "/XML"
                                            and same_xmp(old_data, new_data)):
            state = "decoded" if not old_filters else "under " + " ".join(old_filters)
            self.differ(path + "(data)", f"{state} {digest(old_data)}", digest(new_data))
        self.push_keys(work, path, entries(old.stream_dict, STREAM_FORMAT_KEYS),
                       entries(new.stream_dict, STREAM_FORMAT_KEYS), old.stream_dict)


def parse_settings(items):
    settings = {}
    for item in items:
        path, _, value = item.partition("=")
        settings[path] = value or "*"
    return settings


def judge_pair(source_path, output_path, passwords, settings):
    """(exit status, lines) for one pair."""
    try:
        source, _ = open_pdf(source_path, passwords)
        output, _ = open_pdf(output_path, passwords)
    except Unreadable as e:
        return 2, [f"unreadable: {e}"]
    with source, output:
        try:
            differences = Judge(source, output, settings, passwords).run()
        except Exception as e:  # noqa: BLE001 - a reader failure mid-walk
            return 2, [f"unreadable: {type(e).__name__}: {e}"]
    return capped(differences)


def capped(differences):
    """(exit status, lines) of a pair's differences, at most MAX_REPORTED."""
    lines = differences[:MAX_REPORTED]
    if len(differences) > MAX_REPORTED:
        lines.append(f"... and {len(differences) - MAX_REPORTED} more differences")
    return (1 if differences else 0), lines


def judge_batch(list_path, settings):
    """Judges every pair of a list file (one process for many pairs: the
    reader's start-up is most of the cost of a small pair). Each pair's lines
    follow a line `== INDEX STATUS`."""
    with open(list_path, encoding="utf-8") as pairs:
        for index, line in enumerate(pairs):
            fields = line.rstrip("\n").split("\t")
            status, lines = judge_pair(fields[0], fields[1], fields[2:], settings)
            print(f"== {index} {status}")
            for text in lines:
                print(text)
    return 0


def command_line(argv, reader, setting_example, allowed):
    """The arguments every judge takes; None when --allowed printed `allowed`."""
    parser = argparse.ArgumentParser(description=f"Compare a PDF and a copy saved from it, as {reader} sees both.")
    parser.add_argument("source", nargs="?")
    parser.add_argument("output", nargs="?")
    parser.add_argument("--password", action="append", default=[], help="a password to try on both files")
    parser.add_argument("--setting", action="append", default=[], help=f"PATH=VALUE asked for, e.g. {setting_example}")
    parser.add_argument("--batch", metavar="LIST",
                        help="judge every pair of LIST, one a line: SOURCE<tab>OUTPUT[<tab>PASSWORD...]")
    parser.add_argument("--allowed", action="store_true", help="print the allowed differences and stop")
    args = parser.parse_args(argv)
    if args.allowed:
        for name, reason in allowed.items():
            print(f"{name}: {reason}")
        return None
    if not args.batch and not (args.source and args.output):
        parser.error("a source and an output, or --batch LIST")
    return args


def main(argv):
    args = command_line(argv, "another reader (pikepdf)", "/Root/ViewerPreferences/FitWindow=true; /Encrypt for any "
                        "change of the encryption", ALLOWED)
    if args is None:
        return 0
    if args.batch:
        return judge_batch(args.batch, parse_settings(args.setting))
    status, lines = judge_pair(args.source, args.output, args.password, parse_settings(args.setting))
    for text in lines:
        print(text)
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
