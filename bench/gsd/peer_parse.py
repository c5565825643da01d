#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""peer_parse.py PEER ROUNDS FILE...

Times the GSD parser of the pyprofibus package found in the folder PEER
(PEER/pyprofibus/gsd/parser.py) on each FILE, ROUNDS times, and prints one
line per file: the median processor time of the thread in ms, a TAB, the
file as given. bench_gsd
runs it as its speed reference. Exit 3 when PEER holds no such parser.
"""
import os
import statistics
import sys
import time


def main():
    if len(sys.argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    peer, rounds, files = sys.argv[1], max(1, int(sys.argv[2])), sys.argv[3:]
    if not os.path.isfile(os.path.join(peer, "pyprofibus", "gsd", "parser.py")):
        print("no pyprofibus GSD parser in %s" % peer, file=sys.stderr)
        return 3
    sys.path.insert(0, peer)
    from pyprofibus.gsd.parser import GsdParser

    for name in files:
        with open(name, "rb") as f:
            data = f.read()
        times = []
        for _ in range(rounds):
            start = time.thread_time_ns()
            try:
                GsdParser.fromBytes(data, name)
            except Exception:  # a file it refuses still cost its time
                pass
            times.append(time.thread_time_ns() - start)
        print("%.6f\t%s" % (statistics.median(times) / 1e6, name))
    return 0


if __name__ == "__main__":
    sys.exit(main())
