#!/usr/bin/env bash
# Drives the bash completion of vordel as bash would on <TAB>, and checks
# what it offers. Usage: completion_test.sh COMPLETION_FILE
set -u
source "$1" || exit 1
failures=0

# offers "WORD..." EXPECTED: completing the words (the last one being typed)
# must offer exactly EXPECTED (sorted, space separated).
offers() {
  local expected="$1"; shift
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _vordel
  local got
  got="$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | tr '\n' ' ' | sed 's/ $//')"
  if [[ "$got" != "$expected" ]]; then
    echo "FAIL: '$*' offered [$got], expected [$expected]"
    failures=$((failures + 1))
  fi
}

offers "--page-layout --page-mode --pages --password" vordel set --pa
offers "info" vordel i
offers "--help --version -h info set" vordel ""
offers "--json" vordel info --js
offers "aes128 aes256" vordel set --encrypt a
offers "fullscreen" vordel set --page-mode = f  # "--page-mode=f": bash splits at "="
offers "maximum" vordel set --level = m
offers "" vordel set --title ""                # free text: nothing to offer
offers "json" vordel set --report ""

# Inputs are PDF files and folders; --output-dir offers folders only.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir "$work/reports" && touch "$work/a.pdf" "$work/B.PDF" "$work/notes.txt"
cd "$work"
offers "B.PDF a.pdf reports" vordel set ""
offers "reports" vordel set --output-dir ""
offers "B.PDF a.pdf notes.txt reports" vordel set --files-from ""

if ((failures)); then exit 1; fi
echo "completion offers what it should"
