#!/usr/bin/env bash
# XMP packets of 1, 4 and 16 MB: one description per namespace (thousands of
# namespaces, a form built to make the XMP toolkit quadratic: such a packet is
# kept as it is past a bound) and one long list (a large packet of the usual
# form, which the toolkit reads). `vordel info` and `vordel set --title`
# against `qpdf` rewriting the same file; the time per MB should stay flat.
source "$(dirname "$0")/common.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$work" <<'PY'
import sys
work = sys.argv[1]
head = ("<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'>"
        "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>")
tail = "</rdf:RDF></x:xmpmeta><?xpacket end='w'?>"
def namespaces(size):
    parts, n, i = [], 0, 0
    while n < size:
        p = f"<rdf:Description rdf:about='' xmlns:n{i}='http://example.com/ns/{i}/'><n{i}:p>v</n{i}:p></rdf:Description>"
        parts.append(p); n += len(p); i += 1
    return head + "".join(parts) + tail
def bag(size):
    items, n, i = [], 0, 0
    while n < size:
        p = f"<rdf:li>uuid:{i:032x}</rdf:li>"
        items.append(p); n += len(p); i += 1
    return (head + "<rdf:Description rdf:about='' xmlns:photoshop='http://ns.adobe.com/photoshop/1.0/'>"
            "<photoshop:DocumentAncestors><rdf:Bag>" + "".join(items) + "</rdf:Bag></photoshop:DocumentAncestors>"
            "</rdf:Description>" + tail)
def pdf(packet):
    objs = ["<< /Type /Catalog /Pages 2 0 R /Metadata 4 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>",
            f"<< /Type /Metadata /Subtype /XML /Length {len(packet)} >>\nstream\n{packet}\nendstream"]
    out, offsets = "%PDF-1.7\n", []
    for i, o in enumerate(objs, 1):
        offsets.append(len(out.encode()))
        out += f"{i} 0 obj\n{o}\nendobj\n"
    xref = len(out.encode())
    out += f"xref\n0 {len(objs) + 1}\n0000000000 65535 f \n" + "".join(f"{o:010d} 00000 n \n" for o in offsets)
    return out + f"trailer\n<< /Size {len(objs) + 1} /Root 1 0 R >>\nstartxref\n{xref}\n%%EOF\n"
for mb in (1, 4, 16):
    for name, make in (("namespaces", namespaces), ("list", bag)):
        open(f"{work}/{name}-{mb}mb.pdf", "w").write(pdf(make(mb << 20)))
PY
printf '%-18s %9s %9s %9s %9s %9s\n' file "info s" "set s" "qpdf s" "set/qpdf" "set s/MB"
for kind in namespaces list; do
  for mb in 1 4 16; do
    f="$work/$kind-${mb}mb.pdf"
    mapfile -t m < <(interleaved_medians -n info "$vordel info $f" \
      -n set "$vordel set -q --title Bench $f -o $work/out.pdf" -n qpdf "qpdf $f $work/qpdf.pdf")
    printf '%-18s %9.3f %9.3f %9.3f %9s %9s\n' "$kind-${mb}mb" "${m[0]}" "${m[1]}" "${m[2]}" \
      "$(ratio "${m[1]}" "${m[2]}")" "$(python3 -c "print(f'{${m[1]}/$mb:.3f}')")"
  done
done
