#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Times one of our commands against a peer tool on the same input and prints the ratio.

Usage: bench/compare.py [--runs N] "<our command>" "<peer command>"
Both run through the shell; make the shared input first (for example with sox).
The best of N runs counts, which is the least disturbed by the rest of the machine."""
import argparse
import subprocess
import time


def best_of(command: str, runs: int) -> float:
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(command, shell=True, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        best = min(best, time.perf_counter() - start)
    return best


def main() -> None:
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("ours")
    parser.add_argument("peer")
    args = parser.parse_args()
    ours = best_of(args.ours, args.runs)
    peer = best_of(args.peer, args.runs)
    print(f"ours: {ours:.4f} s\npeer: {peer:.4f} s\nratio ours/peer: {ours / peer:.2f}")


if __name__ == "__main__":
    main()
