"""The best plan's figures, found by an exact solver: the yardstick for Policy(strategy="best").

``best_figures(teachers, lessons, absences, policy)`` takes what ``plan()`` takes and returns
the optimal Figures (figures.py) of the day, level by level:

1. most lessons covered;  2. most doubles kept (only with keep_doubles; otherwise None);
3. fewest supply covers;  4. most subject covers;  5. smallest largest load;
6. smallest sum of squares of the loads;  7. most covers by a teacher who knows the class.

Each level is a 0-1 program solved by ``scipy.optimize.milp`` among the plans optimal on the
levels before: its optimum is fixed as a constraint before the next is solved.  The day's
facts (which lessons need cover, who is present, teaching, unavailable, pinned, the combined
sets) come from the plain model of the rules (day.py, rules.py), not from here.

A combined set is one cover: one variable per (set, substitute).  A pinned cover is no
variable at all; it adds to the figures, to its substitute's load and cap, and keeps its
substitute busy in its period.  With combined lessons a set is pinned whole or not at all
here (the random days of the tests pin it so).
"""
from collections import defaultdict
from typing import NamedTuple

import numpy as np
from scipy.optimize import Bounds, LinearConstraint, milp

from .day import Day, absent_lessons
from .figures import Figures, knows, plan_figures
from .rules import why_not_needed


class Unit(NamedTuple):
    """One cover to give: an absent lesson, or the lessons of a combined set."""
    absent: str
    period: int
    lessons: tuple          # (absent, period, class) each
    pinned: str | None      # the substitute fixed in advance, if any


def best_figures(teachers, lessons, absences, policy):
    """The lexicographically optimal Figures of the day, and one plan that has them as
    (absent, period, class, substitute) rows."""
    day = Day(teachers, lessons, absences, policy)
    return BestProgram(day, lessons, policy).solve()


def units_of(day, lessons, policy):
    """The covers to give: the absent lessons that need one, grouped into combined sets."""
    pinned = {(a, p, c): s for a, p, c, s in policy.pinned}
    needing = [lesson for lesson in absent_lessons(lessons, day.away_periods)
               if lesson in pinned or why_not_needed(lesson, day, policy) is None]
    groups = defaultdict(list)
    for lesson in needing:
        groups[lesson[:2] if policy.combined_lessons else lesson].append(lesson)
    units = []
    for group in groups.values():
        substitutes = {pinned.get(lesson) for lesson in group}
        if len(substitutes) > 1:
            raise NotImplementedError(f"a combined set pinned in part or to two substitutes: {group}")
        units.append(Unit(group[0][0], group[0][1], tuple(group), substitutes.pop()))
    return units


class Program:
    """A 0-1 (and small integer) linear program, built variable by variable and row by row.
    An expression is ({variable: coefficient}, constant)."""

    def __init__(self):
        self.upper = []
        self.rows = []   # ({variable: coefficient}, low, high)

    def variable(self, upper=1):
        self.upper.append(upper)
        return len(self.upper) - 1

    def constrain(self, coefficients, low=-np.inf, high=np.inf):
        self.rows.append((coefficients, low, high))

    def optimum(self, expression, maximise):
        """The optimal value of the expression (an int) and the values of the variables."""
        coefficients, constant = expression
        if not self.upper:
            return constant, np.zeros(0, dtype=int)
        sign = -1 if maximise else 1
        cost = np.zeros(len(self.upper))
        for index, value in coefficients.items():
            cost[index] += sign * value
        matrix = np.zeros((len(self.rows), len(self.upper)))
        for row, (terms, _, _) in enumerate(self.rows):
            for index, value in terms.items():
                matrix[row, index] += value
        result = milp(cost, integrality=np.ones(len(self.upper)), bounds=Bounds(0, self.upper),
                      constraints=LinearConstraint(matrix, [r[1] for r in self.rows], [r[2] for r in self.rows])
                      if self.rows else None)
        assert result.success, result.message
        value = round(sign * result.fun + constant)
        return value, np.round(result.x).astype(int)

    def fix(self, expression, value):
        coefficients, constant = expression
        self.constrain(coefficients, value - constant, value - constant)


