#!/usr/bin/env python3
"""Runs the real quarn-scan on a real infected tree under one kind of fault,
as often as asked, and checks after every run that nothing was lost.

    harness.py --scan BUILD/src/cli/quarn-scan --sample BUILD/tools/quarn-sample-tree
               --fault kill --runs 30 [--copies 10] [--jobs N] [--work DIR]

Faults: kill (SIGKILL at a random moment, then a complete scan), kill-undo
(a run with --backup killed at a random moment, then --undo of its folder:
every file exactly as before the run, mode and time included, and nothing
new but a killed restore's temporary file; a kill before the manifest
exists leaves an undo that cannot read it, which may fail, but then no
file may have changed), full-disk
(a small tmpfs that fills up during the restores; root), full-backup
(--backup into a small tmpfs that fills up; root), read-only (a
read-only bind mount below the PATH, and as the PATH itself, which is
refused unless --report-only; root), eio (reads of one folder fail, through the
fault library), churn (another process appends to, truncates and replaces
files while they are scanned), crowd (one folder of thousands of copies of
one infected program, cleaned with many jobs: every copy restored, no error,
nothing left), rivals (two scans of such a folder at once: clean, nothing
left), none (a plain run: the checker's own check).

The one invariant checker: every file that was in the tree is afterwards
either exactly as it was or exactly as a complete, undisturbed scan leaves
it; a file that such a scan keeps is never missing; nothing new is left
but a restore's own temporary files (and after a complete scan, not even
those); the counters add up. Exits 1 on the first broken run, printing
what broke.
"""
import argparse
import json
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

RESTORE_STEM = ".quarn-restore-"


def snapshot(root):
    """Every regular file below root, by its path relative to root, with its bytes."""
    files = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            if os.path.isfile(path) and not os.path.islink(path):
                with open(path, "rb") as f:
                    files[os.path.relpath(path, root)] = f.read()
    return files


class Failure(Exception):
    pass


def scan(args, root, extra=(), env=None, faults=None):
    """Runs quarn-scan on root with --json; returns (status, summary, stderr)."""
    command = [args.scan, "--json", *extra]
    if args.jobs:
        command += ["--jobs", str(args.jobs)]
    command.append(root)
    environment = dict(os.environ, **(env or {}))
    if faults:
        environment["LD_PRELOAD"] = args.fault_library
        environment["QUARN_FAULTS"] = faults
    run = subprocess.run(command, capture_output=True, env=environment, timeout=args.timeout)
    summary = None
    for line in run.stdout.decode("utf-8", "replace").splitlines():
        record = json.loads(line)
        if record.get("type") == "summary":
            summary = record
    return run.returncode, summary, run.stderr.decode("utf-8", "replace")


def check_counters(summary, where):
    if summary is None:
        raise Failure(f"{where}: no summary")
    if summary["files_cleaned"] + summary["files_deleted"] > summary["files_infected"]:
        raise Failure(f"{where}: more files cleaned and deleted than infected: {summary}")


def check_states(before, final, after, where, allow_leftovers):
    """Each file as it was or as a complete scan leaves it; nothing else."""
    for path, original in before.items():
        now = after.get(path)
        done = final.get(path)
        if now is None:
            if done is not None:
                raise Failure(f"{where}: {path} is gone, but a complete scan keeps it")
        elif now != original and now != done:
            raise Failure(f"{where}: {path} is neither as it was nor as a complete scan leaves it "
                          f"({len(now)} bytes; was {len(original)}, ends as {len(done or b'')})")
    for path in after:
        if path in before:
            continue
        if allow_leftovers and os.path.basename(path).startswith(RESTORE_STEM):
            continue
        raise Failure(f"{where}: {path} is new")


class Fixture:
    """The pristine tree, and the tree that one complete scan of it leaves."""

    def __init__(self, args):
        self.work = args.work
        self.pristine = os.path.join(self.work, "pristine")
        subprocess.run([args.sample, "--copies", str(args.copies), "--big-host", str(args.big_host),
                        self.pristine], check=True, stdout=subprocess.DEVNULL)
        self.before = snapshot(self.pristine)
        reference = self.fresh_copy("reference")
        started = time.monotonic()
        status, summary, err = scan(args, reference)
        self.seconds = time.monotonic() - started
        check_counters(summary, "reference")
        self.final = snapshot(reference)
        self.reference_status = status
        self.reference_summary = summary
        shutil.rmtree(reference)

    def fresh_copy(self, name, into=None):
        target = os.path.join(into or self.work, name)
        if os.path.exists(target):
            shutil.rmtree(target)
        shutil.copytree(self.pristine, target, symlinks=True)
        return target


