"""Planning a school's date: recorded in the ledger once, re-plans keep the covers already given."""
import pytest
from office_support import MONDAY, TUESDAY, covers, make_school, office


@pytest.fixture
def school(tmp_path):
    return make_school(tmp_path / "school")


def plan(capsys, school, *args, date=MONDAY):
    status, out, err = office(capsys, "plan", "--school", school, "--date", date, "--format", "csv", *args)
    assert status == 0, err
    return out, err


def test_planning_twice_records_one_plan_and_changes_nobody(capsys, school):
    office(capsys, "absent", "DEF", "KMJ", "--date", MONDAY, "--school", school)
    first_out, _ = plan(capsys, school)
    first = covers(school, MONDAY)
    second_out, err = plan(capsys, school)
    assert err == ""
    assert covers(school, MONDAY) == {lesson: (sub, "kept") for lesson, (sub, _) in first.items()}
    assert first_out == second_out
    status, out, _ = office(capsys, "history", "--school", school, "--format", "csv")
    counts = dict(line.split(",")[:2] for line in out.splitlines()[1:] if line)
    assert sum(map(int, counts.values())) == len(first)


def test_a_late_call_in_keeps_every_cover_that_still_stands(capsys, school):
    office(capsys, "absent", "DEF", "--date", MONDAY, "--school", school)
    plan(capsys, school)
    before = covers(school, MONDAY)
    # The substitute of DEF's period-4 lesson goes home sick before period 4.
    substitute = before[("DEF", 4, "9A")][0]
    office(capsys, "absent", substitute, "--periods", "4-5", "--reason", "Sick (phoned at 11:00)",
           "--date", MONDAY, "--school", school)
    _, err = plan(capsys, school)
    after = covers(school, MONDAY)
    assert f"lessoncover: 9A period 4: {substitute} is now absent; re-planned\n" in err
    assert after[("DEF", 4, "9A")][0] != substitute
    for lesson, (sub, _) in before.items():
        if lesson[1] < 4 or sub != substitute:
            assert after[lesson] == (sub, "kept"), lesson
    # The sick teacher's own lessons in periods 4-5 are planned now, and nobody covers twice at once.
    assert {lesson for lesson in after if lesson[0] == substitute} == {
        lesson for lesson in after if lesson[0] == substitute and lesson[1] in (4, 5)}
    busy = [(sub, period) for (_, period, _), (sub, _) in after.items()]
    assert len(busy) == len(set(busy))


def test_a_cover_whose_lesson_needs_none_is_released(capsys, school):
    office(capsys, "absent", "DEF", "--date", MONDAY, "--school", school)
    plan(capsys, school)
    office(capsys, "absent", "DEF", "--periods", "1", "--date", MONDAY, "--school", school)
    _, err = plan(capsys, school)
    assert "9A period 4: DEF is no longer absent then; " in err
    assert set(covers(school, MONDAY)) == {("DEF", 1, "9C")}


def test_fresh_discards_the_earlier_plan(capsys, school):
    office(capsys, "absent", "DEF", "--date", MONDAY, "--school", school)
    plan(capsys, school)
    plan(capsys, school, "--fresh")
    assert {how for _, how in covers(school, MONDAY).values()} == {"planned"}


def test_absences_file_replaces_the_dates_absences(capsys, school, tmp_path):
    office(capsys, "absent", "KMJ", "--date", MONDAY, "--school", school)
    absences = tmp_path / "absences.csv"
    absences.write_text("name,reason,periods\nDEF,Course,1\n", encoding="utf-8")
    plan(capsys, school, "--absences", absences)
    status, out, _ = office(capsys, "absences", "--date", MONDAY, "--school", school)
    assert "DEF: periods 1, Course" in out and "KMJ" not in out
    assert set(covers(school, MONDAY)) == {("DEF", 1, "9C")}


@pytest.mark.parametrize(("date", "counted"), [(TUESDAY, True), ("2025-03-14", True), ("2025-03-17", False)])
def test_prior_covers_come_from_the_fairness_window(capsys, school, date, counted):
    # The week's earlier covers rank a colleague; a new week starts from nothing.
    office(capsys, "absent", "KMJ", "--date", MONDAY, "--school", school)
    plan(capsys, school)
    given = sum(1 for sub, _ in covers(school, MONDAY).values() if sub == "ABC")
    assert given >= 1
    office(capsys, "absent", "KMJ", "--date", date, "--school", school)
    status, out, err = office(capsys, "candidates", "--date", date, "--class", "9A", "--period", "3",
                              "--school", school)
    assert status == 0, err
    expected = given if counted else 0
    assert f"ABC  Mathematics: 2 lessons, {expected} prior cover" in out


def test_the_current_folder_that_is_a_school_is_planned(capsys, school, monkeypatch):
    office(capsys, "absent", "DEF", "--date", MONDAY, "--school", school)
    monkeypatch.chdir(school)
    status, out, err = office(capsys, "plan", "--date", MONDAY)
    assert status == 0 and err == ""
    assert "DEF" in out and "9A" in out


@pytest.mark.parametrize("command", [
    ["absent", "KMJ"], ["assign", "--class", "9A", "--period", "1", "ABC"],
    ["unassign", "--class", "9A", "--period", "1"], ["history"],
])
def test_office_commands_outside_a_school_say_how_to_make_one(capsys, tmp_path, monkeypatch, command):
    monkeypatch.chdir(tmp_path)
    status, out, err = office(capsys, *command)
    assert (status, out) == (2, "")
    assert err == "lessoncover: error: not a school folder; run lessoncover init\n"


@pytest.mark.parametrize("option", [["--date", MONDAY], ["--fresh"]])
def test_school_options_without_a_school_are_refused(capsys, tmp_path, monkeypatch, option):
    monkeypatch.chdir(tmp_path)
    status, _, err = office(capsys, "plan", *option)
    assert status == 2 and "needs a school folder" in err


def test_a_weekend_date_is_refused(capsys, school):
    status, _, err = office(capsys, "absent", "KMJ", "--date", "2025-03-15", "--school", school)
    assert status == 2 and "not a school day" in err


def test_a_subject_typo_is_said_once_and_strict_records_nothing(capsys, tmp_path):
    from office_support import TEACHERS

    school = make_school(tmp_path / "school", teachers=TEACHERS.replace("KMJ,Mathematics", "KMJ,Mathematcs"))
    office(capsys, "absent", "DEF", "--date", MONDAY, "--school", school)
    status, _, err = office(capsys, "plan", "--school", school, "--date", MONDAY)
    assert status == 0 and err.count("Mathematcs") == 1
    status, out, err = office(capsys, "plan", "--school", school, "--date", TUESDAY, "--strict")
    assert (status, out) == (2, "") and "--strict makes warnings errors" in err
    assert covers(school, TUESDAY) == {}


def test_an_absences_file_naming_a_teacher_twice_is_refused(capsys, school, tmp_path):
    absences = tmp_path / "absences.csv"
    absences.write_text("name,reason\nDEF,Course\nDEF,Sick\n", encoding="utf-8")
    status, _, err = office(capsys, "plan", "--school", school, "--date", MONDAY, "--absences", absences)
    assert status == 2 and err.endswith("line 3: duplicate absence of 'DEF' (first on line 2)\n")
    assert covers(school, MONDAY) == {}
