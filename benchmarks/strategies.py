"""The two strategies as the benchmarks plan with them: the greedy rule and the best plan."""
from __future__ import annotations

from lessoncover_planner import Policy

STRATEGIES = ("greedy", "best")


def strategy_policies(**options) -> dict:
    """The policy of each strategy with `options` on: greedy is ``None`` (plan() without a
    policy) when there are none, so that it times and plans exactly what the default does."""
    return {"greedy": Policy(**options) if options else None, "best": Policy(strategy="best", **options)}
