#!/usr/bin/env python3
"""Times several commands in interleaved rounds and prints JSON.

Usage: time_rounds.py --runs N [--runs-of LABEL=N ...] LABEL=COMMAND ...

Each round runs every command once, in turn, so a burst of load from
elsewhere on a shared machine falls on all of them alike instead of on
whichever one hyperfine happened to be timing. One untimed warm-up round
comes first. Commands are split like a shell would and run without one;
their output is discarded. A non-zero exit status is not a failure (a find
is one for every tool here). Prints {LABEL: {"median": s, "min": s, "runs":
n}} with wall-clock seconds.
"""
import argparse
import json
import shlex
import statistics
import subprocess
import time


def run(argv):
    start = time.perf_counter()
    subprocess.run(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, required=True)
    parser.add_argument("--runs-of", action="append", default=[], help="LABEL=N: fewer runs for a slow command")
    parser.add_argument("commands", nargs="+", help="LABEL=COMMAND")
    args = parser.parse_args()

    commands = dict(c.split("=", 1) for c in args.commands)
    runs = {label: args.runs for label in commands}
    runs.update({label: int(n) for label, n in (r.split("=", 1) for r in args.runs_of)})
    times = {label: [] for label in commands}
    for label, command in commands.items():
        run(shlex.split(command))
    for round_number in range(max(runs.values())):
        for label, command in commands.items():
            if round_number < runs[label]:
                times[label].append(run(shlex.split(command)))
    print(json.dumps({label: {"median": statistics.median(t), "min": min(t), "runs": len(t)}
                      for label, t in times.items()}))


if __name__ == "__main__":
    main()
