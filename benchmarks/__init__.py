"""Benchmark scripts, run from the repository's root as modules: ``python3 -m benchmarks.bench``."""
