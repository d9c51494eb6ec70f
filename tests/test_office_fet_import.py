"""lessoncover import fet: a timetable exported by FET becomes the school folder's teachers.csv,
lessons.csv and the days (and periods) of school.toml, which read back and plan."""
import csv
import io
import os
import stat
import tomllib

import pytest

from lessoncover_planner import plan
from lessoncover_planner.cli.errors import InputError, UsageError
from lessoncover_planner.cli.reading import max_file_size, read_table
from lessoncover_planner.office.fet_import import import_fet

HEADER = ["Activity Id", "Day", "Hour", "Students Sets", "Subject", "Teachers", "Activity Tags", "Room", "Comments"]
WEEK = ["Monday", "Tuesday", "Wednesday", "Thursday", "Friday"]
HOURS = ["08:00-08:45", "08:50-09:35", "09:45-10:30"]


def fet_text(rows, bom=False, line_end="\r\n"):
    """An export as FET writes it: every field quoted. rows: (id, day, hour, sets, subject, teachers, room)."""
    stream = io.StringIO(newline="")
    writer = csv.writer(stream, quoting=csv.QUOTE_ALL, lineterminator=line_end)
    writer.writerow(HEADER)
    for activity, day, hour, sets, subject, teachers, room in rows:
        writer.writerow([activity, day, hour, sets, subject, teachers, "", room, ""])
    return ("\ufeff" if bom else "") + stream.getvalue()


def a_week(days=WEEK, hours=HOURS):
    """Three teachers over the days and hours: ABC teaches 7A maths every first hour and 7B
    physics every second; DEF and GHI teach English and Art to 7A in the second hour."""
    rows = []
    for number, day in enumerate(days):
        rows += [(f"{number}1", day, hours[0], "7A", "Maths", "ABC", "R1"),
                 (f"{number}2", day, hours[1], "7B", "Physics", "ABC", "Lab"),
                 (f"{number}3", day, hours[1], "7A", "English" if number % 2 else "Art", "DEF+GHI" if number % 2
                  else "GHI", "R2")]
    return rows


def run_import(tmp_path, rows, overwrite=False, **options):
    export = tmp_path / "timetable.csv"
    export.write_text(fet_text(rows, **options), encoding="utf-8", newline="")
    return import_fet(export, tmp_path / "school", overwrite=overwrite)


def teachers_of(school):
    return [(record.values["name"], record.values["subject"])
            for record in read_table(school / "teachers.csv", ("name", "subject"))]


def lessons_of(school):
    return [(record.values["teacher"], int(record.values["period"]), record.values["class"],
             record.values["room"], record.values["day"])
            for record in read_table(school / "lessons.csv", ("teacher", "period", "class"), ("room", "day"))]


def settings_of(school):
    with open(school / "school.toml", "rb") as stream:
        return tomllib.load(stream)


