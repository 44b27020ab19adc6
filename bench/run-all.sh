#!/usr/bin/env bash
# All benchmarks, in a release build: BUILD=<build dir> bench/run-all.sh
set -euo pipefail
here=$(dirname "$0")
BUILD=${1:-${BUILD:-build}} "$here/load.sh"
echo
BUILD=${1:-${BUILD:-build}} "$here/save.sh"
echo
BUILD=${1:-${BUILD:-build}} "$here/repair.sh"
echo
BUILD=${1:-${BUILD:-build}} "$here/incremental.sh"
