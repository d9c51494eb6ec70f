"""The rules of cover written plainly over plain data: what lessoncover_planner.plan must give.

The school is the one the planner builds: teachers in order, every lesson
registered, the classes added in order of first appearance (so the teacher
list is sorted once, stably, by number of distinct (period, class) lessons),
then one generation as in benchmarks/reference.py.  Subjects are grouped by
the key resolve_subject gives: the index of a known subject, or the lower-cased
text of any other, shown as first written.
"""
import reference  # benchmarks/, put on sys.path by conftest.py

from lessoncover_planner import SUBJECTS, resolve_subject

DEFAULT_REASON = "Planned Absense"
HEADER = "Teacher,Period,Subject,Substitution,Classroom,Reason\n"


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


def model_plan(teachers, lessons, absences):
    """(report without its timing line, cover rows, uncovered rows) of the day."""
    subjects = subjects_of(teachers)
    reasons = {name: reason or DEFAULT_REASON for name, reason in absences.items()}
    lesson_pairs = {name: set() for name, _ in teachers}
    for teacher, period, class_name in lessons:
        lesson_pairs[teacher].add((period, class_name))
    teaching = {(teacher, period) for teacher, period, _ in lessons}
    present = [t for t in sorted(lesson_pairs, key=lambda t: len(lesson_pairs[t])) if t not in reasons]
    covering = set()

    covers, uncovered = [], []
    for absent, period, class_name in absent_lessons(lessons, dict.fromkeys(reasons)):
        key, shown = subjects[absent]

        def free(teacher):
            return (teacher, period) not in teaching and (teacher, period) not in covering

        colleagues = sorted((t for t in present if subjects[t][0] == key), key=lambda t: len(lesson_pairs[t]))
        choice = next(((t, "subject") for t in colleagues if free(t)), None)
        choice = choice or next(((t, "any") for t in present if free(t)), None)
        if choice is None:
            teach = sum((t, period) in teaching for t in present)
            cover = sum((t, period) in covering for t in present)
            uncovered.append((absent, period, shown, class_name, reasons[absent], len(present), teach, cover))
            continue
        substitute, rule = choice
        covering.add((substitute, period))
        lesson_pairs[substitute].add((period, class_name))
        covers.append((absent, period, shown, substitute, class_name, reasons[absent], rule))
    return render(covers, uncovered), covers, uncovered


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


def render(covers, uncovered):
    """The report of these records, up to the timing line."""
    rows = [",".join(reference.csv_field(str(field)) for field in (a, p, s, sub, c, r)) + "\n"
            for a, p, s, sub, c, r, _ in covers]
    missing = "".join("Couldnt find a substitution for %s at %d-%s\n" % (a, p, reference.quoted(c))
                      for a, p, _, c, *_ in uncovered)
    return HEADER + "".join(rows) + "\n" + reference.quoted(missing)
