"""The school folder: school.toml, a timetable by day label, any date's day built from it,
init (never overwriting) and the bundled sample school, planned."""
import os
from datetime import date, timedelta
from importlib import resources

import pytest

from lessoncover_planner import Policy, plan
from lessoncover_planner.cli.errors import InputError
from lessoncover_planner.cli.formats import render
from lessoncover_planner.office.calendar import NotASchoolDay
from lessoncover_planner.office.school_folder import (LEDGER_FILE, SCHOOL_FILE, LessonRow, init_school, is_school,
                                                      read_school, school_day)
from lessoncover_planner.office.school_settings import POLICY_SETTINGS, SETTINGS

D = date.fromisoformat
MONDAY, TUESDAY = D("2025-09-01"), D("2025-09-02")
TEACHERS = "name,subject,unavailable\nAsha,maths,\nBen,maths,5\nCleo,english,1-2\nDev,art,\n"
PERIODS = '[periods]\n1 = "08:45-09:40"\n2 = "09:40-10:35"\n3 = "10:55-11:50"\n4 = "11:50-12:45"\n5 = "13:45-14:40"\n'


def school_folder(tmp_path, toml=None, lessons="teacher,period,class\nAsha,1,7A\n", teachers=TEACHERS):
    folder = tmp_path / "school"
    folder.mkdir(exist_ok=True)
    if toml is not None:
        (folder / SCHOOL_FILE).write_text(toml, encoding="utf-8")
    (folder / "teachers.csv").write_text(teachers, encoding="utf-8")
    (folder / "lessons.csv").write_text(lessons, encoding="utf-8")
    return folder


def lessons_on(school, day):
    return sorted(school_day(school, day, {}).lessons)


# --- school.toml ------------------------------------------------------------------------------

def test_a_folder_without_school_toml_runs_monday_to_friday(tmp_path):
    school = read_school(school_folder(tmp_path))
    assert school.calendar.days == ("Mon", "Tue", "Wed", "Thu", "Fri")
    assert (school.period_times, school.policy_defaults, school.warnings) == ({}, {}, [])
    assert school.ledger_path == tmp_path / "school" / LEDGER_FILE


def test_every_setting_is_read(tmp_path):
    toml = ('days = ["A-Mon", "A-Tue", "A-Wed", "A-Thu", "A-Fri", "B-Mon", "B-Tue", "B-Wed", "B-Thu", "B-Fri"]\n'
            'cycle_start = "2025-09-01"\n'
            'holidays = [2025-10-27, [2025-12-22, 2026-01-02]]\n'
            'terms = [2026-01-05, 2025-09-01]\n'
            'fairness_window = 10\n' + PERIODS
            + '[policies]\nmax_covers = 2\nkeep_doubles = true\n')
    school = read_school(school_folder(tmp_path, toml))
    calendar = school.calendar
    assert calendar.cycle_start == D("2025-09-01") and len(calendar.days) == 10
    assert len(calendar.holidays) == 1 + 12 and D("2025-12-31") in calendar.holidays
    assert calendar.terms == (D("2025-09-01"), D("2026-01-05"))
    assert calendar.fairness_window == 10
    assert school.period_times == {1: "08:45-09:40", 2: "09:40-10:35", 3: "10:55-11:50", 4: "11:50-12:45",
                                   5: "13:45-14:40"}
    assert school.policy_defaults == {"max_covers": 2, "keep_doubles": True}


@pytest.mark.parametrize("value", ["2025-09-01", "'2025-09-01'", '" 2025-09-01 "'])
def test_cycle_start_is_a_toml_date_or_an_iso_string(tmp_path, value):
    school = read_school(school_folder(tmp_path, f'days = ["X", "Y"]\ncycle_start = {value}\n'))
    assert school.calendar.cycle_start == D("2025-09-01")


def test_cycle_start_with_weekday_names_is_a_warning(tmp_path):
    school = read_school(school_folder(tmp_path, "holidays = [2025-09-02]\ncycle_start = 2025-09-01\n"))
    assert len(school.warnings) == 1 and "school.toml, line 2: cycle_start with weekday names" in school.warnings[0]
    assert school.calendar.label(D("2025-09-03")) == "Tue"  # as the warning says