class TestAWeek:
    def test_writes_teachers_lessons_and_days(self, tmp_path):
        lines = run_import(tmp_path, a_week())
        school = tmp_path / "school"
        assert teachers_of(school) == [("ABC", "Maths"), ("GHI", "Art"), ("DEF", "English")]
        lessons = lessons_of(school)
        assert lessons[:4] == [("ABC", 1, "7A", "R1", "Mon"), ("ABC", 2, "7B", "Lab", "Mon"),
                               ("GHI", 2, "7A", "R2", "Mon"), ("ABC", 1, "7A", "R1", "Tue")]
        assert len(lessons) == 5 * 3 + 2  # a co-taught English lesson on Tuesday and Thursday
        assert settings_of(school) == {"days": ["Mon", "Tue", "Wed", "Thu", "Fri"],
                                       "periods": {"1": HOURS[0], "2": HOURS[1]}}
        assert lines[0] == "3 teachers, 17 lessons over 5 days (Mon..Fri) and 2 periods"
        assert "a plain week needs no cycle_start" in lines[1]
        assert lines[2] == "period 1 = 08:00-08:45, period 2 = 08:50-09:35; their times are written to [periods]"
        assert lines[3:6] == ["ABC: Maths (5 h) over Physics (5 h) (a tie: the first seen)",
                              "GHI: Art (3 h) over English (2 h)",
                              "4 co-taught lessons (one row for each teacher of an activity)"]

    @pytest.mark.parametrize("days, labels", [
        (["Mon", "Tue", "Wed", "Thu", "Fri"], ["Mon", "Tue", "Wed", "Thu", "Fri"]),
        (["friday", "MONDAY", "Wednesday"], ["Mon", "Wed", "Fri"]),  # week order, whatever the export's order
        (["Sunday", "Monday", "Tues", "Wed.", "Thurs"], ["Mon", "Tue", "Wed", "Thu", "Sun"]),
    ])
    def test_weekday_names_become_the_calendars_labels(self, tmp_path, days, labels):
        lines = run_import(tmp_path, a_week(days))
        assert settings_of(tmp_path / "school")["days"] == labels
        assert {lesson[4] for lesson in lessons_of(tmp_path / "school")} == set(labels)
        assert "cycle_start" not in settings_of(tmp_path / "school")
        assert lines[0].endswith(f"over {len(labels)} days ({labels[0]}..{labels[-1]}) and 2 periods")

    def test_reads_back_and_plans_a_day(self, tmp_path):
        run_import(tmp_path, a_week())
        school = tmp_path / "school"
        tuesday = [(teacher, period, class_name) for teacher, period, class_name, _, day in lessons_of(school)
                   if day == "Tue"]
        day = plan(teachers=teachers_of(school), lessons=tuesday, absences={"ABC": "Sick"})
        # In period 1 DEF and GHI are free (GHI first in teachers.csv); in period 2 both co-teach 7A.
        assert [(cover.period, cover.class_name, cover.substitute) for cover in day.covers] == [(1, "7A", "GHI")]
        assert [(lesson.period, lesson.class_name, lesson.busy_teaching) for lesson in day.uncovered] == [
            (2, "7B", 2)]


class TestPeriods:
    @pytest.mark.parametrize("hours, periods, times", [
        (["10:40-11:25", "08:00-08:45", "09:50 - 10:35"], ["08:00-08:45", "09:50 - 10:35", "10:40-11:25"], True),
        (["13.15", "8h00", "9:05"], ["8h00", "9:05", "13.15"], True),
        (["2", "10", "1"], ["1", "2", "10"], False),
        (["Lesson 3", "Lesson 1"], ["Lesson 1", "Lesson 3"], False),
        (["second", "first", "08:00"], ["second", "first", "08:00"], False),  # no order of their own
    ])
    def test_numbered_by_the_hours_own_order(self, tmp_path, hours, periods, times):
        rows = [(str(number), "Mon", hour, "9A", "Maths", "ABC", "") for number, hour in enumerate(hours)]
        lines = run_import(tmp_path, rows)
        mapping = {str(number): hour for number, hour in enumerate(periods, 1)}
        assert lines[2].startswith(", ".join(f"period {number} = {hour}" for number, hour in mapping.items()))
        assert [lesson[1] for lesson in lessons_of(tmp_path / "school")] == [1, 2, 3][:len(hours)]
        assert settings_of(tmp_path / "school").get("periods") == (mapping if times else None)


class TestCycles:
    @pytest.mark.parametrize("days", [
        [f"{week}-{day}" for week in "AB" for day in ("Mon", "Tue", "Wed", "Thu", "Fri")],
        [f"Day {number}" for number in range(1, 11)],
    ])
    def test_ten_day_cycle_keeps_the_texts_as_labels(self, tmp_path, days):
        # Listed out of order ("Day 10" before "Day 2"): numbered labels go by their number.
        exported = days[:1] + days[9:] + days[1:9]
        rows = [(str(number), day, "1", "8C", "History", "JKL", "") for number, day in enumerate(exported)]
        lines = run_import(tmp_path, rows)
        school = tmp_path / "school"
        assert settings_of(school)["days"] == (days if days[0] == "Day 1" else exported)
        assert [lesson[4] for lesson in lessons_of(school)] == settings_of(school)["days"]
        assert "periods" not in settings_of(school)  # "1" is no time of day
        assert "set cycle_start" in lines[1] and f"labelled {days[0]}" in lines[1]
        assert "# cycle_start = YYYY-MM-DD" in (school / "school.toml").read_text()


    def test_labels_with_quotes_and_line_breaks_stay_valid_toml(self, tmp_path):
        days = ['Week "A"\nMon', "Week B\\Mon"]
        rows = [(str(number), day, "1", "8C", "History", "JKL", "") for number, day in enumerate(days)]
        run_import(tmp_path, rows)
        assert settings_of(tmp_path / "school")["days"] == days
        assert [lesson[4] for lesson in lessons_of(tmp_path / "school")] == days


