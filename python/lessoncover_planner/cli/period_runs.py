"""Periods written as runs: ``(1, 2, 3, 5)`` is the runs ``(1, 3), (5, 5)``, shown ``1-3;5``
in the command's messages and ``1–3, 5`` on the people's pages."""

from __future__ import annotations

from collections.abc import Iterable, Sequence

__all__ = ["period_runs", "runs_text"]


def period_runs(periods: Iterable[int]) -> list[tuple[int, int]]:
    """The runs of consecutive periods in sorted periods, as ``(first, last)`` pairs."""
    runs: list[tuple[int, int]] = []
    for period in periods:
        if runs and period == runs[-1][1] + 1:
            runs[-1] = (runs[-1][0], period)
        else:
            runs.append((period, period))
    return runs


def runs_text(runs: Sequence[tuple[int, int]], dash: str = "-", separator: str = ";") -> str:
    """``[(1, 5), (7, 7)]`` as ``1-5;7``, or with another dash and separator."""
    return separator.join(str(first) if first == last else f"{first}{dash}{last}" for first, last in runs)
