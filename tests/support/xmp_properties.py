#!/usr/bin/python3
"""The properties of an XMP packet, read with Python's own XML parser (not
the XMP toolkit the library writes with), so that a fault of the toolkit
cannot hide in its own reading.

    xmp_properties.py FILE [--password PW]...

FILE is a PDF (its catalog's /Metadata, read through pikepdf) or a packet
on its own. Prints {"{namespace}name": value} as JSON, or null when the
file has no packet or the packet is no XML; exit 2 when FILE cannot be read.

A value is a text; a list for rdf:Seq and rdf:Bag; {language: text} for
rdf:Alt; {field: value} for a structure. Both RDF spellings count: properties
as elements or as attributes of rdf:Description, several descriptions, and
the old `about=''` without its prefix.
"""
import json
import sys
import xml.etree.ElementTree as ElementTree

RDF = "{http://www.w3.org/1999/02/22-rdf-syntax-ns#}"
XML_LANG = "{http://www.w3.org/XML/1998/namespace}lang"
# Attributes of rdf:Description and of property elements that are syntax,
# not properties.
SYNTAX = {"about", "ID", "nodeID", "parseType", "resource", "datatype", "bagID", "aboutEach", "aboutEachPrefix"}
LISTS = {RDF + "Seq", RDF + "Bag"}


def is_syntax(name):
    return name in SYNTAX or name == XML_LANG or (name.startswith(RDF) and name[len(RDF):] in SYNTAX)


def attribute_properties(element):
    return {name: value for name, value in element.attrib.items() if not is_syntax(name)}


def node_value(element):
    """The value of a property element (or of an rdf:li)."""
    resource = element.get(RDF + "resource")
    if resource is not None:
        return resource
    children = list(element)
    if element.get(RDF + "parseType") == "Resource":
        return struct_value(element)
    if not children:
        fields = attribute_properties(element)
        return fields if fields else (element.text or "").strip()
    inner = children[0]
    if inner.tag in LISTS:
        return [node_value(item) for item in inner if item.tag == RDF + "li"]
    if inner.tag == RDF + "Alt":
        return {item.get(XML_LANG, ""): node_value(item) for item in inner if item.tag == RDF + "li"}
    if inner.tag == RDF + "Description":
        return struct_value(inner)
    return struct_value(element)


def struct_value(element):
    fields = attribute_properties(element)
    for child in element:
        fields[child.tag] = node_value(child)
    return fields


def properties(data):
    """{name: value} of a packet (bytes), or None when it is no XML or
    holds no rdf:RDF."""
    root = parse(data)
    if root is None:
        return None
    rdf = root if root.tag == RDF + "RDF" else root.find(f".//{RDF}RDF")
    if rdf is None:
        return None
    props = {}
    for description in rdf.findall(RDF + "Description"):
        props.update(struct_value(description))
    return props


def parse(data):
    """The packet's root element. The whole packet is tried first (the parser
    finds UTF-16 and UTF-32 by itself); failing that, the part from
    <x:xmpmeta or <rdf:RDF to its end tag, which drops junk around it."""
    try:
        return ElementTree.fromstring(data)
    except ElementTree.ParseError:
        pass
    text = data.decode("utf-8", "replace")
    for start_tag, end_tag in (("<x:xmpmeta", "</x:xmpmeta>"), ("<rdf:RDF", "</rdf:RDF>")):
        start, end = text.find(start_tag), text.rfind(end_tag)
        if start >= 0 and end > start:
            try:
                return ElementTree.fromstring(text[start:end + len(end_tag)])
            except ElementTree.ParseError:
                return None
    return None


def pdf_packet(path, passwords):
    """The bytes of a PDF's catalog /Metadata, or None."""
    import pikepdf
    for password in list(passwords) + [""]:
        try:
            with pikepdf.open(path, password=password) as pdf:
                stream = pdf.Root.get("/Metadata")
                return stream.read_bytes() if isinstance(stream, pikepdf.Stream) else None
        except pikepdf.PasswordError:
            continue
    raise pikepdf.PasswordError(f"{path}: no password opens it")


def main(argv):
    if not argv or argv[0].startswith("-"):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    path, passwords = argv[0], [argv[i + 1] for i in range(1, len(argv) - 1) if argv[i] == "--password"]
    try:
        with open(path, "rb") as file:
            data = file.read()
        if data.lstrip()[:5] == b"%PDF-" or b"%PDF-" in data[:1024]:
            data = pdf_packet(path, passwords)
    except Exception as e:  # noqa: BLE001 - any reader failure means unreadable
        print(f"unreadable: {path}: {e}", file=sys.stderr)
        return 2
    print(json.dumps(None if data is None else properties(data), ensure_ascii=False, indent=1, sort_keys=True))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