class TestRows:
    def test_co_taught_activity_is_a_lesson_for_each_teacher(self, tmp_path):
        lines = run_import(tmp_path, [("1", "Mon", "1", "9A", "Biology", "ABC+DEF", "Lab")])
        assert lessons_of(tmp_path / "school") == [("ABC", 1, "9A", "Lab", "Mon"), ("DEF", 1, "9A", "Lab", "Mon")]
        assert "2 co-taught lessons (one row for each teacher of an activity)" in lines

    def test_several_students_sets_are_a_combined_lesson(self, tmp_path):
        lines = run_import(tmp_path, [("1", "Mon", "1", "9A+9B+9C", "Games", "ABC", "Gym")])
        assert lessons_of(tmp_path / "school") == [("ABC", 1, class_name, "Gym", "Mon")
                                                   for class_name in ("9A", "9B", "9C")]
        assert "3 lessons in combined classes (one row for each students set)" in lines

    def test_two_hour_activity_is_two_lessons(self, tmp_path):
        rows = [("7", "Mon", "2", "10A", "Chemistry", "ABC", "Lab"),
                ("7", "Mon", "3", "10A", "Chemistry", "ABC", "Lab"),
                ("8", "Mon", "1", "10B", "Chemistry", "ABC", "Lab")]
        run_import(tmp_path, rows)
        assert [lesson[1:3] for lesson in lessons_of(tmp_path / "school")] == [(1, "10B"), (2, "10A"), (3, "10A")]

    def test_a_lesson_named_twice_is_written_once_with_its_room(self, tmp_path):
        # The first room named stays; a later row only fills in a room left empty.
        rows = [("1", "Mon", "1", "9A+9B", "Maths", "ABC", ""), ("2", "Mon", "1", "9B", "Maths", "ABC", "R4"),
                ("3", "Mon", "1", "9B", "Maths", "ABC", "R9")]
        lines = run_import(tmp_path, rows)
        assert lessons_of(tmp_path / "school") == [("ABC", 1, "9A", "", "Mon"), ("ABC", 1, "9B", "R4", "Mon")]
        assert "2 lessons named again by another row, written once" in lines

    @pytest.mark.parametrize("teachers, sets, why", [
        ("", "9A", "without a teacher"),
        (" + ", "9A", "without a teacher"),
        ("DEF", "", "without a students set"),
    ])
    def test_rows_without_teacher_or_students_are_skipped_and_counted(self, tmp_path, teachers, sets, why):
        rows = [("1", "Mon", "1", "9A", "Maths", "ABC", ""), ("2", "Mon", "2", sets, "Maths", teachers, ""),
                ("3", "Mon", "3", sets, "Maths", teachers, "")]
        lines = run_import(tmp_path, rows)
        assert teachers_of(tmp_path / "school") == [("ABC", "Maths")]
        assert lessons_of(tmp_path / "school") == [("ABC", 1, "9A", "", "Mon")]
        assert f"skipped 2 rows {why} (line 3, 4)" in lines
        unlisted = [line for line in lines if line.startswith("only skipped rows name")]
        assert unlisted == ([f"only skipped rows name {teachers}: not in teachers.csv; add them there"
                             " (with a subject) for them to cover"] if teachers.strip(" +") else [])

    def test_bom_and_crlf_read_as_plain_text(self, tmp_path):
        plain = run_import(tmp_path, a_week(), line_end="\n")
        written = lessons_of(tmp_path / "school")
        for name in ("teachers.csv", "lessons.csv", "school.toml"):
            (tmp_path / "school" / name).unlink()
        assert run_import(tmp_path, a_week(), bom=True) == plain
        assert lessons_of(tmp_path / "school") == written