def test_a_term_window_without_terms_is_a_warning(tmp_path):
    school = read_school(school_folder(tmp_path, 'fairness_window = "term"\n'))
    assert len(school.warnings) == 1 and "no terms are given" in school.warnings[0]


@pytest.mark.parametrize("toml, line, problem", [
    ('dayz = ["Mon"]\n', 1, "dayz: not a setting (did you mean 'days'?)"),
    ('# a comment\nholiday = []\n', 2, "holiday: not a setting (did you mean 'holidays'?)"),
    ('days = "Mon"\n', 1, "days: expected a list of labels"),
    ('days = ["A1", "A2"]\n', 1, "days: ['A1', 'A2'] are the labels of a cycle, which needs cycle_start"),
    ('days = ["Mon", "Tue", "mon"]\n', 1, "days: names 'mon' twice (also as 'Mon')"),
    ('days = ["A", "B"]\ncycle_start = 2025-09-06\n', 2, "cycle_start: 2025-09-06 is not a school day: "
                                                       "2025-09-06 is a Saturday"),
    ('days = ["A", "B"]\ncycle_start = 2025-09-01T08:00:00\n', 2, "cycle_start: 2025-09-01T08:00:00 has a time"),
    ('days = ["A", "B"]\ncycle_start = "1 Sept"\n', 2, "cycle_start: '1 Sept' is not a date"),
    ('holidays = [[2025-12-22, 2025-12-01]]\n', 1, "holidays: the range [2025-12-22, 2025-12-01] runs backwards"),
    ('holidays = [[2025-12-22]]\n', 1, "holidays: a range is [first, last]"),
    ('holidays = [[2025-01-01, 2027-01-01]]\n', 1, "longer than a year"),
    ('holidays = 2025-12-22\n', 1, "holidays: expected a list"),
    ('holidays = ["2025-02-30"]\n', 1, "holidays: '2025-02-30' is not a date: day is out of range"),
    ('terms = ["soon"]\n', 1, "terms: 'soon' is not a date such as"),
    ('fairness_window = "month"\n', 1, 'fairness_window: expected "week", "term" or a number'),
    ('fairness_window = true\n', 1, "fairness_window: expected"),
    ('fairness_window = -2\n', 1, "fairness_window: expected"),
    ('[periods]\n1 = 8\n', 2, 'the time of period 1 is a text such as "08:45-09:40"'),
    ('[periods]\nfirst = "08:00"\n', 2, "period 'first' is not a whole number"),
    ('periods = 5\n', 1, "periods: expected a table"),
    ('[periods]\n1 = "08:00-09:00"\n"01" = "09:00-10:00"\n', 3, '01: period 1 is given twice'),
    ('[policies]\nmax_cover = 2\n', 2, "max_cover: not a policy (did you mean 'max_covers'?)"),
    ('[policies]\nkeep_doubles = "yes"\n', 2, "keep_doubles: expected true or false"),
    ('[policies]\nmax_covers = true\n', 2, "max_covers: expected a number of covers"),
    ('[policies]\nmax_covers = -1\n', 2, "max_covers: expected a number of covers"),
    ('days = ["Mon"\n', 1, "not valid TOML: Unclosed array at the end of the file"),
    ('# the days\ndays = ["Mon", \n\n', 2, "at the end of the file"),
    ('terms = [2025-13-01]\n', 1, "not valid TOML"),
    ('fairness_window = "week"\nfairness_window = 3\n', 2, "not valid TOML"),
])
def test_a_bad_setting_is_an_error_naming_the_file_the_key_and_the_line(tmp_path, toml, line, problem):
    folder = school_folder(tmp_path, toml)
    with pytest.raises(InputError) as raised:
        read_school(folder)
    assert (raised.value.path, raised.value.line) == (folder / SCHOOL_FILE, line)
    assert problem in raised.value.problem
    assert str(raised.value).startswith(f"{folder / SCHOOL_FILE}, line {line}: ")


def test_school_toml_that_is_not_utf8_names_the_line(tmp_path):
    folder = school_folder(tmp_path)
    (folder / SCHOOL_FILE).write_bytes(b'days = ["Mon"]\n# caf\xe9\n')
    with pytest.raises(InputError, match=r"school.toml, line 2: not valid UTF-8"):
        read_school(folder)


