#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Times one of our commands against a peer tool on the same input and prints the ratio.

Usage: bench/compare.py [--runs N] "<our command>" "<peer command>"
Both run through the shell; make the shared input first (for example with sox), and give
both sides the same work (same output format and channel count). After one warm-up of
each, the two take turns (A B A B ...), so a load that comes and goes on a shared machine
weighs on both alike. The ratio is the median of the N pairwise ratios ours/peer, with
their min and max; the peak resident memory of each side is its largest over the runs."""
import argparse
import os
import statistics
import subprocess
import time


def run_once(command: str) -> tuple[float, int]:
    """Wall time in seconds and peak resident memory in KiB of one run of `command`."""
    start = time.perf_counter()
    process = subprocess.Popen(command, shell=True,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        raise subprocess.CalledProcessError(process.returncode, command)
    return elapsed, usage.ru_maxrss


def best_of(command: str, runs: int) -> float:
    return min(run_once(command)[0] for _ in range(runs))


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("ours")
    parser.add_argument("peer")
    args = parser.parse_args()
    runs = max(args.runs, 5)
    run_once(args.ours)
    run_once(args.peer)
    ours, peer = [], []
    for _ in range(runs):
        ours.append(run_once(args.ours))
        peer.append(run_once(args.peer))
    ratios = [a[0] / b[0] for a, b in zip(ours, peer)]
    print(f"ours: {statistics.median(t for t, _ in ours):.4f} s, peak {max(m for _, m in ours) / 1024:.1f} MiB\n"
          f"peer: {statistics.median(t for t, _ in peer):.4f} s, peak {max(m for _, m in peer) / 1024:.1f} MiB\n"
          f"ratio ours/peer: {statistics.median(ratios):.2f} (min {min(ratios):.2f}, max {max(ratios):.2f},"
          f" N={runs})")


if __name__ == "__main__":
    main()
