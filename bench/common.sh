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

# Median seconds of each command (-n NAME COMMAND pairs), one line each. The
# commands take turns, a warm-up round and then `runs` rounds, so that a
# stretch where the shared machine runs slower, or memory another program
# left fragmented, weighs on each of them alike. The files named in
# FRESH_OUTPUTS (separated by spaces) are removed, untimed, before each
# command runs: replacing a file costs the file system the freeing of the
# old one, which depends on the file system and not on the program.
interleaved_medians() {
  FRESH_OUTPUTS=${FRESH_OUTPUTS:-} python3 - "$runs" "$@" <<'PY'
import os, shlex, statistics, subprocess, sys, time
runs, args = int(sys.argv[1]), sys.argv[2:]
names, commands = args[1::3], [shlex.split(c) for c in args[2::3]]
fresh = os.environ["FRESH_OUTPUTS"].split()
times = [[] for _ in commands]
for turn in range(runs + 1):
    for i, command in enumerate(commands):
        for path in fresh:
            if os.path.exists(path):
                os.remove(path)
                os.sync()
        start = time.perf_counter()
        subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        if turn:
            times[i].append(time.perf_counter() - start)
for name, t in zip(names, times):
    print(f"  {name:8} median {statistics.median(t):.3f}s  min {min(t):.3f}s  max {max(t):.3f}s", file=sys.stderr)
for t in times:
    print(statistics.median(t))
PY
}

ratio() { python3 -c "print(f'{$1/$2:.2f}')"; }
