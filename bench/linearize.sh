#!/usr/bin/env bash
# Fast web view: `vordel set --linearize` of big-classic and big-objstm
# against `qpdf --linearize` and against vordel's own plain rewrite of the
# same file, in the same run (streams written as loaded in both vordel runs,
# as qpdf does); then peak memory of each against the input's size.
# Targets: at most 0.10x qpdf's time, 2.0x the plain rewrite's, and a peak
# of at most 2.0x the input. Timings are shared-machine timings: read the
# ratios, not the seconds.
source "$(dirname "$0")/common.sh"
ensure_perf_files
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
printf '%-12s %-26s %10s %10s %7s\n' file comparison "vordel s" "other s" ratio
for name in big-classic big-objstm; do
  f="$perf/$name.pdf"
  # The object-stream file is written with object streams by both.
  layout=""; qlayout=""
  [ "$name" = big-objstm ] && layout="--object-streams generate" && qlayout="--object-streams=generate"
  # shellcheck disable=SC2086
  mapfile -t means < <(interleaved_medians \
    -n linear "$vordel set -q --compress none $layout --linearize $f -o $out/l.pdf" \
    -n plain "$vordel set -q --compress none $layout --no-linearize $f -o $out/p.pdf" \
    -n qpdf "qpdf --linearize $qlayout $f $out/q.pdf")
  printf '%-12s %-26s %10.3f %10.3f %7s\n' "$name" "vs qpdf --linearize" "${means[0]}" "${means[2]}" \
    "$(ratio "${means[0]}" "${means[2]}")"
  printf '%-12s %-26s %10.3f %10.3f %7s\n' "$name" "vs own plain rewrite" "${means[0]}" "${means[1]}" \
    "$(ratio "${means[0]}" "${means[1]}")"
  qpdf --check-linearization "$out/l.pdf" >/dev/null 2>&1 && check=ok || check=FAILED
  echo "             qpdf --check-linearization of vordel's output: $check"
done
echo
printf '%-12s %-30s %10s %9s\n' file command "peak MiB" "x size"
row() {  # name label peak-kB
  printf '%-12s %-30s %10.1f %9s\n' "$1" "$2" "$(python3 -c "print($3/1024)")" \
    "$(ratio "$3*1024" "$(stat -c %s "$perf/$1.pdf")")"
}
for name in big-classic big-objstm; do
  f="$perf/$name.pdf"
  layout=""; qlayout=""
  [ "$name" = big-objstm ] && layout="--object-streams generate" && qlayout="--object-streams=generate"
  # shellcheck disable=SC2086
  row "$name" "vordel set --linearize" "$(peak_kb "$vordel" set -q --compress none $layout --linearize "$f" -o "$out/m.pdf")"
  # shellcheck disable=SC2086
  row "$name" "vordel set --no-linearize" "$(peak_kb "$vordel" set -q --compress none $layout --no-linearize "$f" -o "$out/m.pdf")"
  # shellcheck disable=SC2086
  row "$name" "qpdf --linearize" "$(peak_kb qpdf --linearize $qlayout "$f" "$out/m.pdf")"
done
