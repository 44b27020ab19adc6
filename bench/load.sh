#!/usr/bin/env bash
# vordel info (a complete, eager load of every reachable object) against
# qpdf --show-npages on the same files, in one hyperfine run per file; peak
# memory against the file's size.
source "$(dirname "$0")/common.sh"
ensure_perf_files
printf '%-18s %10s %10s %7s %10s %9s\n' file "vordel s" "qpdf s" ratio "peak MiB" "x size"
for name in big-classic big-objstm; do
  f="$perf/$name.pdf"
  mapfile -t means < <(hyperfine_means -n vordel "$vordel info $f" -n qpdf "qpdf --show-npages $f")
  peak=$(peak_kb "$vordel" info "$f")
  size=$(stat -c %s "$f")
  printf '%-18s %10.3f %10.3f %7s %10.1f %9s\n' "$name" "${means[0]}" "${means[1]}" \
    "$(ratio "${means[0]}" "${means[1]}")" "$(python3 -c "print($peak/1024)")" "$(ratio "$peak*1024" "$size")"
done
