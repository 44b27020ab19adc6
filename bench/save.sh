#!/usr/bin/env bash
# Saving: vordel set --compress none against mutool clean and qpdf on the two
# compressed files, and vordel set (Flate, default level) against
# mutool clean -z on the uncompressed one; peak memory against the input size.
source "$(dirname "$0")/common.sh"
ensure_perf_files
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
printf '%-18s %-22s %10s %10s %7s\n' file comparison "vordel s" "other s" ratio
for name in big-classic big-objstm; do
  f="$perf/$name.pdf"
  mapfile -t means < <(hyperfine_means \
    -n vordel "$vordel set -q --compress none $f -o $out/v.pdf" \
    -n mutool "mutool clean $f $out/m.pdf" \
    -n qpdf "qpdf --object-streams=disable $f $out/q.pdf")
  printf '%-18s %-22s %10.3f %10.3f %7s\n' "$name" "vs mutool clean" "${means[0]}" "${means[1]}" "$(ratio "${means[0]}" "${means[1]}")"
  printf '%-18s %-22s %10.3f %10.3f %7s\n' "$name" "vs qpdf" "${means[0]}" "${means[2]}" "$(ratio "${means[0]}" "${means[2]}")"
done
f="$perf/big-uncompressed.pdf"
mapfile -t means < <(hyperfine_means \
  -n vordel "$vordel set -q $f -o $out/v.pdf" \
  -n mutool "mutool clean -z $f $out/m.pdf")
printf '%-18s %-22s %10.3f %10.3f %7s\n' big-uncompressed "vs mutool clean -z" "${means[0]}" "${means[1]}" "$(ratio "${means[0]}" "${means[1]}")"
echo
printf '%-18s %-28s %10s %9s\n' file command "peak MiB" "x size"
for spec in "big-classic|--compress none" "big-objstm|--compress none" "big-uncompressed|"; do
  name=${spec%%|*}
  args=${spec#*|}
  f="$perf/$name.pdf"
  # shellcheck disable=SC2086
  peak=$(peak_kb "$vordel" set -q $args "$f" -o "$out/p.pdf")
  printf '%-18s %-28s %10.1f %9s\n' "$name" "set ${args:-(flate)}" "$(python3 -c "print($peak/1024)")" \
    "$(ratio "$peak*1024" "$(stat -c %s "$f")")"
done