@pytest.mark.parametrize("files, expected", [((), False), ((SCHOOL_FILE,), True), ((LEDGER_FILE,), True)])
def test_a_school_folder_holds_school_toml_or_the_ledger(tmp_path, files, expected):
    for name in files:
        (tmp_path / name).write_bytes(b"")
    assert is_school(tmp_path) is expected


# --- lessons.csv by day -----------------------------------------------------------------------

@pytest.mark.parametrize("spelling", ["Mon", "mon", "Monday", "MONDAY", " monday "])
def test_a_weekday_in_any_spelling_picks_that_weekdays_lessons(tmp_path, spelling):
    lessons = f"teacher,period,class,day\nAsha,1,7A,{spelling}\nBen,2,7B,Tue\nCleo,3,7C,\n"
    school = read_school(school_folder(tmp_path, lessons=lessons))
    assert school.lessons[0] == LessonRow("Asha", 1, "7A", "", spelling.strip(), 2)
    assert lessons_on(school, MONDAY) == [("Asha", 1, "7A"), ("Cleo", 3, "7C")]
    assert lessons_on(school, TUESDAY) == [("Ben", 2, "7B"), ("Cleo", 3, "7C")]
    assert lessons_on(school, MONDAY + timedelta(days=7)) == lessons_on(school, MONDAY)


AB_TOML = ('days = ["A-Mon", "A-Tue", "A-Wed", "A-Thu", "A-Fri", "B-Mon", "B-Tue", "B-Wed", "B-Thu", "B-Fri"]\n'
           "cycle_start = 2025-09-01\nholidays = [2025-09-10]\n")
AB_LESSONS = "teacher,period,class,day\nAsha,1,7A,A-Mon\nBen,1,7B,b-mon\nCleo,2,7C,Mon\nDev,3,8A,B-Wed\n"


@pytest.mark.parametrize("day, lessons", [
    ("2025-09-01", [("Asha", 1, "7A"), ("Cleo", 2, "7C")]),      # A-Mon: its own row and every Monday's
    ("2025-09-08", [("Ben", 1, "7B"), ("Cleo", 2, "7C")]),       # B-Mon
    ("2025-09-11", [("Dev", 3, "8A")]),                           # a Thursday, B-Wed after the holiday
    ("2025-09-15", [("Cleo", 2, "7C")]),                          # B-Fri, a Monday
    ("2025-09-16", [("Asha", 1, "7A")]),                          # A-Mon again, a Tuesday
])
def test_cycle_labels_pick_the_days_lessons(tmp_path, day, lessons):
    school = read_school(school_folder(tmp_path, AB_TOML, AB_LESSONS))
    assert lessons_on(school, D(day)) == lessons


@pytest.mark.parametrize("toml, label, hint", [
    (None, "Sat", "(the days are Mon, Tue, Wed, Thu, Fri)"),
    (None, "Mnday", ""),
    (AB_TOML, "A-Mnn", "(did you mean 'A-Mon'?)"),
    (AB_TOML, "C-Mon", "(the days are A-Mon, A-Tue"),
])
def test_a_day_that_is_no_day_of_the_timetable_is_an_error_naming_the_line(tmp_path, toml, label, hint):
    folder = school_folder(tmp_path, toml, f"teacher,period,class,day\nAsha,1,7A,Mon\nBen,2,7B,{label}\n")
    with pytest.raises(InputError) as raised:
        read_school(folder)
    assert (raised.value.path, raised.value.line) == (folder / "lessons.csv", 3)
    assert raised.value.problem.startswith(f"day {label!r} is not a day of the timetable") and hint in raised.value.problem


def test_a_saturday_school_has_saturday_lessons(tmp_path):
    folder = school_folder(tmp_path, 'days = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat"]\n',
                           "teacher,period,class,day\nAsha,1,7A,Sat\nBen,1,7B,\n")
    school = read_school(folder)
    assert lessons_on(school, D("2025-09-06")) == [("Asha", 1, "7A"), ("Ben", 1, "7B")]
    with pytest.raises(NotASchoolDay, match="2025-09-07 is a Sunday"):
        school_day(school, D("2025-09-07"), {})


