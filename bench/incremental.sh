#!/usr/bin/env bash
# Incremental save: `vordel set --incremental --title T` on big-classic.pdf
# beside the full rewrite of the same change, the load alone (`vordel info`)
# and, as peers in the same run, qpdf's and mutool's full rewrites (neither
# offers an update that keeps the source's bytes). Also the size of the
# update the incremental save appends. Timings are shared-machine timings:
# read the ratios, not the seconds.
source "$(dirname "$0")/common.sh"
ensure_perf_files
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
f="$perf/big-classic.pdf"
mapfile -t means < <(hyperfine_means \
  -n incremental "$vordel set -q --incremental --title T $f -o $out/i.pdf" \
  -n rewrite "$vordel set -q --rewrite --title T $f -o $out/r.pdf" \
  -n load "$vordel info $f" \
  -n qpdf "qpdf $f $out/q.pdf" \
  -n mutool "mutool clean $f $out/m.pdf")
printf '%-34s %10s %18s\n' "big-classic.pdf" seconds "x incremental"
names=("vordel set --incremental --title T" "vordel set --rewrite --title T" "vordel info (load alone)" \
  "qpdf (full rewrite)" "mutool clean (full rewrite)")
for i in 0 1 2 3 4; do
  printf '%-34s %10.3f %18s\n' "${names[$i]}" "${means[$i]}" "$(ratio "${means[$i]}" "${means[0]}")"
done
"$vordel" set -q --incremental --title T "$f" -o "$out/i.pdf"
source_size=$(stat -c %s "$f")
update_size=$(( $(stat -c %s "$out/i.pdf") - source_size ))
cmp -s -n "$source_size" "$f" "$out/i.pdf" && prefix="yes" || prefix="NO"
echo
echo "update appended: $update_size bytes (source $source_size bytes; source bytes kept: $prefix)"
