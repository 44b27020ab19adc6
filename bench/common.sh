# Shared by the benchmark scripts: where the files and the programs are, and
# how peak memory is measured.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD:-$root/build}
vordel="$build/cli/vordel"
perf=${PERF_DIR:-$root/perf}
runs=${RUNS:-5}

# Builds the large benchmark files once (about 290 MB in all).
ensure_perf_files() {
  if [ ! -f "$perf/big-classic.pdf" ] || [ ! -f "$perf/big-objstm.pdf" ] || [ ! -f "$perf/big-uncompressed.pdf" ]; then
    "$root/../shared/tools/make-perf-files.sh" "$perf" >/dev/null
  fi
}

# Peak resident memory of a command, in kB (median of three runs).
peak_kb() {
  local values=()
  for _ in 1 2 3; do
    values+=("$(/usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1)")
  done
  printf '%s\n' "${values[@]}" | sort -n | sed -n 2p
}

# Mean seconds of each command from one hyperfine run, as "name seconds" lines.
hyperfine_means() {
  local json
  json=$(mktemp)
  hyperfine --warmup 1 --runs "$runs" --export-json "$json" "$@" >&2
  python3 - "$json" <<'PY'
import json, sys
for r in json.load(open(sys.argv[1]))["results"]:
    print(r["mean"])
PY
  rm -f "$json"
}

# Median seconds of each command from one hyperfine run, one line each.
hyperfine_medians() {
  local json
  json=$(mktemp)
  hyperfine --warmup 1 --runs "$runs" --export-json "$json" "$@" >&2
  python3 - "$json" <<'PY'
import json, sys
for r in json.load(open(sys.argv[1]))["results"]:
    print(r["median"])
PY
  rm -f "$json"
}

ratio() { python3 -c "print(f'{$1/$2:.2f}')"; }