def kill_at_random(args, extra, tree, latest):
    """Runs quarn-scan on tree and sends it SIGKILL at a moment drawn evenly
    from 0 to latest seconds; returns its exit status (-9 when killed)."""
    command = [args.scan, "--quiet", "--no-summary", *extra, tree]
    if args.jobs:
        command[1:1] = ["--jobs", str(args.jobs)]
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(random.uniform(0, latest))
    process.send_signal(signal.SIGKILL)
    return process.wait()


def run_kill(args, fixture, number):
    tree = fixture.fresh_copy("run")
    # A little past a complete run's length, so that some runs end first.
    kill_at_random(args, [], tree, fixture.seconds * 1.2)
    check_states(fixture.before, fixture.final, snapshot(tree), f"kill {number}", allow_leftovers=True)
    # A later, complete scan finishes the job and removes its own leftovers.
    status, summary, err = scan(args, tree)
    check_counters(summary, f"kill {number}, second scan")
    after = snapshot(tree)
    if after != fixture.final:
        extra = sorted(set(after) ^ set(fixture.final))
        changed = sorted(p for p in set(after) & set(fixture.final) if after[p] != fixture.final[p])
        raise Failure(f"kill {number}: the second scan did not end as a complete one: "
                      f"differing names {extra[:5]}, differing bytes {changed[:5]}")
    shutil.rmtree(tree)


def attributes(root, paths):
    """The mode and modification time of each of paths below root that is there."""
    found = {}
    for path in paths:
        try:
            status = os.lstat(os.path.join(root, path))
        except FileNotFoundError:
            continue
        found[path] = (status.st_mode, status.st_mtime_ns)
    return found


def undo(args, store):
    """Runs quarn-scan --undo store; returns (status, stderr)."""
    run = subprocess.run([args.scan, "--quiet", "--no-summary", "--undo", store], capture_output=True,
                         timeout=args.timeout)
    return run.returncode, run.stderr.decode("utf-8", "replace").strip()


def moment_of(store, status):
    """Where in the run a kill landed, read from the manifest it left: an
    intent without its outcome is a remedy cut short."""
    if status != -signal.SIGKILL:
        return "after the end"
    try:
        with open(os.path.join(store, "manifest.jsonl"), "rb") as f:
            lines = f.read().split(b"\n")[:-1]
    except FileNotFoundError:
        return "before the manifest"
    records = [json.loads(line) for line in lines]
    if not records:
        return "before the run's line"
    intents = {r["record"] for r in records if r["type"] == "intent"}
    outcomes = {r["record"] for r in records if r["type"] == "outcome"}
    return "mid-remedy" if intents - outcomes else "between remedies"


def fresh_synced_copy(fixture):
    """A fresh copy of the tree, on the disk: a run with --backup flushes
    its records, and the first flush would otherwise also carry whatever
    was written before it, so that runs would last longer or shorter by
    chance."""
    tree = fixture.fresh_copy("run")
    os.sync()
    return tree


def backup_seconds(args, fixture):
    """How long a complete --backup run takes, the shortest of three; the
    undo of each, which must put every file back, checks the checker."""
    if getattr(fixture, "backup_seconds", None) is None:
        times = []
        for _ in range(3):
            tree = fresh_synced_copy(fixture)
            store = os.path.join(fixture.work, "undo-store")
            shutil.rmtree(store, ignore_errors=True)
            started = time.monotonic()
            scan(args, tree, extra=["--backup", store])
            times.append(time.monotonic() - started)
            status, err = undo(args, store)
            if status != 0 or snapshot(tree) != fixture.before:
                raise Failure(f"kill-undo: the undo of a complete run did not put every file back: "
                              f"status {status}, {err[:500]}")
        fixture.backup_seconds = min(times)
        fixture.moments = {}
    return fixture.backup_seconds