class TestSubjects:
    @pytest.mark.parametrize("hours, subject, line", [
        ([("Physics", 1), ("Mathematics", 3)], "Mathematics", "ABC: Mathematics (3 h) over Physics (1 h)"),
        ([("Physics", 2), ("Mathematics", 2)], "Physics",
         "ABC: Physics (2 h) over Mathematics (2 h) (a tie: the first seen)"),
        ([("Mathematics", 2), ("Physics", 2), ("Mathematics", 0)], "Mathematics",
         "ABC: Mathematics (2 h) over Physics (2 h) (a tie: the first seen)"),
        ([("Urdu", 4)], "Urdu", None),
    ])
    def test_the_subject_of_most_hours_first_seen_on_a_tie(self, tmp_path, hours, subject, line):
        rows, hour = [], 0
        for name, count in hours:
            for _ in range(count):
                hour += 1
                rows.append((str(hour), "Mon", str(hour), "9A", name, "ABC", ""))
        lines = run_import(tmp_path, rows)
        assert teachers_of(tmp_path / "school") == [("ABC", subject)]
        assert [text for text in lines if text.startswith("ABC:")] == ([line] if line else [])

    def test_teachers_in_order_first_seen(self, tmp_path):
        rows = [("1", "Mon", "1", "9A", "Art", "ZED+ABC", ""), ("2", "Mon", "2", "9B", "Hindi", "MID", ""),
                ("3", "Mon", "3", "9C", "Hindi", "ABC", "")]
        run_import(tmp_path, rows)
        assert [name for name, _ in teachers_of(tmp_path / "school")] == ["ZED", "ABC", "MID"]


class TestExistingFiles:
    @pytest.mark.parametrize("present", [("teachers.csv",), ("lessons.csv",), ("teachers.csv", "lessons.csv")])
    def test_refuses_to_replace_without_force(self, tmp_path, present):
        school = tmp_path / "school"
        school.mkdir()
        for name in present:
            (school / name).write_text("kept\n")
        with pytest.raises(UsageError, match="--force") as refusal:
            run_import(tmp_path, a_week())
        assert all(str(school / name) in str(refusal.value) for name in present)
        assert all((school / name).read_text() == "kept\n" for name in present)
        assert not (school / "school.toml").exists()

    def test_force_replaces_keeping_the_mode(self, tmp_path):
        school = tmp_path / "school"
        school.mkdir()
        (school / "teachers.csv").write_text("name,subject\nOLD,Maths\n")
        os.chmod(school / "teachers.csv", 0o640)
        run_import(tmp_path, a_week(), overwrite=True)
        assert teachers_of(school)[0] == ("ABC", "Maths")
        assert stat.S_IMODE(os.stat(school / "teachers.csv").st_mode) == 0o640

    def test_refuses_a_link_in_place_of_a_file(self, tmp_path):
        school = tmp_path / "school"
        school.mkdir()
        (tmp_path / "elsewhere.toml").write_text("kept = 1\n")
        (school / "school.toml").symlink_to(tmp_path / "elsewhere.toml")
        with pytest.raises(UsageError, match="symbolic link"):
            run_import(tmp_path, a_week())
        assert (tmp_path / "elsewhere.toml").read_text() == "kept = 1\n"


DAYS_LINE = 'days = ["Mon", "Tue", "Wed", "Thu", "Fri"]'
PERIODS = '[periods]\n1 = "08:00-08:45"\n2 = "08:50-09:35"\n'
CRLF_STRING = 'name = """\r\n[not a table]\r\ndays = 1\r\n"""\r\n'  # no table, no days key: text in a string