class BestProgram:
    """The day's covers as a Program: x[unit, teacher] is 1 when the teacher gives the cover."""

    def __init__(self, day, lessons, policy):
        self.day, self.policy = day, policy
        self.units = units_of(day, lessons, policy)
        self.present = [*day.teachers, *day.supply]
        self.pins = {t: day.covers_given[t] for t in self.present}
        self.program = Program()
        self.x = {}   # (unit index, teacher) -> variable
        for index, unit in enumerate(self.units):
            if unit.pinned is None:
                for teacher in self.present:
                    if self.may_cover(teacher, unit.period):
                        self.x[index, teacher] = self.program.variable()
        self.add_hard_constraints()

    def may_cover(self, teacher, period):
        day = self.day
        at_cap = day.cap is not None and self.pins[teacher] >= day.cap
        return (day.is_present(teacher, period) and (teacher, period) not in day.teaching
                and (teacher, period) not in day.unavailable and (teacher, period) not in day.covering
                and not at_cap)

    def covers_of(self, teacher):
        return {v: 1 for (_, t), v in self.x.items() if t == teacher}

    def add_hard_constraints(self):
        by_unit, by_slot = defaultdict(dict), defaultdict(dict)
        for (index, teacher), v in self.x.items():
            by_unit[index][v] = 1
            by_slot[teacher, self.units[index].period][v] = 1
        for terms in (*by_unit.values(), *by_slot.values()):
            self.constrain(terms, high=1)
        if self.day.cap is not None:
            for teacher in self.present:
                self.constrain(self.covers_of(teacher), high=self.day.cap - self.pins[teacher])

    def constrain(self, terms, low=-np.inf, high=np.inf):
        if terms:
            self.program.constrain(terms, low, high)

    # Each level's expression: ({variable: coefficient}, constant).

    def count(self, weight):
        """Σ weight(unit, teacher) over the covers given, pinned ones included."""
        terms = {v: weight(self.units[index], teacher) for (index, teacher), v in self.x.items()}
        constant = sum(weight(unit, unit.pinned) for unit in self.units if unit.pinned is not None)
        return {v: w for v, w in terms.items() if w}, constant

    def covered(self):
        return self.count(lambda unit, teacher: len(unit.lessons))

    def supply(self):
        return self.count(lambda unit, teacher: teacher in self.day.supply)

    def subject(self):
        subjects = self.day.subjects
        return self.count(lambda unit, teacher: teacher not in self.day.supply
                          and subjects[teacher][0] == subjects[unit.absent][0])

    def knows_class(self):
        return self.count(lambda unit, teacher: any(c in knows(self.day, teacher) for _, _, c in unit.lessons))

    def doubles_kept(self):
        """y[pair, teacher] <= both halves' covers by that teacher, for each lesson and the
        same class's lesson of the same absent teacher one period later."""
        given = {}   # (lesson, teacher) -> variable, or None for a pinned cover
        for index, unit in enumerate(self.units):
            for lesson in unit.lessons:
                if unit.pinned is not None:
                    given[lesson, unit.pinned] = None
        for (index, teacher), v in self.x.items():
            for lesson in self.units[index].lessons:
                given[lesson, teacher] = v
        terms, constant = {}, 0
        for (lesson, teacher), first in given.items():
            absent, period, class_name = lesson
            later = (absent, period + 1, class_name)
            if (later, teacher) not in given:
                continue
            halves = [v for v in (first, given[later, teacher]) if v is not None]
            if not halves:
                constant += 1
                continue
            kept = self.program.variable()
            for half in halves:
                self.program.constrain({kept: 1, half: -1}, high=0)
            terms[kept] = 1
        return terms, constant

    def largest_load(self):
        """z >= prior·h + pins + covers of each teacher, h >= each cover of it: h may be 0
        only for a teacher who covers nothing today."""
        largest = self.program.variable(upper=10**6)
        for teacher in self.present:
            covers = self.covers_of(teacher)
            base = self.pins[teacher]
            if not covers and not base:
                continue
            row = {largest: 1, **{v: -1 for v in covers}}
            if base:
                low = base + self.day.prior[teacher]
            else:
                gives_any = self.program.variable()
                for v in covers:
                    self.program.constrain({gives_any: 1, v: -1}, low=0)
                row[gives_any] = -self.day.prior[teacher]
                low = 0
            self.program.constrain(row, low=low)
        return {largest: 1}, 0

    def sum_of_squares(self):
        """Each teacher's k-th cover today costs (base+k)² - (base+k-1)²: costs rise with k,
        so the k cheapest are the first k, and the sum is (base+covers)²."""
        terms, constant = {}, 0
        for teacher in self.present:
            base = self.day.prior[teacher] + self.pins[teacher]
            constant += base * base
            covers = self.covers_of(teacher)
            periods = {self.units[index].period for (index, t) in self.x if t == teacher}
            steps = [self.program.variable() for _ in periods]
            self.constrain({**covers, **{s: -1 for s in steps}}, 0, 0)
            for k, step in enumerate(steps, start=1):
                terms[step] = (base + k) ** 2 - (base + k - 1) ** 2
        return terms, constant

    LEVELS = [("covered", True), ("doubles_kept", True), ("supply", False), ("subject", True),
              ("largest_load", False), ("sum_of_squares", False), ("knows_class", True)]

    def solve(self):
        optimal = dict.fromkeys(Figures._fields)
        values = None
        for name, maximise in self.LEVELS:
            if name == "doubles_kept" and not self.policy.keep_doubles:
                continue
            expression = getattr(self, name)()
            optimal[name], values = self.program.optimum(expression, maximise)
            self.program.fix(expression, optimal[name])
        rows = self.plan_rows(values)
        figures = Figures(**optimal)
        # The solver's plan, read back the plain way, must have the figures it was solved for.
        plain = plan_figures(rows, self.day, self.policy)
        assert all(getattr(plain, f) == v for f, v in figures._asdict().items() if v is not None), (plain, figures)
        return figures, rows

    def plan_rows(self, values):
        rows = [(*lesson, unit.pinned) for unit in self.units if unit.pinned is not None for lesson in unit.lessons]
        for (index, teacher), v in self.x.items():
            if values[v]:
                rows += [(*lesson, teacher) for lesson in self.units[index].lessons]
        return rows
