#!/usr/bin/env bash
# Runs the batch recipes of docs/batch.md on this machine over a sample of
# the corpus and checks the joined report: GNU parallel (local, no ssh) with
# --pipe, --files-from -, --report json, --joblog and --resume; and the
# Kubernetes Indexed Job's script, taken from the document, for every index.
# Usage: parallel_batch_test.sh VORDEL CORPUS_DIR DOCS_DIR ($VX_CORPUS_DIR, when
# set, names the corpus instead). Without the corpus it is skipped (exit 77),
# and under CI (CI=true) it fails.
set -euo pipefail
corpus="${VX_CORPUS_DIR:-$2}"
if [[ ! -d "$corpus" ]]; then
  echo "corpus not found at $corpus (set VX_CORPUS_DIR)"
  [[ "${CI:-}" == true ]] && exit 1
  exit 77
fi
vordel="$(realpath "$1")" corpus="$(realpath "$corpus")" docs="$(realpath "$3")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
export PATH="$(dirname "$vordel"):$PATH"   # the recipes call `vordel`
command -v parallel > /dev/null || fail "GNU parallel is not installed"
cd "$work"

# A sample with distinct file names: every 60th corpus file, a file that is
# password-protected and one that does not exist.
find "$corpus" -name '*.pdf' ! -name 'enc-R2,V1,*' | sort | awk -F/ '!seen[$NF]++' | awk 'NR % 60 == 1' > files.txt
echo "$corpus/qpdf-tests/enc-R2,V1,U=view,O=master.pdf" >> files.txt
echo "$work/in/missing.pdf" >> files.txt
[[ -z "$(awk -F/ '{print $NF}' files.txt | sort | uniq -d)" ]] || fail "sample names repeat"
inputs=$(wc -l < files.txt)
chunk=4
mkdir out

# The recipe, as documented, without --sshlogin (this machine only).
run_recipe() {
  parallel --will-cite --pipe -N $chunk -j 2 --joblog batch.log --resume \
    vordel set --files-from - --output-dir out --report json -q -j 1 \
    < files.txt >> report.jsonl
}
run_recipe || true   # failed files make parallel's exit status non-zero

# Checks a joined report against the list; $1 = lines expected.
check_report() {
  python3 - "$1" "$chunk" <<'PY'
import json, os, subprocess, sys
expected_lines, chunk = int(sys.argv[1]), int(sys.argv[2])
names = open("files.txt").read().split("\n")[:-1]
lines = open("report.jsonl").read().split("\n")[:-1]
problems = []
if len(lines) != expected_lines:
    problems.append(f"{len(lines)} report lines, expected {expected_lines}")
last = {}
for line in lines:
    r = json.loads(line)
    missing = {"path", "output", "status", "exit", "message", "pages", "seconds", "warnings"} - r.keys()
    if missing:
        problems.append(f"{r.get('path')}: keys missing: {sorted(missing)}")
    last[r["path"]] = r
if set(last) != set(names):
    problems.append(f"paths differ from the list: {sorted(set(last) ^ set(names))}")
for path, r in last.items():
    if r["status"] == "done":
        if r["exit"] != 0 or not isinstance(r["pages"], int):
            problems.append(f"{path}: done with {r}")
        check = subprocess.run(["qpdf", "--check", r["output"]], capture_output=True)
        if check.returncode not in (0, 3):
            problems.append(f"{r['output']}: qpdf --check failed")
    elif r["status"] == "failed":
        if r["exit"] not in (2, 3, 4) or not r["message"]:
            problems.append(f"{path}: failed with {r}")
    else:
        problems.append(f"{path}: status {r['status']}")
if last[names[-1]]["exit"] != 2 or last[names[-2]]["exit"] != 3:
    problems.append("the missing file or the password-protected one is not reported as such")
# Each chunk of the job log exits with the highest code of its files.
rows = [row.split("\t") for row in open("batch.log").read().split("\n")[1:-1]]
if len(rows) != (len(names) + chunk - 1) // chunk:
    problems.append(f"{len(rows)} chunks in the job log")
for row in rows:
    seq, exitval = int(row[0]), int(row[6])
    files = names[(seq - 1) * chunk: seq * chunk]
    want = max(last[f]["exit"] for f in files)
    if exitval != want:
        problems.append(f"chunk {seq}: job log says {exitval}, its files {want}")
for p in problems:
    print(p)
sys.exit(1 if problems else 0)
PY
}
check_report "$inputs" || fail "report of the first run"
done_count=$(grep -c '"status":"done"' report.jsonl)
((done_count >= 3)) || fail "only $done_count files done"

# --resume with every chunk in the job log runs nothing again.
run_recipe || true
check_report "$inputs" || fail "report after a resume with nothing left"

# A chunk that was running when the batch was interrupted is not in the job
# log: --resume runs it (and only it) again, and its files get a second line.
awk -F'\t' 'NR == 1 || $1 != 1' batch.log > batch.log.new && mv batch.log.new batch.log
run_recipe || true
check_report "$(( inputs + chunk ))" || fail "report after resuming an interrupted batch"

# The Kubernetes Indexed Job: its script from docs/batch.md, run for each index.
python3 - "$docs/batch.md" > job.sh <<'PY'
import re, sys, yaml
text = open(sys.argv[1]).read()
job = yaml.safe_load(re.search(r"```yaml\n(.*?)```", text, re.S).group(1))
container = job["spec"]["template"]["spec"]["containers"][0]
print(container["args"][0])
PY
mkdir -p data/reports data/out
cp files.txt data/files.txt
sed -i "s|/data/|$work/data/|g" job.sh
indexes=$(( (inputs + chunk - 1) / chunk ))
for ((i = 0; i < indexes; i++)); do
  JOB_COMPLETION_INDEX=$i CHUNK=$chunk sh job.sh || fail "index $i of the Indexed Job failed"
done
cat data/reports/part-*.jsonl > joined.jsonl
python3 - <<'PY' || fail "Indexed Job report"
import json
names = open("files.txt").read().split("\n")[:-1]
paths = [json.loads(l)["path"] for l in open("joined.jsonl").read().split("\n")[:-1]]
if sorted(paths) != sorted(names):
    raise SystemExit(f"slices lost or repeated files: {sorted(set(paths) ^ set(names))} / {len(paths)} lines")
PY
[[ -z "$(ls data/reports/*.tmp 2>/dev/null)" ]] || fail "a part was left as .tmp"

echo "batch recipes: $inputs files, $done_count done, joined reports check out"
