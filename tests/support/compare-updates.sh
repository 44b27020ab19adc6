#!/bin/bash
# Runs two builds of vordel over the corpus with the same settings and
# compares what they write, byte for byte: an update (or a rewrite) made by
# one must be the other's. Used to check that a change in how a file is
# read leaves the bytes written alone. Prints one line per difference (the
# file, the settings, how they differ); the last line counts them.
#   tests/support/compare-updates.sh OLD_VORDEL NEW_VORDEL [CORPUS_DIR] [EVERY]
# EVERY > 1 takes every EVERY-th file only.
set -u
old=${1:?old vordel}
new=${2:?new vordel}
corpus=${3:-${VX_CORPUS_DIR:-$(dirname "$0")/../../../shared/corpus}}
every=${4:-1}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

source "$(dirname "$0")/corpus-passwords.sh"
# The owner's password where there is one (an update keeps the encryption,
# which only the owner may write): the last one given.
password() {
  local all
  read -ra all <<<"$(corpus_passwords "$1")"
  if [ ${#all[@]} -gt 0 ]; then echo "${all[-1]}"; fi
}

settings=(
  "--incremental --title T"
  "--incremental --page-mode outlines"
  "--incremental --transition box-outward --pages 1"
  "--incremental --need-appearances true"
  "--incremental --author A --fit-window --page-layout one-column"
  "--title T"
)

files=0 runs=0 different=0 unrepeatable=0 read_around=0 index=0
while IFS= read -r -d '' source; do
  index=$((index + 1))
  (( (index - 1) % every == 0 )) || continue
  files=$((files + 1))
  name=$(basename "$source")
  pw=$(password "$name")
  for s in "${settings[@]}"; do
    runs=$((runs + 1))
    # shellcheck disable=SC2086
    set -- $s
    [ -n "$pw" ] && set -- "$@" --password "$pw"
    rm -f "$out/old.pdf" "$out/new.pdf"
    timeout 120 "$old" set -q "$@" "$source" -o "$out/old.pdf" >/dev/null 2>"$out/old.err"
    old_rc=$?
    timeout 120 "$new" set -q "$@" "$source" -o "$out/new.pdf" >/dev/null 2>"$out/new.err"
    new_rc=$?
    why=""
    if [ "$old_rc" = 2 ] && [ "$new_rc" = 0 ] && [[ $s == --incremental* ]]; then
      # The old build loaded the whole file and failed on an object the
      # update does not need; the new one reads only what it needs.
      read_around=$((read_around + 1))
      echo "$name [$s]: old build refused the input ($(head -c 120 "$out/old.err" | tr '\n' ' ')), new wrote the update"
    elif [ "$old_rc" != "$new_rc" ]; then
      why="exit $old_rc vs $new_rc: $(head -c 200 "$out/new.err" | tr '\n' ' ')"
    elif [ -f "$out/old.pdf" ] && [ ! -f "$out/new.pdf" ] || [ ! -f "$out/old.pdf" ] && [ -f "$out/new.pdf" ]; then
      why="one wrote an output"
    elif [ -f "$out/old.pdf" ] && ! cmp -s "$out/old.pdf" "$out/new.pdf"; then
      why="bytes differ ($(cmp "$out/old.pdf" "$out/new.pdf" 2>&1 | head -n 1 | sed 's/.* differ: //'))"
      # AES output has random initialisation vectors: where the old build
      # does not repeat its own bytes either, the outputs are compared as
      # qpdf decrypts them (with a fixed /ID).
      timeout 120 "$old" set -q "$@" "$source" -o "$out/again.pdf" >/dev/null 2>&1
      if ! cmp -s "$out/old.pdf" "$out/again.pdf"; then
        unrepeatable=$((unrepeatable + 1))
        why=""
        for side in old new; do
          qpdf --static-id --decrypt --password="$pw" "$out/$side.pdf" "$out/$side.plain.pdf" >/dev/null 2>&1
        done
        cmp -s "$out/old.plain.pdf" "$out/new.plain.pdf" || why="decrypted contents differ (output not repeatable)"
      fi
    fi
    if [ -n "$why" ]; then
      different=$((different + 1))
      echo "$name [$s]: $why"
    fi
  done
done < <(find -L "$corpus" -iname '*.pdf' -type f -print0 | sort -z)
echo "$files files, $runs saves, $different different, $read_around updates where the old build refused the input ($unrepeatable compared decrypted: the old build does not repeat its own bytes)"
[ "$different" -eq 0 ]
