#!/usr/bin/env bash
# Installs the build into a fresh temporary prefix and uses it as a user and
# as another project would: the programs, the man pages, the completion, the
# help page, and the library through CMake and through pkg-config.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build="$(realpath "$1")" source="$(realpath "$2")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" > "$work/install.log" || { cat "$work/install.log"; fail "install"; }

"$prefix/bin/vordel" --version | grep -q "2.01" || fail "vordel --version"

# man finds the pages of the prefix and renders them.
page="$(MANPATH="$prefix/share/man" MANWIDTH=80 man -P cat vordel 2>&1)" || fail "man vordel: $page"
grep -q "vordel - show and change the document-level settings" <<<"$page" || fail "man vordel shows: $page"
grep -q -- "--report" <<<"$page" || fail "man vordel has no --report"

# <TAB> after "vordel set --pa" in a shell that loaded the installed completion.
offered="$(bash -c 'source "$1"; COMP_WORDS=(vordel set --pa); COMP_CWORD=2; _vordel; echo "${COMPREPLY[*]}"' _ \
  "$prefix/share/bash-completion/completions/vordel")"
[[ "$offered" == "--page-mode --page-layout --pages --password" ]] || fail "completion offered: $offered"

if [[ -x "$prefix/bin/vordel-pdf" ]]; then
  MANPATH="$prefix/share/man" man -P cat vordel-pdf 2>&1 | grep -q "vordel-pdf - change" || fail "man vordel-pdf"
  # The installed window finds its help page in the prefix's share folder.
  help="$(env -u DISPLAY "$prefix/bin/vordel-pdf" --help)"
  grep -qx "Help page: $prefix/share/vordel-pdf/help.html" <<<"$help" || fail "vordel-pdf --help says: $help"
fi

# Every installed header compiles with only the installed tree to include
# from: none of them reaches a private one.
(cd "$prefix/include/vxpdf" && find pdf -name '*.h' | sort | sed 's/.*/#include <&>/') > "$work/all-headers.cpp"
c++ -std=c++20 -fsyntax-only -I"$prefix/include/vxpdf" "$work/all-headers.cpp" || fail "installed headers"

# The consumer example, copied away from the source tree, through CMake.
cp -r "$source/examples/consumer" "$work/consumer"
cmake -S "$work/consumer" -B "$work/consumer/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" > "$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; fail "consumer configure"; }
cmake --build "$work/consumer/build" >> "$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; fail "consumer build"; }

input="$source/examples/sample.pdf"
title="Quarterly report – Ü ✓"
"$work/consumer/build/set-title" "$input" "$work/out.pdf" "$title" || fail "set-title"
qpdf --check "$work/out.pdf" > /dev/null || fail "qpdf --check of the consumer's output"
[[ "$(pdfinfo "$work/out.pdf" | sed -n 's/^Title: *//p')" == "$title" ]] || fail "title as pdfinfo reads it"
[[ "$(pdfinfo "$work/out.pdf" | sed -n 's/^Pages: *//p')" == "$(pdfinfo "$input" | sed -n 's/^Pages: *//p')" ]] \
  || fail "page count"

# The same program through pkg-config.
export PKG_CONFIG_PATH="$(dirname "$(find "$prefix" -name vxpdf.pc)")"
c++ -std=c++20 -o "$work/set-title-pc" "$work/consumer/set-title.cpp" $(pkg-config --cflags --libs vxpdf) \
  || fail "build with pkg-config"
"$work/set-title-pc" "$input" "$work/out2.pdf" "pkg-config" > /dev/null || fail "set-title (pkg-config)"
[[ "$(pdfinfo "$work/out2.pdf" | sed -n 's/^Title: *//p')" == "pkg-config" ]] || fail "title (pkg-config)"

echo "installed prefix works"
