"""Changes by hand (assign, unassign) and who could take a lesson (candidates)."""
import datetime
import random

import pytest
from office_support import GREEDY, LESSONS, MONDAY, covers, make_school, office

from lessoncover_planner.office.office import Office


@pytest.fixture
def school(tmp_path):
    folder = make_school(tmp_path / "school")
    office_args = ("--date", MONDAY, "--school", folder)
    return folder, office_args


def absent(capsys, school, *names, periods=None):
    folder, where = school
    args = ["absent", *names, *where] + (["--periods", periods] if periods else [])
    assert office(capsys, *args)[0] == 0


@pytest.mark.parametrize(("substitute", "lesson", "setup", "why"), [
    ("DEF", ("KMJ", 3, "9A"), [], "absent: Planned Absense"),
    ("MNO", ("KMJ", 3, "9A"), [], "teaching 9C"),
    ("JKL", ("KMJ", 1, "9A"), [], "unavailable in period 1"),
    ("ABC", ("DEF", 4, "9A"), [("ABC", "9B", "4")], "covering 9B for KMJ"),
])
def test_assign_refuses_with_the_reason_and_force_overrides_all_but_absence(capsys, school, substitute, lesson,
                                                                          setup, why):
    folder, where = school
    absent(capsys, school, "KMJ", "DEF")
    for teacher, class_name, period in setup:
        assert office(capsys, "assign", teacher, "--class", class_name, "--period", period, *where)[0] == 0
    _, period, class_name = lesson
    asked = ("assign", substitute, "--class", class_name, "--period", period, *where)
    status, out, err = office(capsys, *asked)
    forceable = why != "absent: Planned Absense"
    hint = " (--force sets it all the same)" if forceable else ""
    assert (status, out) == (2, "")
    assert err == f"lessoncover: error: {substitute} cannot take {class_name} period {period}: {why}{hint}\n"
    assert lesson not in covers(folder, MONDAY)
    status, out, err = office(capsys, *asked, "--force")
    if forceable:
        assert status == 0, err
        assert covers(folder, MONDAY)[lesson] == (substitute, "forced")
    else:
        assert status == 2 and lesson not in covers(folder, MONDAY)


def test_cap_refusal_and_a_lesson_nobody_is_absent_from(tmp_path, capsys):
    folder = make_school(tmp_path / "s", school_toml=GREEDY + "max_covers = 1\n")
    where = ("--date", MONDAY, "--school", folder)
    office(capsys, "absent", "KMJ", *where)
    assert office(capsys, "assign", "MNO", "--class", "9A", "--period", "1", *where)[0] == 0
    status, _, err = office(capsys, "assign", "MNO", "--class", "9B", "--period", "4", *where)
    assert status == 2 and err.endswith("MNO cannot take 9B period 4: at the cap: 1 cover today "
                                         "(--force sets it all the same)\n")
    status, _, err = office(capsys, "assign", "GHI", "--class", "9C", "--period", "2", *where)
    assert status == 2 and "no lesson in 9C period 2 whose teacher is absent then" in err


def test_forced_and_manual_covers_are_kept_by_a_replan(capsys, school):
    folder, where = school
    absent(capsys, school, "KMJ")
    # MNO teaches 9C in period 3: forced.
    assert office(capsys, "assign", "MNO", "--class", "9A", "--period", "3", "--force", *where)[0] == 0
    assert office(capsys, "assign", "JKL", "--class", "9C", "--period", "5", *where)[0] == 0
    status, _, err = office(capsys, "plan", *where)
    assert status == 0, err
    recorded = covers(folder, MONDAY)
    assert recorded[("KMJ", 3, "9A")] == ("MNO", "forced")
    assert recorded[("KMJ", 5, "9C")] == ("JKL", "manual")
    assert set(recorded) == {("KMJ", 1, "9A"), ("KMJ", 3, "9A"), ("KMJ", 4, "9B"), ("KMJ", 5, "9C")}


