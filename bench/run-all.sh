#!/usr/bin/env bash
# All benchmarks, in a release build: BUILD=<build dir> bench/run-all.sh
# compare.sh gives every row of the speed table against mutool and qpdf;
# load.sh and save.sh remain for looking at one side alone.
set -euo pipefail
here=$(dirname "$0")
BUILD=${1:-${BUILD:-build}} "$here/compare.sh"
echo
BUILD=${1:-${BUILD:-build}} "$here/repair.sh"
echo
BUILD=${1:-${BUILD:-build}} "$here/incremental.sh"
echo
BUILD=${1:-${BUILD:-build}} "$here/xmp.sh"
echo
BUILD=${1:-${BUILD:-build}} "$here/linearize.sh"