@pytest.mark.parametrize("lessons, line, problem", [
    ("teacher,period,class\nAsha,1,7A\nAsh,2,7B\n", 3, "teacher 'Ash' is not in teachers.csv (did you mean 'Asha'?)"),
    ("teacher,period,class\nAsha,one,7A\n", 2, "period 'one' is not a whole number"),
    ("teacher,period,class\nAsha,6,7A\n", 2, "period 6 is not one of the periods in school.toml (1, 2, 3, 4, 5)"),
    ("teacher,class\nAsha,7A\n", 1, "header misses column 'period' (expected 'teacher,period,class')"),
])
def test_a_bad_lesson_row_is_an_error_naming_the_line(tmp_path, lessons, line, problem):
    folder = school_folder(tmp_path, PERIODS, lessons)
    with pytest.raises(InputError) as raised:
        read_school(folder)
    assert (raised.value.path, raised.value.line, raised.value.problem) == (folder / "lessons.csv", line, problem)


# --- a date's day -----------------------------------------------------------------------------

def test_a_dates_day_holds_the_timetable_and_the_ledgers_absences(tmp_path):
    lessons = "teacher,period,class,room,day\nAsha,1,7A,M1,Mon\nAsha,2,7A,,Mon\nBen,1,7B,M2,\nCleo,3,7C,E1,Tue\n"
    folder = school_folder(tmp_path, PERIODS, lessons)
    day = school_day(read_school(folder), MONDAY, {"Asha": ("Sick", ""), "Cleo": (None, "1;3")})
    assert (day.name, day.folder) == ("2025-09-01", folder)
    assert day.teachers == [("Asha", "maths"), ("Ben", "maths"), ("Cleo", "english"), ("Dev", "art")]
    assert day.lessons == [("Asha", 1, "7A"), ("Asha", 2, "7A"), ("Ben", 1, "7B")]
    assert day.rooms == {("Asha", 1, "7A"): "M1", ("Ben", 1, "7B"): "M2"}
    assert day.absences == {"Asha": "Sick", "Cleo": None}
    assert day.absent_ranges == {"Cleo": ((1, 1), (3, 3))}
    assert day.absent_periods == {"Cleo": (1, 3)}
    assert day.unavailable == {"Ben": (5,), "Cleo": (1, 2)}
    assert day.period_times[3] == "10:55-11:50"
    assert day.planner_absences() == {"Asha": "Sick", "Cleo": (None, (1, 3))}


def test_the_schools_periods_are_the_days_periods_for_absence_warnings(tmp_path):
    lessons = "teacher,period,class,day\nAsha,1,7A,Mon\nBen,2,7B,Mon\nCleo,3,7C,Mon\nDev,5,8A,Tue\n"
    with_times = read_school(school_folder(tmp_path, PERIODS, lessons))
    day = school_day(with_times, MONDAY, {"Asha": ("Course", "4-5")})
    assert day.absent_periods == {"Asha": (4, 5)}
    assert not any("not periods of this day" in warning for warning in day.warnings)
    assert day.warnings == [f"{with_times.ledger_path}, absences of 2025-09-01 (Mon): absent teacher 'Asha' "
                            "has no lessons in periods 4-5; nothing to cover"]
    # Without [periods] a day's periods are those its lessons use, and 4-5 lies outside them.
    (with_times.folder / SCHOOL_FILE).unlink()
    day = school_day(read_school(with_times.folder), MONDAY, {"Asha": ("Course", "4-5")})
    assert "periods 4-5 of 'Asha' are not periods of this day (its lessons use 1-3)" in day.warnings[0]


def test_periods_outside_the_schools_periods_are_named_against_them(tmp_path):
    school = read_school(school_folder(tmp_path, PERIODS, "teacher,period,class\nAsha,1,7A\n"))
    day = school_day(school, MONDAY, {"Asha": (None, "5-7")})
    assert "periods 6-7 of 'Asha' are not periods of this day (the day has periods 1-5)" in day.warnings[0]


def test_the_schools_warnings_come_with_every_day(tmp_path):
    folder = school_folder(tmp_path, 'fairness_window = "term"\n',
                           teachers="name,subject\nAsha,mathematcs\nBen,maths\n")
    day = school_day(read_school(folder), MONDAY, {"Ben": (None, "")})
    assert len(day.warnings) == 3
    assert "no terms" in day.warnings[0] and "did you mean 'mathematics'" in day.warnings[1]
    assert "absent teacher 'Ben' has no lessons this day" in day.warnings[2]


