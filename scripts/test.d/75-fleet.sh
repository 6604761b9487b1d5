# The fleet playbook (dist/ansible/quarn-fleet.yml) against this machine as
# its only host: it must refuse to run without named folders, report without
# changing a byte, clean only when asked, and bring every report and exit
# status back, with status 1 (infected files found) not taken for a failure.
set -euo pipefail
jobs=${QUARN_JOBS:-2}

# The same build folder and options as the native stage, so neither
# rebuilds the other's work.
cmake -S . -B build/native -G Ninja -DQUARN_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARN_TESTS=ON \
  -DQUARN_BENCH=ON >/dev/null
cmake --build build/native -j "$jobs" --target quarn-scan quarn-sample-tree
scan=$PWD/build/native/src/cli/quarn-scan

work=$(mktemp -d /tmp/quarn-fleet.XXXXXX)
trap 'rm -rf "$work"' EXIT
# Ansible keeps its own files under the work folder, never in $HOME.
export ANSIBLE_LOCAL_TEMP=$work/ansible-local ANSIBLE_REMOTE_TEMP=$work/ansible-remote
export ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_HOST_KEY_CHECKING=0
printf 'localhost ansible_connection=local ansible_python_interpreter=/usr/bin/python3\n' >"$work/hosts"

fail() { echo "75-fleet: $*" >&2; exit 1; }

# Runs the playbook with the JSON extra variables $1; leaves its exit status
# in $status and its output in $work/play.log.
play() {
  set +e
  ansible-playbook -i "$work/hosts" -c local dist/ansible/quarn-fleet.yml -e "$1" >"$work/play.log" 2>&1
  status=$?
  set -e
}

# Every regular file below a folder with its checksum, to compare before
# and after a run.
fingerprint() { (cd "$1" && find . -type f -print0 | sort -z | xargs -0 sha256sum); }

# 1. No folders named: a clear refusal before anything is copied or run.
play "{\"quarn_scan_binary\": \"$scan\", \"quarn_reports_dir\": \"$work/r0\"}"
[ "$status" -ne 0 ] || fail "the playbook ran without quarn_paths"
grep -q 'Name the folders to scan' "$work/play.log" || { cat "$work/play.log"; fail "no clear message without quarn_paths"; }
[ ! -e "$work/r0" ] || fail "reports were collected without quarn_paths"

# 2. A report of the sample tree changes nothing. The tree holds a program
# that cannot be restored, so quarn-scan ends with status 2 and the host
# fails, but only after its report has been fetched.
build/native/tools/quarn-sample-tree "$work/disk" >/dev/null
before=$(fingerprint "$work/disk")
play "{\"quarn_scan_binary\": \"$scan\", \"quarn_paths\": [\"$work/disk\"], \"quarn_reports_dir\": \"$work/r1\"}"
[ "$status" -eq 2 ] || { cat "$work/play.log"; fail "a report with a scan error ended with $status, not 2"; }
grep -q 'quarn-scan ended with status 2 in the report;' "$work/play.log" || { cat "$work/play.log"; fail "the host failed for another reason"; }
[ "$(fingerprint "$work/disk")" = "$before" ] || fail "the report changed the sample tree"
[ ! -e "$work/r1/localhost/clean.jsonl" ] || fail "a cleaning run happened without quarn_clean"

# 3. The cleaning run, on request: the report first (still unchanged), then
# the remedies, each of which must be on disk.
play "{\"quarn_scan_binary\": \"$scan\", \"quarn_paths\": [\"$work/disk\"], \"quarn_reports_dir\": \"$work/r2\",
       \"quarn_clean\": true}"
[ "$status" -eq 2 ] || { cat "$work/play.log"; fail "a cleaning run with a scan error ended with $status, not 2"; }

# 4. Status 1 alone is a success: one infected mail file.
mkdir -p "$work/mail"
printf 'From: a@example.invalid\r\n\r\nHi.\r\n' >"$work/mail/m.eml"
play "{\"quarn_scan_binary\": \"$scan\", \"quarn_paths\": [\"$work/mail\"], \"quarn_reports_dir\": \"$work/r3\"}"
[ "$status" -eq 0 ] || { cat "$work/play.log"; fail "status 1 (infected found) failed the play ($status)"; }

/usr/bin/python3 - "$work" <<'PYTHON'
import json, os, sys

work = sys.argv[1]
failures = []

def read_lines(path):
    with open(path, encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]

def check_report(path, report_only, infected):
    objects = read_lines(path)
    if not objects or objects[-1]["type"] != "summary":
        failures.append(f"{path}: no summary at the end")
        return []
    files = objects[:-1]
    if any(o["type"] != "file" or o["report_only"] != report_only for o in files):
        failures.append(f"{path}: a file object is wrong")
    if objects[-1]["files_infected"] != infected or len(files) != infected:
        failures.append(f"{path}: {len(files)} files, summary {objects[-1]['files_infected']}, expected {infected}")
    return files

def status(run):
    with open(os.path.join(work, run, "localhost", "status.json"), encoding="utf-8") as f:
        return json.load(f)

disk = os.path.join(work, "disk")
# The sample tree: 10 to clean, 8 to delete, 5 matched but kept (one of
# them the program that cannot be restored).
check_report(os.path.join(work, "r1/localhost/report.jsonl"), True, 23)
if status("r1") != {"host": "localhost", "paths": [disk], "report": 2, "clean": None}:
    failures.append(f"r1 status: {status('r1')}")

check_report(os.path.join(work, "r2/localhost/report.jsonl"), True, 23)
cleaned = check_report(os.path.join(work, "r2/localhost/clean.jsonl"), False, 23)
if status("r2")["report"] != 2 or status("r2")["clean"] != 2:
    failures.append(f"r2 status: {status('r2')}")
signatures = [b"Concept Virus", b'<html><script language="JavaScript">window.open']
for o in cleaned:
    if o["status"] == "deleted" and os.path.exists(o["path"]):
        failures.append(f"still there after deletion: {o['path']}")
    if o["status"] == "cleaned":
        with open(o["path"], "rb") as f:
            data = f.read()
        if any(s in data for s in signatures):
            failures.append(f"still infected after cleaning: {o['path']}")
if sorted(o["status"] for o in cleaned).count("cleaned") != 10:
    failures.append("the cleaning run did not clean 10 files")

mail = check_report(os.path.join(work, "r3/localhost/report.jsonl"), True, 1)
if status("r3")["report"] != 1 or not mail or not os.path.exists(mail[0]["path"]):
    failures.append(f"r3: status {status('r3')}, or the mail file went in a report")

for failure in failures:
    print(f"75-fleet: {failure}", file=sys.stderr)
sys.exit(1 if failures else 0)
PYTHON
echo "75-fleet: the playbook refused no folders, reported, cleaned on request and collected every report"