def test_two_absent_lessons_in_one_class_and_period_need_absent(capsys, tmp_path):
    lessons = LESSONS + "ABC,3,9A,M1,\n"  # ABC and KMJ teach 9A together in period 3
    folder = make_school(tmp_path / "s", lessons=lessons)
    where = ("--date", MONDAY, "--school", folder)
    office(capsys, "absent", "KMJ", "ABC", *where)
    status, _, err = office(capsys, "assign", "JKL", "--class", "9A", "--period", "3", *where)
    assert status == 2 and "has lessons of KMJ, ABC, all absent; say which with --absent" in err
    assert office(capsys, "assign", "DEF", "--class", "9A", "--period", "3", "--absent", "ABC", *where)[0] == 0
    assert covers(folder, MONDAY) == {("ABC", 3, "9A"): ("DEF", "manual")}
    status, out, _ = office(capsys, "unassign", "--class", "9A", "--period", "3", "--absent", "ABC", *where)
    assert status == 0 and "DEF no longer covers ABC" in out and covers(folder, MONDAY) == {}


def test_pinning_one_lesson_of_a_combined_set_pins_the_set(capsys, tmp_path):
    lessons = LESSONS + "KMJ,3,9D,M1,\n"  # KMJ teaches 9A and 9D together in period 3
    folder = make_school(tmp_path / "s", school_toml=GREEDY + "combined_lessons = true\n", lessons=lessons)
    where = ("--date", MONDAY, "--school", folder)
    office(capsys, "absent", "KMJ", *where)
    assert office(capsys, "assign", "DEF", "--class", "9D", "--period", "3", *where)[0] == 0
    recorded = covers(folder, MONDAY)
    assert recorded == {("KMJ", 3, "9A"): ("DEF", "manual"), ("KMJ", 3, "9D"): ("DEF", "manual")}
    assert office(capsys, "plan", *where)[0] == 0
    recorded = covers(folder, MONDAY)
    assert recorded[("KMJ", 3, "9A")] == recorded[("KMJ", 3, "9D")] == ("DEF", "manual")


def _random_school(seed, tmp_path, supply=False, strategy="greedy"):
    rng = random.Random(seed)
    subjects = ["Mathematics", "English", "Science"]
    names = [f"T{number:02}" for number in range(rng.randint(4, 9))]
    # with supply, about a third of the teachers are supply staff, in no particular place in the file
    marks = [rng.choice(["yes", "", "no"]) if supply else "" for _ in names]
    teachers = "name,subject,supply\n" + "".join(f"{name},{rng.choice(subjects)},{mark}\n"
                                                  for name, mark in zip(names, marks))
    rows = {(rng.choice(names), rng.randint(1, 5), f"C{rng.randint(1, 4)}") for _ in range(rng.randint(6, 25))}
    lessons = "teacher,period,class\n" + "".join(f"{t},{p},{c}\n" for t, p, c in sorted(rows))
    school_toml = f'[policies]\nstrategy = "{strategy}"\n'
    return make_school(tmp_path / f"s{seed}", school_toml, teachers=teachers, lessons=lessons), names, rng


@pytest.mark.parametrize("strategy", ["greedy", "best"])
@pytest.mark.parametrize("supply", [False, True], ids=["staff", "supply"])
@pytest.mark.parametrize("seed", range(25))
def test_the_first_candidate_is_whom_the_planner_chooses(seed, supply, strategy, tmp_path):
    # With every other lesson of the day covered as recorded, the planner's choice for the
    # one left is the first candidate the office lists; supply staff come last (under the
    # greedy rules in file order), and the best plan ranks by its figures.
    folder, names, rng = _random_school(seed, tmp_path, supply, strategy)
    date = datetime.date(2025, 3, 10)
    with Office(folder) as school:
        teaching = sorted({line.split(",")[0] for line in (folder / "lessons.csv").read_text().splitlines()[1:]})
        school.record_absences(date, rng.sample(teaching, min(len(teaching), rng.randint(1, 2))), None)
        planned = school.plan(date)
        if not planned.covers:
            pytest.skip("nothing to cover")
        chosen = rng.choice(planned.covers)
        school.unassign(date, chosen.class_name, chosen.period, absent=chosen.absent)
        found = school.candidates(date, chosen.absent, chosen.period, chosen.class_name)
        again = school.plan(date)
    replanned = {(c.absent, c.period, c.class_name): c.substitute for c in again.covers}
    lesson = (chosen.absent, chosen.period, chosen.class_name)
    assert found.ranked and found.ranked[0].name == replanned[lesson]
    excluded = {entry.name for entry in found.excluded}
    assert excluded.isdisjoint(candidate.name for candidate in found.ranked)
    assert excluded | {c.name for c in found.ranked} | {chosen.absent} == set(names)