def test_a_duplicate_lesson_on_the_day_is_a_warning_naming_both_lines(tmp_path):
    folder = school_folder(tmp_path, lessons="teacher,period,class,day\nAsha,1,7A,Mon\nAsha,1,7A,\nAsha,1,7A,Tue\n")
    school = read_school(folder)
    assert school_day(school, MONDAY, {}).warnings == [
        f"{folder / 'lessons.csv'}, line 3: duplicate lesson of 'Asha' in period 1 with class '7A' "
        "(first on line 2); planned once"]
    assert school_day(school, D("2025-09-03"), {}).warnings == []


@pytest.mark.parametrize("absences, problem", [
    ({"Ashа": ("Sick", "")}, "absence of 'Ashа' on 2025-09-01: not a teacher in teachers.csv (did you mean 'Asha'?)"),
    ({"Asha": ("Sick", "x")}, "absence of 'Asha' on 2025-09-01: periods 'x' is not a list of periods"),
    ({"Asha": ("Sick", "5-3")}, "runs backwards"),
])
def test_an_absence_the_timetable_cannot_take_is_an_error_naming_the_ledger(tmp_path, absences, problem):
    school = read_school(school_folder(tmp_path))
    with pytest.raises(InputError) as raised:
        school_day(school, MONDAY, absences)
    assert raised.value.path == school.ledger_path and problem in raised.value.problem


@pytest.mark.parametrize("day, why", [("2025-09-06", "is a Saturday"), ("2025-10-27", "is a holiday")])
def test_a_day_without_school_is_not_built(tmp_path, day, why):
    school = read_school(school_folder(tmp_path, "holidays = [2025-10-27]\n"))
    with pytest.raises(NotASchoolDay, match=why):
        school_day(school, D(day), {})


# --- init -------------------------------------------------------------------------------------

def test_init_writes_a_commented_school_toml_and_empty_timetable_files(tmp_path):
    folder = tmp_path / "new" / "school"
    lines = init_school(folder)
    written = (SCHOOL_FILE, "teachers.csv", "lessons.csv", "absences.csv")
    assert lines[:4] == [f"wrote {folder / name}" for name in written]
    assert [line.split(" ")[0] for line in lines[4:]] == ["set", "fill", "fill", "absences.csv"]
    assert (folder / "teachers.csv").read_text() == "name,subject,unavailable\n"
    assert (folder / "lessons.csv").read_text() == "teacher,period,class,room,day\n"
    assert (folder / "absences.csv").read_text() == "name,reason,periods\n"
    assert not (folder / LEDGER_FILE).exists()  # the command makes the ledger
    school = read_school(folder)  # every default commented out: the defaults
    assert (school.teachers, school.lessons, school.period_times, school.policy_defaults) == ([], [], {}, {})


def test_init_beside_a_timetable_asks_only_for_what_it_wrote(tmp_path):
    (tmp_path / "teachers.csv").write_text("name,subject\nKMJ,Maths\n")
    (tmp_path / "lessons.csv").write_text("teacher,period,class\nKMJ,1,9A\n")
    lines = init_school(tmp_path)
    assert f"kept {tmp_path / 'teachers.csv'}: it exists already" in lines
    assert not any(line.startswith("fill in") for line in lines)


def test_the_template_shows_every_setting_and_policy():
    template = resources.files("lessoncover_planner.office").joinpath("school_template.toml").read_text()
    for key in SETTINGS:
        assert f"# {key} = " in template or f"# [{key}]" in template, key
    for key in POLICY_SETTINGS:
        assert f"# {key} = " in template, key


def test_uncommented_the_templates_settings_are_a_valid_school(tmp_path):
    template = resources.files("lessoncover_planner.office").joinpath("school_template.toml").read_text()
    # the lines that are a setting (or a table) once their "# " is taken away
    settings = [line[2:] for line in template.splitlines()
                if line.startswith("# ") and ("=" in line[2:].split(" ")[1:2] or line.startswith("# ["))]
    folder = school_folder(tmp_path, "\n".join(settings) + "\n")
    school = read_school(folder)
    assert school.calendar.holidays and school.calendar.terms and school.period_times
    assert set(school.policy_defaults) == set(POLICY_SETTINGS)


