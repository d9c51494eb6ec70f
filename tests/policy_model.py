"""The cover policies written plainly over plain data: what plan(..., policy=...) must give.

It extends planner_model's rules.  The absent lessons are listed as the default
planner lists them (class by class in order of first appearance, within a
class in registration order, each (teacher, period) once per class); a
teacher absent for part of the day contributes only its lessons in the
periods it is away.  Pinned covers are booked first, in the order given: the
substitute covers in that period from the start, and the pin counts as a
cover (a combined set pinned to one substitute counts once).  Each lesson is
then decided in one fixed order:

0. it is pinned: its substitute, rule "pinned";
1. its class is away: not needed;
2. another teacher present in that period has a registered lesson in that
   class and period: not needed (when co-taught lessons need no cover);
3. a later lesson of an absent teacher and period already planned in another
   class: the same substitute, rule "combined" (when lessons are combined);
4. the substitute of the same teacher's lesson in the same class at p-1, then
   p+1, if free and under the cap: rule "double" (when doubles are kept);
5. the least loaded free colleague of the subject, under the cap;
6. the first free teacher in list order, under the cap;
7. uncovered, with every teacher present in that period counted once in the
   first group that fits: covering, teaching, unavailable, at the cap (only
   a pin makes a teacher cover while teaching or unavailable).

Nothing here is clever: every question is answered by scanning the plain data.
"""
from types import SimpleNamespace

from planner_model import DEFAULT_REASON, absent_lessons, render, subjects_of

INT16_MIN, INT16_MAX = -32768, 32767


def default_policy():
    """The options of Policy() with everything off."""
    return SimpleNamespace(max_covers=None, prior_covers={}, unavailable={}, keep_doubles=False,
                           combined_lessons=False, co_taught_no_cover=False, away_classes=(), pinned=())


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


def _count(number, singular, plural):
    return f"{number} {singular if number == 1 else plural}"


def why_uncovered(period, present, teaching, covering, unavailable, at_cap):
    """The sentence that says why nobody took a lesson."""
    if present == 0:
        return "no teacher is present"
    if present == 1:
        doing = ("teaches" if teaching else "covers" if covering
                 else "is unavailable" if unavailable else "is at the cap")
        return f"the only present teacher is busy in period {period}: {doing}"
    counts = f"{_count(teaching, 'teaches', 'teach')}, {_count(covering, 'covers', 'cover')}"
    if unavailable:
        counts += f", {unavailable} unavailable"
    if at_cap:
        counts += f", {at_cap} at the cap"
    return f"all {present} present teachers are busy in period {period}: {counts}"


