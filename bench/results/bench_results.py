#!/usr/bin/env python3
"""What the results database takes, without the chips: recording cycles of
24 DUTs in the station's own SQLite database (one transaction each, on disk
before it returns), and forwarding a backlog of them to a PostgreSQL server
of the benchmark's own. Prints a Markdown table of medians over the runs:

- record: milliseconds per cycle (24 DUTs) and rows per second (a cycle's
  row and its 24 DUT rows);
- forward: the backlog's time from the forwarder's start to the last cycle
  in the factory database, in rows and cycles per second.

    bench/results/bench_results.py [--build build] [--cycles 1000]
                                   [--runs 3] [--markdown FILE]

Each run uses a new station file and a new factory database. Never run as a
test.
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from pgserver import PgServer  # noqa: E402


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(os.path.dirname(here))
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(root, "build"))
    ap.add_argument("--cycles", type=int, default=1000)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--markdown", help="also write the table to this file")
    args = ap.parse_args()
    tool = os.path.join(os.path.abspath(args.build), "bin", "bench_forward")
    if not os.path.exists(tool):
        sys.exit("missing %s: build the tree first" % tool)

    runs = []
    with tempfile.TemporaryDirectory(prefix="bench-forward-") as tmp, PgServer() as pg:
        for run in range(args.runs):
            name = "factory%d" % run
            pg.create_database(name, os.path.join(os.path.abspath(args.build), "station",
                                                  "benchreport"))
            ini = os.path.join(tmp, "station%d.ini" % run)
            with open(ini, "w") as f:
                f.write(pg.station_ini(name))
            db = os.path.join(tmp, "results%d.sqlite" % run)
            out = subprocess.run([tool, str(args.cycles), db, ini], stdout=subprocess.PIPE,
                                 check=True).stdout
            result = json.loads(out)
            print("run %d: record %.2f ms a cycle, forward %.0f rows/s"
                  % (run + 1, result["recordMsPerCycle"], result["forwardRowsPerSecond"]),
                  file=sys.stderr, flush=True)
            runs.append(result)

    med = statistics.median
    lines = [
        "| cycles of 24 DUTs | record ms/cycle | record rows/s | forward s "
        "| forward rows/s | forward DUT rows/s | forward cycles/s |",
        "|---:|---:|---:|---:|---:|---:|---:|",
        "| %d | %.2f | %.0f | %.2f | %.0f | %.0f | %.0f |" % (
            args.cycles, med(r["recordMsPerCycle"] for r in runs),
            med(r["recordRowsPerSecond"] for r in runs), med(r["forwardSeconds"] for r in runs),
            med(r["forwardRowsPerSecond"] for r in runs),
            med(r["forwardDutRowsPerSecond"] for r in runs),
            med(r["forwardCyclesPerSecond"] for r in runs)),
    ]
    table = "\n".join(lines) + "\n"
    notes = ("\nMedians of %d runs; rows: a cycle's row and its 24 DUT rows. Recording: one "
             "transaction per cycle, WAL, synchronous=FULL (each cycle on disk before the call "
             "returns). Forwarding: batches of 50 cycles in one transaction each, the station's "
             "mark written after each; PostgreSQL on this machine (127.0.0.1).\n" % args.runs)
    print(table + notes, end="")
    if args.markdown:
        with open(args.markdown, "w", encoding="utf-8") as f:
            f.write(table + notes)


if __name__ == "__main__":
    main()
