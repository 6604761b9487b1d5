#!/usr/bin/env python3
"""Times commands in interleaved rounds with the page cache dropped before
every run, and prints JSON.

Usage: cold_rounds.py [--warm] --runs N LABEL=COMMAND ...

Each round runs every command once, in turn, so a burst of load from
elsewhere falls on all of them alike. Before each run the page cache,
dentries and inodes are dropped (root only), so every command reads from
the device; with --warm nothing is dropped and one untimed round fills the
cache first. Commands are split like a shell would and run without one
(wrap a pipeline in sh -c). Prints {LABEL: {"median": s, "min": s,
"max_rss_kib": n, "runs": n}} with wall-clock seconds; max_rss_kib is the
largest peak resident size of any run, as GNU time reports it (a child of
this script would carry the script's own size as its peak).
"""
import argparse
import json
import os
import shlex
import statistics
import subprocess
import tempfile
import time


def drop_caches():
    os.sync()
    with open("/proc/sys/vm/drop_caches", "w") as control:
        control.write("3\n")


def run(argv):
    with tempfile.NamedTemporaryFile("r") as peak:
        start = time.perf_counter()
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", peak.name, *argv],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        seconds = time.perf_counter() - start
        return seconds, int(peak.read().split()[-1])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, required=True)
    parser.add_argument("--warm", action="store_true")
    parser.add_argument("commands", nargs="+", help="LABEL=COMMAND")
    args = parser.parse_args()

    commands = dict(c.split("=", 1) for c in args.commands)
    times = {label: [] for label in commands}
    rss = {label: 0 for label in commands}
    if args.warm:
        for command in commands.values():
            run(shlex.split(command))
    for _ in range(args.runs):
        for label, command in commands.items():
            if not args.warm:
                drop_caches()
            seconds, peak = run(shlex.split(command))
            times[label].append(seconds)
            rss[label] = max(rss[label], peak)
    print(json.dumps({label: {"median": statistics.median(t), "min": min(t), "max_rss_kib": rss[label],
                              "runs": len(t)} for label, t in times.items()}))


if __name__ == "__main__":
    main()