def model_policy_plan(teachers, lessons, absences, policy=None):
    """(report without its timing line, cover rows, uncovered rows, not-needed rows) of the day.

    Cover rows are (absent, period, subject, substitute, class, reason, rule); uncovered rows
    (absent, period, subject, class, reason, present, teaching, covering, unavailable, at cap);
    not-needed rows (absent, period, subject, class, reason, why).
    """
    policy = policy or default_policy()
    subjects = subjects_of(teachers)
    reasons, away_periods = read_absences(absences)
    names = [name for name, _ in teachers]
    prior = {name: policy.prior_covers.get(name, 0) for name in names}
    unavailable = {(name, p) for name, periods in policy.unavailable.items() for p in periods}
    away_classes = set(policy.away_classes)
    cap = policy.max_covers

    pairs = {name: set() for name in names}
    for teacher, period, class_name in lessons:
        pairs[teacher].add((period, class_name))
    # A lesson in a class that is away keeps its teacher busy for no one.
    teaching = {(t, p) for t, p, c in lessons if c not in away_classes}

    def is_present(teacher, period):
        periods = away_periods.get(teacher, set())
        return periods is not None and period not in periods

    # The list order: stably by pairs plus prior covers, fixed for the whole run.  Teachers
    # away for part of the day keep their place; those away all day are never candidates.
    order = sorted(names, key=lambda t: len(pairs[t]) + prior[t])
    pool = [t for t in order if away_periods.get(t, set()) is not None]

    covering = {}        # (teacher, period) -> rule of the cover it gives then
    covers_given = dict.fromkeys(names, 0)   # covers in this run; combined followers aside
    decided = {}         # (absent, period, class) -> substitute or None
    leaders = {}         # (absent, period) -> the key of the first of a combined set

    pinned = {}          # (absent, period, class) -> substitute
    booked = set()       # (set of lessons, substitute) of the pins counted
    for absent, period, class_name, substitute in getattr(policy, "pinned", ()):
        pinned[(absent, period, class_name)] = substitute
        one_set = (absent, period) if policy.combined_lessons else (absent, period, class_name)
        covering[(substitute, period)] = "pinned"
        if (one_set, substitute) not in booked:
            booked.add((one_set, substitute))
            covers_given[substitute] += 1

    def load(teacher):
        return len(pairs[teacher]) + prior[teacher] + covers_given[teacher]

    def under_cap(teacher):
        return cap is None or covers_given[teacher] < cap

    def free(teacher, period):
        return (is_present(teacher, period) and (teacher, period) not in teaching
                and (teacher, period) not in covering and (teacher, period) not in unavailable)

    def uncovered_counts(period):
        present = [t for t in pool if is_present(t, period)]
        groups = [0, 0, 0, 0]
        for t in present:
            if (t, period) in covering:
                groups[1] += 1
            elif (t, period) in teaching:
                groups[0] += 1
            elif (t, period) in unavailable:
                groups[2] += 1
            elif not under_cap(t):
                groups[3] += 1
        return (len(present), *groups)

    covers, uncovered, not_needed = [], [], []
    for absent, period, class_name in absent_lessons(lessons, away_periods):
        key, shown = subjects[absent]
        reason = reasons[absent]

        if class_name in away_classes:
            not_needed.append((absent, period, shown, class_name, reason, f"class {class_name} is away"))
            continue
        if policy.co_taught_no_cover:
            partner = next((t for t, p, c in lessons
                            if c == class_name and p == period and t != absent and is_present(t, p)), None)
            if partner is not None:
                not_needed.append((absent, period, shown, class_name, reason,
                                   f"{partner} also teaches {class_name} in period {period}"))
                continue

        lesson = (absent, period, class_name)
        choice = None
        follower = False
        if policy.combined_lessons:
            leader = leaders.setdefault((absent, period), lesson)
            follower = leader != lesson
        if lesson in pinned:
            decided[lesson] = pinned[lesson]
            covers.append((absent, period, shown, pinned[lesson], class_name, reason, "pinned"))
            continue
        if follower and decided[leader] is not None:
            choice = (decided[leader], "combined")
        if choice is None and not follower and policy.keep_doubles:
            for neighbour in (period - 1, period + 1):
                if not INT16_MIN <= neighbour <= INT16_MAX:
                    continue
                substitute = decided.get((absent, neighbour, class_name))
                if substitute is not None and free(substitute, period) and under_cap(substitute):
                    choice = (substitute, "double")
                    break
        if choice is None and not follower:
            colleagues = sorted((t for t in pool if subjects[t][0] == key
                                 and free(t, period) and under_cap(t)), key=load)
            if colleagues:
                choice = (colleagues[0], "subject")
        if choice is None and not follower:
            choice = next(((t, "any") for t in pool if free(t, period) and under_cap(t)), None)

        if choice is None:
            decided[lesson] = None
            uncovered.append((absent, period, shown, class_name, reason, *uncovered_counts(period)))
            continue
        substitute, rule = choice
        decided[lesson] = substitute
        covering.setdefault((substitute, period), rule)
        if rule != "combined":
            covers_given[substitute] += 1
        covers.append((absent, period, shown, substitute, class_name, reason, rule))
    return render(covers, uncovered), covers, uncovered, not_needed