def run_kill_undo(args, fixture, number):
    """--backup killed at a random moment, then --undo: every record is put
    back or needs nothing, and every file is as it was, with its mode and
    time. A kill before the manifest exists leaves nothing to undo: the
    tree must then be untouched, and the undo, which finds no manifest to
    read, may fail; once the manifest is there, it must succeed."""
    seconds = backup_seconds(args, fixture)
    tree = fresh_synced_copy(fixture)
    store = os.path.join(fixture.work, "undo-store")
    shutil.rmtree(store, ignore_errors=True)
    modes = attributes(tree, fixture.before)
    where = f"kill-undo {number}"
    # Most kills fall anywhere in the run, as kill's do; one in ten falls in
    # its first fiftieth, where the folder and the manifest are made.
    latest = seconds / 50 if number % 10 == 1 else seconds * 1.2
    killed_status = kill_at_random(args, ["--backup", store], tree, latest)
    moment = moment_of(store, killed_status)
    fixture.moments[moment] = fixture.moments.get(moment, 0) + 1
    killed = snapshot(tree)
    check_states(fixture.before, fixture.final, killed, f"{where} ({moment})", allow_leftovers=True)
    status, err = undo(args, store)
    after = snapshot(tree)
    if status != 0 and (os.path.exists(os.path.join(store, "manifest.jsonl")) or killed != fixture.before):
        raise Failure(f"{where} ({moment}): the undo exited {status}: {err[:500]}")
    for path, original in fixture.before.items():
        if after.get(path) != original:
            state = "gone" if path not in after else f"{len(after[path])} bytes, was {len(original)}"
            raise Failure(f"{where} ({moment}): after the undo {path} is not as it was ({state})")
    # A restore cut short by the kill may leave its temporary file, which
    # the next scan removes; the undo itself leaves none.
    new = [p for p in after if p not in fixture.before and p not in killed]
    if new:
        raise Failure(f"{where} ({moment}): the undo left {new[:5]}")
    changed = [p for p, was in modes.items() if attributes(tree, [p]).get(p) != was]
    if changed:
        raise Failure(f"{where} ({moment}): after the undo {changed[:5]} differ in mode or modification time")
    shutil.rmtree(tree)


def mounted(kind, target, options):
    return subprocess.run(["mount", "-t", kind, "-o", options, kind, target],
                          stderr=subprocess.DEVNULL).returncode == 0


def run_full_disk(args, fixture, number):
    # Just room for the tree and a little more: the restores' temporary
    # copies run out of space part of the way through.
    size = sum(len(b) for b in fixture.before.values())
    mount = os.path.join(fixture.work, "disk")
    os.makedirs(mount, exist_ok=True)
    headroom = random.randint(16, 96) * 1024
    if not mounted("tmpfs", mount, f"size={size + len(fixture.before) * 4096 + headroom}"):
        raise Failure("mounting a tmpfs failed (root only)")
    try:
        tree = fixture.fresh_copy("tree", into=mount)
        status, summary, err = scan(args, tree)
        check_counters(summary, f"full disk {number}")
        after = snapshot(tree)
        check_states(fixture.before, fixture.final, after, f"full disk {number}", allow_leftovers=False)
        # Every remedy that did not happen must have been counted.
        undone = [p for p, b in fixture.before.items() if after.get(p) == b and fixture.final.get(p) != b]
        if len(undone) > summary["scan_errors"]:
            raise Failure(f"full disk {number}: {len(undone)} remedies undone, {summary['scan_errors']} errors")
    finally:
        subprocess.run(["umount", "-l", mount])


def run_full_backup(args, fixture, number):
    """--backup into a folder that fills up: no remedy runs on a file whose
    copy failed, and every file that changed has its whole copy."""
    tree = fixture.fresh_copy("run")
    store = os.path.join(fixture.work, "store")
    os.makedirs(store, exist_ok=True)
    size = sum(len(b) for b in fixture.before.values())
    if not mounted("tmpfs", store, f"size={random.randint(size // 4, size // 2)}"):
        raise Failure("mounting a tmpfs failed (root only)")
    try:
        status, summary, err = scan(args, tree, extra=["--backup", store])
        check_counters(summary, f"full backup {number}")
        after = snapshot(tree)
        check_states(fixture.before, fixture.final, after, f"full backup {number}", allow_leftovers=False)
        copies = snapshot(store)
        for path, original in fixture.before.items():
            if after.get(path) == original:
                continue
            copy = os.path.relpath(os.path.join(tree, path), "/")
            if copies.get(copy) != original:
                raise Failure(f"full backup {number}: {path} changed without a whole copy in the store")
        undone = [p for p, b in fixture.before.items() if after.get(p) == b and fixture.final.get(p) != b]
        if not undone or len(undone) > summary["scan_errors"]:
            raise Failure(f"full backup {number}: {len(undone)} remedies undone, {summary['scan_errors']} errors")
    finally:
        subprocess.run(["umount", "-l", store])
    shutil.rmtree(tree)


