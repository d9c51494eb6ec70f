"""Small random school days with random policies, drawn from a seed: the days the best plan is
checked on against the exact optimum (tests/test_best_plan.py, benchmarks/best_doubles_gap.py).

``random_case(seed)`` gives (teachers, lessons, absences, options): what ``plan()`` takes,
with the keyword arguments of a Policy (strategy aside).  Up to 12 teachers and 6 periods,
few subjects and classes so that colleagues compete and cover runs short; classes keep their
teacher into the next period (doubles), some teachers hold two classes at once (combined
sets) or share one (co-taught); some absences are part-day; supply staff mostly have no
lessons of their own.  Pins are drawn among the lessons that need cover, a combined set
pinned whole to one substitute.
"""
import random

from .best_oracle import units_of
from .day import Day
from .rules import default_policy

SUBJECT_TEXTS = ["maths", "Maths", "art", "french", "French", "p.e", "physics"]


def random_case(seed, keep_doubles=None):
    """(teachers, lessons, absences, options) of the seed's day; keep_doubles as given, or
    drawn when None."""
    rng = random.Random(seed)
    periods = list(range(1, rng.randint(3, 6) + 1))
    names = [f"T{i}" for i in range(rng.randint(4, 12))]
    teachers = [(name, rng.choice(SUBJECT_TEXTS)) for name in names]
    classes = [f"{year}{form}" for year in (7, 8, 9) for form in "ABCD"][:rng.randint(2, max(2, len(names) - 1))]
    supply = rng.sample(names, rng.choice([0, 0, 1, 1, 2]))
    lessons = timetable(rng, names, supply, periods, classes)
    absences = absences_of(rng, list(dict.fromkeys(t for t, _, _ in lessons)) or names, periods)
    options = policy_options(rng, names, periods, classes, supply)
    if keep_doubles is not None:
        options["keep_doubles"] = keep_doubles
    options["pinned"] = pins(rng, teachers, lessons, absences, options)
    return teachers, lessons, absences, options


def timetable(rng, names, supply, periods, classes):
    """Each class has a teacher most periods, often the one it had the period before."""
    staff = [n for n in names if n not in supply or rng.random() < 0.3]
    lessons, last = [], {}
    for period in periods:
        busy = set()
        for class_name in classes:
            if rng.random() < 0.15:
                continue
            free = [n for n in staff if n not in busy]
            if last.get(class_name) in free and rng.random() < 0.5:
                teacher = last[class_name]
            elif free and rng.random() < 0.9:
                teacher = rng.choice(free)
            else:                    # a teacher with two classes at once: combined
                teacher = rng.choice(staff)
            busy.add(teacher)
            last[class_name] = teacher
            lessons.append((teacher, period, class_name))
            if rng.random() < 0.05:  # two teachers with one class: co-taught
                lessons.append((rng.choice(staff), period, class_name))
    return lessons


def absences_of(rng, names, periods):
    absences = {}
    for name in rng.sample(names, rng.randint(1, max(2, len(names) // 2))):
        if rng.random() < 0.3:
            first = rng.randint(0, len(periods) - 2)   # away from one period on, for a while
            absences[name] = ("Course", periods[first:rng.randint(first + 2, len(periods))])
        else:
            absences[name] = rng.choice([None, "Sick"])
    return absences


def policy_options(rng, names, periods, classes, supply):
    chance = rng.random
    return {
        "max_covers": rng.choice([None, None, 1, 2, 3]),
        "prior_covers": {n: rng.randint(0, 3) for n in names if chance() < 0.3} if chance() < 0.6 else {},
        "unavailable": {n: rng.sample(periods, rng.randint(1, 2)) for n in names if chance() < 0.2},
        "keep_doubles": chance() < 0.5,
        "combined_lessons": chance() < 0.5,
        "co_taught_no_cover": chance() < 0.4,
        "away_classes": rng.sample(classes, 1) if chance() < 0.2 else [],
        "supply": supply,
    }


def model_policy(options):
    """The model's view of a Policy made from these keyword arguments."""
    policy = default_policy()
    for name, value in options.items():
        setattr(policy, name, value)
    return policy


def pins(rng, teachers, lessons, absences, options):
    """Up to two pins on lessons that need cover, to teachers present then (who may teach or
    be unavailable then), each substitute once a period; a combined set pinned whole."""
    if rng.random() < 0.6:
        return ()
    policy = model_policy({**options, "pinned": ()})
    day = Day(teachers, lessons, absences, policy)
    units = units_of(day, lessons, policy)
    made, taken = [], set()
    for unit in rng.sample(units, min(len(units), rng.randint(1, 2))):
        there = [t for t in (*day.teachers, *day.supply) if day.is_present(t, unit.period)
                 and (t, unit.period) not in taken]
        if there:
            substitute = rng.choice(there)
            taken.add((substitute, unit.period))
            made += [(*lesson, substitute) for lesson in unit.lessons]
    return tuple(made)

