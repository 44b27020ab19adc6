#!/usr/bin/env bash
# Repair: vordel info on big-classic.pdf against the same file with its
# cross-reference table overwritten by blanks (so the entries must be rebuilt
# by scanning the file). The rebuild is one linear pass; the damaged load
# should take at most twice the normal one.
source "$(dirname "$0")/common.sh"
ensure_perf_files
good="$perf/big-classic.pdf"
damaged="$perf/big-classic-no-xref.pdf"
if [ ! -f "$damaged" ] || [ "$damaged" -ot "$good" ]; then
  python3 - "$good" "$damaged" <<'PY'
import re, sys
data = bytearray(open(sys.argv[1], "rb").read())
at = data.rfind(b"startxref")
table = int(re.search(rb"\d+", data[at + 9:]).group())
end = data.index(b"trailer", table)
assert data[table:table + 4] == b"xref"
data[table:end] = b" " * (end - table)  # the table gone, its trailer kept
open(sys.argv[2], "wb").write(data)
PY
fi
if ! "$vordel" info "$damaged" | grep -q '^Repaired: *yes$'; then
  echo "the damaged copy did not load as repaired" >&2
  exit 1
fi
printf '%-26s %10s %10s %7s\n' file "normal s" "damaged s" ratio
mapfile -t means < <(hyperfine_means -n normal "$vordel info $good" -n damaged "$vordel info $damaged")
r=$(ratio "${means[1]}" "${means[0]}")
printf '%-26s %10.3f %10.3f %7s\n' big-classic "${means[0]}" "${means[1]}" "$r"
failed=0
python3 -c "import sys; sys.exit(0 if $r <= 2.0 else 1)" || { echo "repair takes more than 2x the normal load" >&2; failed=1; }

# Hostile repairs against input size: catalogs left open (thousands of
# "k 0 obj << /Type /Catalog /K [ 0 1 ... 39" and nothing else), and a small
# document followed by object streams of about 1 MB each that nothing uses
# (their members are listed from each stream's head; no stream is decoded).
# vordel info against qpdf --show-npages (which gives up on the first kind);
# at most 10x qpdf.
python3 - "$perf" <<'PY'
import os, random, sys, zlib
perf = sys.argv[1]
numbers = " ".join(str(i) for i in range(40))
for mb in (1, 4, 16):
    path = os.path.join(perf, f"open-catalogs-{mb}m.pdf")
    if not os.path.exists(path):
        lines, size, k = [b"%PDF-1.4\n"], 9, 1
        while size < mb << 20:
            line = f"{k} 0 obj << /Type /Catalog /K [ {numbers}\n".encode()
            lines.append(line); size += len(line); k += 1
        open(path, "wb").write(b"".join(lines))
    path = os.path.join(perf, f"object-streams-{mb}m.pdf")
    if not os.path.exists(path):
        rng = random.Random(mb)
        out = bytearray(b"%PDF-1.5\n%\xe2\xe3\xcf\xd3\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n"
                        b"2 0 obj\n<< /Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\n"
                        b"3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>\nendobj\n")
        number = 10
        while len(out) < mb << 20:
            heads, body = [], bytearray()
            while len(body) < 1 << 20:
                heads.append(f"{number + 1 + len(heads)} {len(body)}")
                body += f"<< /K [ {' '.join(str(rng.randrange(10**6)) for _ in range(40))} ] >>\n".encode()
            head = (" ".join(heads) + "\n").encode()
            data = zlib.compress(bytes(head + body), 6)
            out += (f"{number} 0 obj\n<< /Type /ObjStm /N {len(heads)} /First {len(head)} /Filter /FlateDecode "
                    f"/Length {len(data)} >>\nstream\n").encode() + data + b"\nendstream\nendobj\n"
            number += len(heads) + 1
        out += f"trailer\n<< /Size {number} /Root 1 0 R >>\n%%EOF\n".encode()
        open(path, "wb").write(out)
PY
echo
printf '%-26s %10s %10s %7s\n' file "vordel s" "qpdf s" ratio
worst=0
for kind in open-catalogs object-streams; do
  for mb in 1 4 16; do
    f="$perf/$kind-${mb}m.pdf"
    mapfile -t means < <(hyperfine_means -i -n vordel "$vordel info $f" -n qpdf "qpdf --show-npages $f")
    r=$(ratio "${means[0]}" "${means[1]}")
    printf '%-26s %10.3f %10.3f %7s\n' "$kind-${mb}m" "${means[0]}" "${means[1]}" "$r"
    worst=$(python3 -c "print(max($worst, $r))")
  done
done
python3 -c "import sys; sys.exit(0 if $worst <= 10.0 else 1)" || { echo "a hostile repair takes more than 10x qpdf" >&2; failed=1; }
exit $failed
