"""A day as plain data, planned by the rules: what lessoncover_planner.plan must give.

The entry point is ``plan_day(teachers, lessons, absences, policy)``:

- ``teachers``: (name, subject text) in the school's order;
- ``lessons``: (teacher, period, class) in registration order, rows listed twice allowed;
- ``absences``: name -> reason (None or "" for the default), or (reason, periods) for a
  teacher away only in those periods;
- ``policy``: a namespace with Policy's options (``default_policy()`` has them all off;
  None is the same); its ``supply`` staff cover only by the rule of their own, tried in
  the order of ``teachers``.

The school is the one the planner builds: every lesson registered, the classes added in
order of first appearance, so the list order is the school's order sorted once, stably,
by distinct (period, class) lessons plus prior covers.  Teachers away for part of the day
keep their place; those away all day are never candidates.  The absent lessons are taken
class by class in order of first appearance, within a class in registration order, each
(teacher, period) once per class; a teacher away for part of the day has only its
lessons in the periods it is away.  Subjects are grouped by the key resolve_subject gives:
the index of a known subject, or the lower-cased text of any other, shown as first written.
"""
from lessoncover_planner import SUBJECTS, resolve_subject

from .rules import Cover, NotNeeded, answer_lessons, default_policy
from .texts import DEFAULT_REASON, report


def plan_day(teachers, lessons, absences, policy=None):
    """(report without its timing line, cover rows, uncovered rows, not-needed rows) of the day.

    Cover rows are (absent, period, subject, substitute, class, reason, rule); uncovered rows
    (absent, period, subject, class, reason, present, teaching, covering, unavailable, at cap);
    not-needed rows (absent, period, subject, class, reason, why).
    """
    policy = policy or default_policy()
    day = Day(teachers, lessons, absences, policy)
    covers, uncovered, not_needed = [], [], []
    for (absent, period, class_name), answer in answer_lessons(absent_lessons(lessons, day.away_periods),
                                                               day, policy):
        shown, reason = day.subjects[absent][1], day.reasons[absent]
        if isinstance(answer, Cover):
            covers.append((absent, period, shown, answer.substitute, class_name, reason, answer.rule))
        elif isinstance(answer, NotNeeded):
            not_needed.append((absent, period, shown, class_name, reason, answer.why))
        else:
            uncovered.append((absent, period, shown, class_name, reason, *answer))
    text = report([row[:6] for row in covers], [(row[0], row[1], row[3]) for row in uncovered])
    return text, covers, uncovered, not_needed


def plan_default(teachers, lessons, absences):
    """plan_day without a policy, its uncovered rows without the counts no policy can give
    (unavailable, at the cap): (report, cover rows, uncovered rows)."""
    text, covers, uncovered, _ = plan_day(teachers, lessons, absences)
    return text, covers, [row[:8] for row in uncovered]


class Day:
    """The day's plain data and the covers booked so far, answering the rules' questions."""

    def __init__(self, teachers, lessons, absences, policy):
        self.subjects = subjects_of(teachers)
        self.reasons, self.away_periods = read_absences(absences)
        self.lessons = lessons
        names = [name for name, _ in teachers]
        self.prior = {name: policy.prior_covers.get(name, 0) for name in names}
        self.unavailable = {(name, p) for name, periods in policy.unavailable.items() for p in periods}
        self.cap = policy.max_covers
        self.pairs = {name: set() for name in names}
        for teacher, period, class_name in lessons:
            self.pairs[teacher].add((period, class_name))
        # A lesson in a class that is away keeps its teacher busy for no one.
        self.teaching = {(t, p) for t, p, c in lessons if c not in policy.away_classes}
        order = sorted(names, key=lambda t: len(self.pairs[t]) + self.prior[t])
        present = [t for t in order if self.away_periods.get(t, set()) is not None]
        supply = set(policy.supply)
        self.teachers = [t for t in present if t not in supply]
        self.supply = [t for t in names if t in supply and t in present]
        self.covering = {}                           # (teacher, period) -> rule of the cover
        self.covers_given = dict.fromkeys(names, 0)  # combined followers aside
        self.book_pins(policy)

    def book_pins(self, policy):
        """Each pin's substitute covers from the start; a combined set pinned to one
        substitute counts as one cover."""
        booked = set()
        for absent, period, class_name, substitute in policy.pinned:
            one_set = (absent, period) if policy.combined_lessons else (absent, period, class_name)
            self.covering[(substitute, period)] = "pinned"
            if (one_set, substitute) not in booked:
                booked.add((one_set, substitute))
                self.covers_given[substitute] += 1

    def is_present(self, teacher, period):
        periods = self.away_periods.get(teacher, set())
        return periods is not None and period not in periods

    def colleagues(self, absent):
        key = self.subjects[absent][0]
        return [t for t in self.teachers if self.subjects[t][0] == key]

    def load(self, teacher):
        return len(self.pairs[teacher]) + self.prior[teacher] + self.covers_given[teacher]

    def busy(self, teacher, period):
        if not self.is_present(teacher, period):
            return "away"
        if (teacher, period) in self.covering:
            return "covering"
        if (teacher, period) in self.teaching:
            return "teaching"
        if (teacher, period) in self.unavailable:
            return "unavailable"
        if self.cap is not None and self.covers_given[teacher] >= self.cap:
            return "at cap"
        return None

    def co_teacher(self, lesson):
        absent, period, class_name = lesson
        return next((t for t, p, c in self.lessons
                     if c == class_name and p == period and t != absent and self.is_present(t, p)), None)

    def book(self, lesson, cover):
        self.covering.setdefault((cover.substitute, lesson[1]), cover.rule)
        if cover.rule != "combined":
            self.covers_given[cover.substitute] += 1


def read_absences(absences):
    """(reason of each absentee, its absent periods or None when away all day)."""
    reasons, away_periods = {}, {}
    for name, value in (absences or {}).items():
        if isinstance(value, tuple):
            reason, periods = value
            away_periods[name] = set(periods)
        else:
            reason, away_periods[name] = value, None
        reasons[name] = reason or DEFAULT_REASON
    return reasons, away_periods


def subjects_of(teachers):
    """(grouping key, display name) of each teacher's subject, by name."""
    first_written = {}
    subjects = {}
    for name, text in teachers:
        resolved = resolve_subject(text)
        if isinstance(resolved, int):
            subjects[name] = (resolved, SUBJECTS[resolved])
        else:
            key = resolved.lower()
            subjects[name] = (key, first_written.setdefault(key, resolved))
    return subjects


def absent_lessons(lessons, away_periods):
    """(absent teacher, period, class) of every lesson that somebody must answer for, class by
    class in order of first appearance, each (teacher, period) once a class; `away_periods`
    maps each absent teacher to the periods of its absence, or None for all day."""
    classes = {}
    for teacher, period, class_name in lessons:
        classes.setdefault(class_name, []).append((teacher, period))
    listed = []
    for class_name, entries in classes.items():
        seen = set()
        for teacher, period in entries:
            if teacher not in away_periods or (teacher, period) in seen:
                continue
            seen.add((teacher, period))
            periods = away_periods[teacher]
            if periods is None or period in periods:
                listed.append((teacher, period, class_name))
    return listed