def run_read_only(args, fixture, number):
    # The tree lies read-only below a writable folder, so that the scan of
    # the folder starts and meets the read-only files one by one; named as a
    # PATH itself, the read-only tree is refused before any file is read,
    # unless the scan only reports.
    tree = fixture.fresh_copy("run")
    outer = tree + "-outer"
    mounted = os.path.join(outer, "tree")
    os.makedirs(mounted)
    if subprocess.run(["mount", "--bind", "-o", "ro", tree, mounted], stderr=subprocess.DEVNULL).returncode != 0:
        raise Failure("a read-only bind mount failed (root only)")
    try:
        status, summary, err = scan(args, outer)
        refused_status, refused_summary, refused_err = scan(args, mounted)
        preview_status, preview_summary, _ = scan(args, mounted, ["--report-only"])
    finally:
        subprocess.run(["umount", "-l", mounted])
    check_counters(summary, f"read-only {number}")
    if snapshot(tree) != fixture.before:
        raise Failure(f"read-only {number}: a file changed on a read-only mount")
    # Every remedy that would change a file fails; the ones that would keep
    # one change nothing and are no errors.
    reference = fixture.reference_summary
    changes = reference["files_cleaned"] + reference["files_deleted"] + reference["scan_errors"]
    if status != 2 or summary["scan_errors"] != changes:
        raise Failure(f"read-only {number}: every remedy must be a scan error: status {status}, {summary}")
    if refused_status != 2 or refused_summary is not None or "is mounted read-only" not in refused_err:
        raise Failure(f"read-only {number}: a read-only PATH must be refused at once: {refused_status}, {refused_err}")
    if preview_summary is None or preview_summary["files_scanned"] != reference["files_scanned"]:
        raise Failure(f"read-only {number}: --report-only must still look: {preview_status}, {preview_summary}")
    shutil.rmtree(outer)
    shutil.rmtree(tree)


def run_eio(args, fixture, number):
    tree = fixture.fresh_copy("run")
    sets = sorted(d for d in os.listdir(tree) if d.startswith("set-"))
    broken = random.choice(sets)
    status, summary, err = scan(args, tree, faults=f"read:EIO:/{broken}/")
    check_counters(summary, f"eio {number}")
    after = snapshot(tree)
    for path, original in fixture.before.items():
        expected = original if path.startswith(broken + os.sep) else fixture.final.get(path)
        if after.get(path) != expected:
            raise Failure(f"eio {number}: {path} is not as expected (reads failed in {broken})")
    # Every copy of the sample holds the same files: the broken copy's
    # claimed files turn from scanned into scan errors, and its remedies'
    # own errors do not happen.
    reference = fixture.reference_summary
    per_copy_scanned = reference["files_scanned"] // args.copies
    per_copy_errors = reference["scan_errors"] // args.copies
    if (status != 2 or summary["files_scanned"] != reference["files_scanned"] - per_copy_scanned or
            summary["scan_errors"] != reference["scan_errors"] - per_copy_errors + per_copy_scanned):
        raise Failure(f"eio {number}: unreadable files must be scan errors: status {status}, {summary}")
    shutil.rmtree(tree)


def run_churn(args, fixture, number):
    tree = fixture.fresh_copy("run")
    stop = threading.Event()
    names = sorted(fixture.before)

    def churn():
        spare = os.path.join(fixture.work, "spare")
        while not stop.is_set():
            path = os.path.join(tree, random.choice(names))
            try:
                action = random.randrange(3)
                if action == 0:
                    with open(path, "ab") as f:
                        f.write(os.urandom(random.randint(1, 70000)))
                elif action == 1:
                    os.truncate(path, random.randint(0, max(0, os.path.getsize(path) - 1)))
                else:
                    with open(spare, "wb") as f:
                        f.write(fixture.before[os.path.relpath(path, tree)])
                    os.replace(spare, path)
            except OSError:
                pass

    worker = threading.Thread(target=churn)
    worker.start()
    try:
        status, summary, err = scan(args, tree)
    finally:
        stop.set()
        worker.join()
    check_counters(summary, f"churn {number}")
    if status not in (0, 1, 2):
        raise Failure(f"churn {number}: status {status} (a crash?)\n{err}")
    regular = len(fixture.before)
    if summary["files_scanned"] + summary["files_skipped"] > regular:
        raise Failure(f"churn {number}: more files scanned and skipped than there are: {summary}")
    if summary["files_cleaned"] + summary["files_deleted"] + summary["scan_errors"] > summary["files_infected"]:
        raise Failure(f"churn {number}: cleaned, deleted and errors exceed the infected: {summary}")
    shutil.rmtree(tree)


