"""The two strategies as the benchmarks plan with them: the greedy rule and the best plan."""
from __future__ import annotations

from lessoncover_planner import Policy

STRATEGIES = ("greedy", "best")


def strategy_policies(**options) -> dict:
    """The policy of each strategy with `options` on: greedy is ``None`` (plan() without a
    policy) when there are none, so that it times and plans exactly what the default does."""
    try:
        best = Policy(strategy="best", **options)
    except TypeError:
        # A build from before the optimiser: greedy stands in, said on every table.
        best = Policy(**options) if options else None
        STAND_IN.append(True)
    return {"greedy": Policy(**options) if options else None, "best": best}


STAND_IN: list = []


def stand_in_note() -> str:
    return ("**This build has no `strategy=\"best\"`: the best columns are the greedy rule's.**\n"
            if STAND_IN else "")
