"""The command's fuzz harness holds on its seed days: each one succeeds or is refused as
designed, changes only the outputs and stays within its memory bound."""
import subprocess
import sys

from cli_support import ROOT

HARNESS = ROOT / "fuzz" / "fuzz_command.py"
SEEDS = sorted((ROOT / "fuzz" / "corpus" / "command").iterdir())


def test_the_seed_days_pass_the_harness():
    assert len(SEEDS) >= 5
    shown = subprocess.run([sys.executable, str(HARNESS), "--replay", *map(str, SEEDS)],
                           capture_output=True, text=True, timeout=300)
    assert shown.returncode == 0, shown.stderr
    assert shown.stdout.splitlines() == [f"ok {seed}" for seed in SEEDS]
    assert "per second" in shown.stderr