def peak_rss_kib(command):
    """Runs command to its end; returns its status, its JSON summary and its peak RSS in KiB."""
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    out = process.stdout.read()
    _, status, usage = os.wait4(process.pid, 0)
    process.returncode = os.waitstatus_to_exitcode(status)
    summary = next((json.loads(l) for l in out.decode().splitlines() if '"summary"' in l), None)
    return process.returncode, summary, usage.ru_maxrss


def run_load(args, fixture, number):
    """A tree of --files small files in folders of 1,000, and one folder of
    --wide entries: the scan finishes, counts them all, and its memory does
    not grow with them."""
    tree = os.path.join(args.work, "load")
    if not os.path.isdir(tree):
        for i in range(args.files):
            folder = os.path.join(tree, "many", f"d{i // 1000:04d}")
            if i % 1000 == 0:
                os.makedirs(folder)
            with open(os.path.join(folder, f"f{i}.htm"), "wb") as f:
                f.write(b"<html>x</html>")
        wide = os.path.join(tree, "wide")
        os.makedirs(wide)
        for i in range(args.wide):
            with open(os.path.join(wide, f"w{i}.txt"), "wb") as f:
                f.write(b"x")
    status, summary, rss = peak_rss_kib([args.scan, "--json", "--quiet", tree])
    if status != 0 or summary["files_scanned"] != args.files or summary["files_skipped"] != args.wide:
        raise Failure(f"load {number}: status {status}, {summary}")
    print(f"faults: load: {args.files} small files and a folder of {args.wide}: peak RSS {rss} KiB")


def run_huge(args, fixture, number):
    """A 10 GiB sparse infected program and a 10 GiB page are remedied right."""
    tree = os.path.join(args.work, "huge")
    os.makedirs(tree, exist_ok=True)
    size = 10 << 30
    program = os.path.join(tree, "big.exe")
    page = os.path.join(tree, "big.htm")
    sample = snapshot(fixture.pristine)
    infected = next(p for p in sample if p.endswith(os.path.join("Calc", "calc.exe")))
    host = fixture.final[infected]
    with open(program, "wb") as f:
        f.write(sample[infected])
    os.truncate(program, size)
    cut = next(p for p in sample if p.endswith(os.path.join("site", "index.htm")))
    with open(page, "wb") as f:
        f.seek(size)
        f.write(sample[cut])
    status, summary, err = scan(args, tree)
    with open(program, "rb") as f:
        restored = f.read(len(host) + 1)
    if restored != host or os.path.getsize(page) != size + len(fixture.final[cut]):
        raise Failure(f"huge {number}: the 10 GiB files were not remedied right: {summary}")
    with open(page, "rb") as f:
        f.seek(size)
        if f.read() != fixture.final[cut]:
            raise Failure(f"huge {number}: the 10 GiB page was cut in the wrong place")
    shutil.rmtree(tree)


def crowd_of(args, fixture):
    """A folder of --crowd copies of one infected program, side by side, and
    the host that each must end as."""
    sample = snapshot(fixture.pristine)
    infected = next(p for p in sample if p.endswith(os.path.join("Calc", "calc.exe")))
    tree = os.path.join(args.work, "crowd")
    if os.path.exists(tree):
        shutil.rmtree(tree)
    os.makedirs(tree)
    for i in range(args.crowd):
        with open(os.path.join(tree, f"p{i:05d}.exe"), "wb") as f:
            f.write(sample[infected])
    return tree, fixture.final[infected]


def bytes_of(path):
    with open(path, "rb") as f:
        return f.read()