class TestSchoolToml:
    @pytest.mark.parametrize("before, after", [
        ('# Our school\ndays = ["A", "B"]  # the old cycle\ncycle_start = 2025-09-01\n\n# caps\n[policies]\n'
         'max_covers = 2\n',
         f'# Our school\n{DAYS_LINE}\ncycle_start = 2025-09-01\n\n# caps\n[policies]\nmax_covers = 2\n\n{PERIODS}'),
        ('days = [\n  "A",  # first week\n  "B",\n]\nfairness_window = "term"\n',
         f'{DAYS_LINE}\nfairness_window = "term"\n\n{PERIODS}'),
        ('# Our school\nfairness_window = "term"\n\n# caps, kept by hand\n[policies]\nmax_covers = 2\n',
         f'# Our school\nfairness_window = "term"\n{DAYS_LINE}\n\n# caps, kept by hand\n[policies]\nmax_covers = 2\n'
         f'\n{PERIODS}'),
        ('[periods]  # the bell times\n1 = "9:00"\n2 = "10:00"\n3 = "11:00"\n\n[policies]\nmax_covers = 1\n',
         f'{DAYS_LINE}\n\n[periods]  # the bell times\n{PERIODS.split(chr(10), 1)[1]}\n[policies]\nmax_covers = 1\n'),
        ('periods = { 1 = "9:00" }\nholidays = [\n  ["2025-12-22", "2026-01-02"],\n]\n',
         f'periods = {{ 1 = "08:00-08:45", 2 = "08:50-09:35" }}\nholidays = [\n  ["2025-12-22", "2026-01-02"],\n]\n'
         f'{DAYS_LINE}\n'),
        (CRLF_STRING, CRLF_STRING + f"{DAYS_LINE}\n\n{PERIODS}".replace("\n", "\r\n")),
    ])
    def test_edits_days_and_periods_in_place(self, tmp_path, before, after):
        school = tmp_path / "school"
        school.mkdir()
        (school / "school.toml").write_bytes(before.encode())
        run_import(tmp_path, a_week())
        assert (school / "school.toml").read_bytes().decode() == after
        assert tomllib.loads(after)["days"] == ["Mon", "Tue", "Wed", "Thu", "Fri"]

    def test_invalid_toml_is_refused_with_its_line(self, tmp_path):
        school = tmp_path / "school"
        school.mkdir()
        (school / "school.toml").write_text('days = ["Mon"]\nmax = = 2\n')
        with pytest.raises(InputError) as refusal:
            run_import(tmp_path, a_week())
        assert refusal.value.path == school / "school.toml" and refusal.value.line == 2
        assert not (school / "teachers.csv").exists()


class TestBadExports:
    @pytest.mark.parametrize("text, line, problem", [
        ('"Activity Id","Day","Hour","Students Sets","Subject","Room"\n', 1, "header misses column 'teachers'"),
        (fet_text([("1", "Mon", "1", "9A", "Art", "ABC", "")]) + '"2","Mon","1,"9A"\n', 3, "malformed CSV"),
        (fet_text([("1", "Mon", "1", "9A", "Art", "ABC", "")]) + '"2","Mon"\n', 3, "expected 9 values"),
        (fet_text([]), None, "no row names a day, an hour, a teacher and a students set"),
        (fet_text([("1", "Mon", "1", "9A", "Art", "", "")]), None, "no row names"),
    ])
    def test_refused_with_file_and_line(self, tmp_path, text, line, problem):
        export = tmp_path / "timetable.csv"
        export.write_text(text, encoding="utf-8", newline="")
        with pytest.raises(InputError, match=problem) as refusal:
            import_fet(export, tmp_path / "school")
        assert (refusal.value.path, refusal.value.line) == (export, line)
        assert not (tmp_path / "school").exists()

    def test_not_utf8(self, tmp_path):
        export = tmp_path / "timetable.csv"
        latin1 = b'"2","Mon","1","9A","Art","M\xfcller","","",""\r\n'
        export.write_bytes(fet_text([("1", "Mon", "1", "9A", "Art", "ABC", "")]).encode() + latin1)
        with pytest.raises(InputError, match="not valid UTF-8") as refusal:
            import_fet(export, tmp_path / "school")
        assert refusal.value.line == 3

    def test_larger_than_the_limit(self, tmp_path):
        export = tmp_path / "timetable.csv"
        export.write_text(fet_text(a_week()), encoding="utf-8", newline="")
        token = max_file_size.set(100)
        try:
            with pytest.raises(InputError, match="larger than --max-file-size"):
                import_fet(export, tmp_path / "school")
        finally:
            max_file_size.reset(token)

    def test_the_export_in_the_school_folder_is_never_replaced(self, tmp_path):
        school = tmp_path / "school"
        school.mkdir()
        export = school / "lessons.csv"
        export.write_text(fet_text(a_week()), encoding="utf-8", newline="")
        with pytest.raises(UsageError):
            import_fet(export, school, overwrite=True)
        assert export.read_bytes() == fet_text(a_week()).encode()
