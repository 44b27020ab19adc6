#!/bin/bash
# Saves every corpus file that qpdf reads with `vordel set --fit-window` and
# judges the output against its source as two other readers (pikepdf and
# pdf.js) see both. Prints one block per file and judge that differ; the last
# line counts them.
#   tests/support/judge-corpus.sh BUILD_DIR [CORPUS_DIR] [OUT_DIR]
set -u
build=${1:?build folder}
corpus=${2:-${VX_CORPUS_DIR:-$(dirname "$0")/../../../shared/corpus}}
out=${3:-$(mktemp -d)}
support=$(dirname "$0")
vordel=$build/cli/vordel
mkdir -p "$out"

source "$(dirname "$0")/corpus-passwords.sh"

read_by_qpdf=0 judged=0 different=0 unreadable=0 not_saved=0
while IFS= read -r -d '' source; do
  name=$(basename "$source")
  pws=$(corpus_passwords "$name")
  qpdf_pw=()
  first=""
  for pw in $pws; do [ -z "$first" ] && first=$pw; done
  [ -n "$first" ] && qpdf_pw=(--password="$first")
  timeout 20 qpdf "${qpdf_pw[@]}" --show-npages "$source" >/dev/null 2>&1
  qpdf_status=$?
  [ $qpdf_status -eq 0 ] || [ $qpdf_status -eq 3 ] || continue
  read_by_qpdf=$((read_by_qpdf + 1))
  target=$out/out.pdf
  rm -f "$target"
  vordel_pw=()
  [ -n "$first" ] && vordel_pw=(--password "$first")
  if ! timeout 60 "$vordel" set --fit-window "${vordel_pw[@]}" "$source" -o "$target" >"$out/vordel.log" 2>&1; then
    not_saved=$((not_saved + 1))
    echo "== $source"
    echo "not saved: $(tail -1 "$out/vordel.log")"
    continue
  fi
  judge_pw=()
  for pw in $pws; do judge_pw+=(--password "$pw"); done
  judged=$((judged + 1))
  # Each reader's judge, and where it finds the setting asked for.
  for judge in pdfjudge.py:/Root/ViewerPreferences/FitWindow pdfjs_judge.py:viewerPreferences/FitWindow; do
    report=$(timeout 120 /usr/bin/python3 "$support/${judge%%:*}" "$source" "$target" "${judge_pw[@]}" \
      --setting "${judge#*:}=true" 2>&1)
    status=$?
    [ $status -eq 0 ] && continue
    [ $status -eq 2 ] && unreadable=$((unreadable + 1)) || different=$((different + 1))
    echo "== $source (${judge%%:*})"
    echo "$report"
  done
done < <(find "$corpus" -name '*.pdf' -type f -print0 | sort -z)
echo "read by qpdf $read_by_qpdf; saved and judged $judged; different $different; unreadable $unreadable" \
  "(counted once per judge: pikepdf and pdf.js); not saved $not_saved"