def check_crowd(tree, host, where):
    names = os.listdir(tree)
    left = [n for n in names if not n.endswith(".exe")]
    if left:
        raise Failure(f"{where}: left behind: {left[:5]}")
    wrong = [n for n in names if bytes_of(os.path.join(tree, n)) != host]
    if wrong or len(names) == 0:
        raise Failure(f"{where}: {len(wrong)} of {len(names)} copies were not restored, e.g. {wrong[:5]}")


def run_crowd(args, fixture, number):
    """Every copy in a crowded folder is restored by one scan with many
    jobs, with no scan error, no file counted twice and nothing left."""
    tree, host = crowd_of(args, fixture)
    status, summary, err = scan(args, tree)
    check_crowd(tree, host, f"crowd {number}")
    wanted = {"files_scanned": args.crowd, "files_cleaned": args.crowd, "files_skipped": 0, "scan_errors": 0}
    got = {key: summary.get(key) for key in wanted} if summary else None
    if status != 1 or got != wanted:
        raise Failure(f"crowd {number}: status {status}, {got} instead of {wanted}; {err.strip()[:300]}")
    shutil.rmtree(tree)


def run_rivals(args, fixture, number):
    """Two scans started on the same crowded folder at once leave it clean
    and leave nothing behind."""
    tree, host = crowd_of(args, fixture)
    command = [args.scan, "--quiet", "--no-summary", tree]
    if args.jobs:
        command[1:1] = ["--jobs", str(args.jobs)]
    rivals = [subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL) for _ in range(2)]
    for rival in rivals:
        rival.wait(timeout=args.timeout)
    check_crowd(tree, host, f"rivals {number}")
    shutil.rmtree(tree)


def run_none(args, fixture, number):
    tree = fixture.fresh_copy("run")
    scan(args, tree)
    if snapshot(tree) != fixture.final:
        raise Failure(f"plain run {number}: not the same as the reference run")
    shutil.rmtree(tree)


RUNS = {"kill": run_kill, "kill-undo": run_kill_undo, "full-disk": run_full_disk, "full-backup": run_full_backup,
        "read-only": run_read_only, "eio": run_eio, "churn": run_churn, "load": run_load, "huge": run_huge, "crowd": run_crowd, "rivals": run_rivals,
        "none": run_none}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--scan", required=True, help="the quarn-scan binary")
    parser.add_argument("--sample", required=True, help="the quarn-sample-tree binary")
    parser.add_argument("--fault-library", help="libquarn_fault.so (for --fault eio)")
    parser.add_argument("--fault", choices=sorted(RUNS), required=True)
    parser.add_argument("--runs", type=int, default=1)
    parser.add_argument("--copies", type=int, default=10, help="copies of the 32-file sample tree")
    parser.add_argument("--big-host", type=int, default=4000000,
                        help="bytes of the big program's host: big enough that a restore can be cut short")
    parser.add_argument("--jobs", type=int, default=0, help="pass --jobs N to quarn-scan (0: its default)")
    parser.add_argument("--files", type=int, default=10000, help="small files for --fault load")
    parser.add_argument("--wide", type=int, default=200000, help="entries of the one wide folder for --fault load")
    parser.add_argument("--crowd", type=int, default=3000, help="copies in the one folder of --fault crowd and rivals")
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--timeout", type=float, default=600)
    parser.add_argument("--work", help="a folder to work in (default: a new temporary one)")
    args = parser.parse_args()

    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    random.seed(seed)
    made_work = args.work is None
    args.work = args.work or tempfile.mkdtemp(prefix="quarn-faults.")
    os.makedirs(args.work, exist_ok=True)
    try:
        fixture = Fixture(args)
        for number in range(1, args.runs + 1):
            RUNS[args.fault](args, fixture, number)
        jobs = f"--jobs {args.jobs}" if args.jobs else "default jobs"
        print(f"faults: {args.fault} ({jobs}): {args.runs} runs, {len(fixture.before)} files checked each, "
              f"0 lost (seed {seed})")
        if getattr(fixture, "moments", None):
            print("faults: kills landed " + ", ".join(f"{n} {m}" for m, n in sorted(fixture.moments.items())))
        return 0
    except Failure as failure:
        print(f"faults: {args.fault}: FAILED (seed {seed}): {failure}", file=sys.stderr)
        return 1
    finally:
        if made_work:
            shutil.rmtree(args.work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
