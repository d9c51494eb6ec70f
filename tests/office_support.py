"""A small school folder for the office tests, and a way to run the command on it in-process."""
import textwrap

from lessoncover_planner.cli import main

# Six teachers; every lesson is taught every day. Periods 1-5.
TEACHERS = """\
name,subject,unavailable
KMJ,Mathematics,
ABC,Mathematics,
DEF,English,
GHI,English,
JKL,Science,1
MNO,History,
"""
LESSONS = """\
teacher,period,class,room,day
KMJ,1,9A,M1,
KMJ,3,9A,M1,
KMJ,4,9B,M1,
KMJ,5,9C,M1,
ABC,1,9B,M2,
ABC,2,9C,M2,
DEF,1,9C,E1,
DEF,4,9A,E1,
DEF,5,9B,E1,Mon
GHI,2,9A,E2,
GHI,5,9B,E2,Tue
JKL,3,9B,S1,
JKL,4,9C,S1,
MNO,3,9C,H1,
MNO,5,9A,H1,
"""
# The tests assert the substitutes of the greedy rules; a school folder plans with "best" unless told.
GREEDY = '[policies]\nstrategy = "greedy"\n'
SCHOOL_TOML = """\
fairness_window = "week"
""" + GREEDY

MONDAY, TUESDAY, WEDNESDAY = "2025-03-10", "2025-03-11", "2025-03-12"


def make_school(folder, school_toml=SCHOOL_TOML, teachers=TEACHERS, lessons=LESSONS):
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "school.toml").write_text(textwrap.dedent(school_toml), encoding="utf-8")
    (folder / "teachers.csv").write_text(teachers, encoding="utf-8")
    (folder / "lessons.csv").write_text(lessons, encoding="utf-8")
    return folder


def office(capsys, *args):
    """Run ``lessoncover`` in-process; return (status, stdout, stderr)."""
    capsys.readouterr()
    status = main([str(arg) for arg in args])
    shown = capsys.readouterr()
    return status, shown.out, shown.err


def covers(school, date):
    """The date's recorded covers as {(absent, period, class): (substitute, how)}."""
    from lessoncover_planner.office.ledger import Ledger
    import datetime

    with Ledger.open(school / "lessoncover.db", create=False) as ledger:
        return {(c.absent, c.period, c.class_name): (c.substitute, c.how)
                for c in ledger.covers_on(datetime.date.fromisoformat(date))}
