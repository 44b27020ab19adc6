#!/usr/bin/env bash
# Every row of the speed table in one run: vordel against mutool and qpdf on
# the same files, medians of runs taken in turns, the ratio to the best peer, and
# peak memory (median of three runs) against the input's size. The machine
# is shared: compare the ratios of one run, not seconds across runs.
#
#   BUILD=<build dir> PERF_DIR=/work/perf RUNS=5 bench/compare.sh
#   VORDEL=<other vordel binary> measures another build (before/after).
source "$(dirname "$0")/common.sh"
vordel=${VORDEL:-$vordel}
ensure_perf_files
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

mib() { python3 -c "print(f'{$1/1024:.0f}')"; }

# One timed row: label, input file, then name/command pairs; the first pair is
# vordel's. Prints the medians, the ratio to the fastest peer and the peak
# memory of each command.
row() {
  local label=$1 file=$2
  shift 2
  local names=() commands=() args=()
  while [ $# -gt 0 ]; do
    names+=("$1")
    commands+=("$2")
    args+=(-n "$1" "$2")
    shift 2
  done
  mapfile -t medians < <(interleaved_medians "${args[@]}")
  local best=""
  for i in "${!names[@]}"; do
    [ "$i" -eq 0 ] && continue
    if [ -z "$best" ] || python3 -c "import sys; sys.exit(0 if ${medians[$i]} < $best else 1)"; then
      best=${medians[$i]}
    fi
  done
  local size
  size=$(stat -c %s "$file")
  local cells="" peaks=""
  for i in "${!names[@]}"; do
    # shellcheck disable=SC2086
    local peak
    peak=$(peak_kb ${commands[$i]})
    cells+=$(printf ' %s %.3fs' "${names[$i]}" "${medians[$i]}")
    peaks+=$(printf ' %s %s MiB' "${names[$i]}" "$(mib "$peak")")
    if [ "$i" -eq 0 ]; then
      peaks+=$(printf ' (%sx input)' "$(ratio "$peak*1024" "$size")")
    fi
  done
  printf '%-38s %-8s |%s |%s\n' "$label" "$(ratio "${medians[0]}" "$best")x" "$cells" "$peaks"
}

# A size row: label, then name/output-file pairs, vordel's first; the ratio is
# vordel's size against the smallest peer's.
size_row() {
  local label=$1
  shift
  local cells="" own="" best=""
  while [ $# -gt 0 ]; do
    local s="n/a"
    [ -s "$2" ] && s=$(stat -c %s "$2")
    cells+=$(printf ' %s %s' "$1" "$s")
    if [ -z "$own" ]; then
      own=$s
    elif [ "$s" != n/a ] && { [ -z "$best" ] || [ "$s" -lt "$best" ]; }; then
      best=$s
    fi
    shift 2
  done
  local r="n/a"
  [ "$own" != n/a ] && [ -n "$best" ] && r="$(ratio "$own" "$best")x"
  printf '%-38s %-8s |%s\n' "$label" "$r" "$cells"
}

classic="$perf/big-classic.pdf"
objstm="$perf/big-objstm.pdf"
plain="$perf/big-uncompressed.pdf"

rewrite_rows() {
  row "rewrite big-classic --compress none" "$classic" \
    vordel "$vordel set -q --compress none $classic -o $out/v-classic.pdf" \
    mutool "mutool clean $classic $out/m-classic.pdf" \
    qpdf "qpdf --object-streams=disable $classic $out/q-classic.pdf"
  row "rewrite big-objstm --compress none" "$objstm" \
    vordel "$vordel set -q --compress none $objstm -o $out/v-objstm.pdf" \
    mutool "mutool clean $objstm $out/m-objstm.pdf" \
    qpdf "qpdf --object-streams=disable $objstm $out/q-objstm.pdf"
}

compress_rows() {
  row "compress big-uncompressed" "$plain" \
    vordel "$vordel set -q $plain -o $out/v-plain.pdf" \
    mutool "mutool clean -z $plain $out/m-plain.pdf"
}

# vordel info against qpdf --show-npages: both read what a page count needs.
info_rows() {
  row "vordel info big-classic" "$classic" \
    vordel "$vordel info $classic" \
    qpdf "qpdf --show-npages $classic"
  row "vordel info big-objstm" "$objstm" \
    vordel "$vordel info $objstm" \
    qpdf "qpdf --show-npages $objstm"
}

size_rows() {
  size_row "output size, big-classic rewrite" vordel "$out/v-classic.pdf" mutool "$out/m-classic.pdf" \
    qpdf "$out/q-classic.pdf"
  size_row "output size, big-uncompressed -z" vordel "$out/v-plain.pdf" mutool "$out/m-plain.pdf"
}

# Object streams on output: vordel's generate against qpdf's on both big
# files. A vordel without the option shows n/a.
object_stream_rows() {
  for name in big-classic big-objstm; do
    local f="$perf/$name.pdf"
    rm -f "$out/v-os.pdf" "$out/q-os.pdf"
    "$vordel" set -q --object-streams generate "$f" -o "$out/v-os.pdf" >/dev/null 2>&1 || rm -f "$out/v-os.pdf"
    qpdf --object-streams=generate "$f" "$out/q-os.pdf"
    size_row "object-streams generate, $name" vordel "$out/v-os.pdf" qpdf "$out/q-os.pdf"
  done
}

echo "vordel: $vordel  runs: $runs  files: $perf"
printf '%-38s %-8s | %s | %s\n' work "to best" "medians" "peak memory"
rewrite_rows
compress_rows
info_rows
echo
printf '%-38s %-8s | %s\n' "output" "to best" "bytes"
size_rows
object_stream_rows