@pytest.mark.parametrize("sample", [False, True])
def test_init_never_overwrites_a_file(tmp_path, sample):
    folder = tmp_path / "school"
    folder.mkdir()
    (folder / SCHOOL_FILE).write_text("# ours\n")
    (folder / "teachers.csv").write_text("name,subject\nAsha,maths\n")
    os.chmod(folder / "teachers.csv", 0o444)
    lines = init_school(folder, sample=sample)
    assert lines[:3] == [f"kept {folder / SCHOOL_FILE}: it exists already",
                         f"kept {folder / 'teachers.csv'}: it exists already",
                         f"wrote {folder / 'lessons.csv'}"]
    assert (folder / SCHOOL_FILE).read_text() == "# ours\n"
    assert (folder / "teachers.csv").read_text() == "name,subject\nAsha,maths\n"
    assert init_school(folder, sample=sample)[2] == f"kept {folder / 'lessons.csv'}: it exists already"


def test_init_keeps_a_link_without_following_it(tmp_path):
    target = tmp_path / "elsewhere.csv"
    target.write_text("precious\n")
    folder = tmp_path / "school"
    folder.mkdir()
    (folder / "lessons.csv").symlink_to(target)
    assert f"kept {folder / 'lessons.csv'}: it exists already" in init_school(folder)
    assert target.read_text() == "precious\n"


# --- the sample school ------------------------------------------------------------------------

@pytest.fixture(scope="module")
def sample(tmp_path_factory):
    folder = tmp_path_factory.mktemp("sample")
    init_school(folder, sample=True)
    return read_school(folder)


def test_the_sample_school_reads_cleanly(sample):
    assert sample.warnings == []
    assert len(sample.teachers) == 12 and sorted(sample.period_times) == [1, 2, 3, 4, 5]
    assert sample.unavailable and all(row.room for row in sample.lessons)
    assert {row.day for row in sample.lessons} == {"Mon", "Tue", "Wed", "Thu", "Fri"}
    assert all(len(class_name) in (2, 3) and class_name[:-1].isdigit() for class_name in
               {row.class_name for row in sample.lessons})
    assert sample.policy_defaults == {"keep_doubles": True}


def test_the_sample_schools_days_differ(sample):
    week = [school_day(sample, D("2026-09-07") + timedelta(days=n), {}).lessons for n in range(5)]
    assert all(len(lessons) == 40 for lessons in week)
    assert len({tuple(sorted(lessons)) for lessons in week}) == 5


@pytest.mark.parametrize("offset", range(5), ids=["Mon", "Tue", "Wed", "Thu", "Fri"])
def test_the_sample_school_plans_every_weekday(sample, offset):
    date_ = D("2026-09-07") + timedelta(days=offset)
    absent = [name for name, _ in sample.teachers[offset::5]]
    day = school_day(sample, date_, {name: ("Sick", "") for name in absent})
    assert day.warnings == []
    policy = Policy(unavailable=day.unavailable, **sample.policy_defaults)
    result = plan(day.teachers, day.lessons, day.planner_absences(), policy=policy)
    absent_lessons = sorted(lesson for lesson in day.lessons if lesson[0] in absent)
    planned = sorted((record.absent, record.period, record.class_name)
                     for record in (*result.covers, *result.uncovered, *result.not_needed))
    assert planned == absent_lessons and result.covers
    for cover in result.covers:
        assert cover.substitute not in absent and cover.period not in day.unavailable.get(cover.substitute, ())
    page = render("html", day, result).decode()
    for period in {cover.period for cover in result.covers}:
        assert page.count(f'<span class="time"><bdi>{sample.period_times[period]}</bdi></span>') >= 2  # board, slip


def test_the_sample_is_package_data():
    shipped = resources.files("lessoncover_planner.office").joinpath("sample_school")
    assert {entry.name for entry in shipped.iterdir()} >= {SCHOOL_FILE, "teachers.csv", "lessons.csv"}


def test_a_day_without_period_times_shows_none(sample):
    day = school_day(sample, D("2026-09-07"), {"Priya Shah": ("Sick", "")})
    day.period_times = {}
    result = plan(day.teachers, day.lessons, day.planner_absences())
    page = render("html", day, result).decode()
    assert result.covers and 'class="time"' not in page and ".time {" not in page
