#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Times one of our commands against a peer tool on the same input and prints the ratio.

Usage: bench/compare.py [--runs N] [--median] "<our command>" "<peer command>"
Both run through the shell; make the shared input first (for example with sox).
The best of N runs counts, which is the least disturbed by the rest of the machine. With
--median the two commands take turns and the median of each counts, so a load that comes
and goes on a shared machine weighs on both alike."""
import argparse
import statistics
import subprocess
import time


def best_of(command: str, runs: int) -> float:
    return min(run_once(command) for _ in range(runs))


def run_once(command: str) -> float:
    start = time.perf_counter()
    subprocess.run(command, shell=True, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start


def alternating_medians(ours: str, peer: str, runs: int) -> tuple[float, float]:
    ours_times, peer_times = [], []
    for _ in range(runs):
        ours_times.append(run_once(ours))
        peer_times.append(run_once(peer))
    return statistics.median(ours_times), statistics.median(peer_times)


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--median", action="store_true")
    parser.add_argument("ours")
    parser.add_argument("peer")
    args = parser.parse_args()
    if args.median:
        ours, peer = alternating_medians(args.ours, args.peer, args.runs)
    else:
        ours, peer = best_of(args.ours, args.runs), best_of(args.peer, args.runs)
    print(f"ours: {ours:.4f} s\npeer: {peer:.4f} s\nratio ours/peer: {ours / peer:.2f}")


if __name__ == "__main__":
    main()
