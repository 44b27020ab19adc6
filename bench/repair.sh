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
python3 -c "import sys; sys.exit(0 if $r <= 2.0 else 1)" || { echo "repair takes more than 2x the normal load" >&2; exit 1; }
