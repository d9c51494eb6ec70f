"""Puts the repository's benchmarks/ directory on sys.path, so that tests can import the
plain Python model of the rules (reference.py) and the benchmark workload (workload.py)."""
import os
import sys

BENCHMARKS = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "benchmarks")
if BENCHMARKS not in sys.path:
    sys.path.insert(0, BENCHMARKS)
