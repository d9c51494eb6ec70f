"""The school calendar: school days, day labels (weekly and in a cycle), which lessons.csv
day values match a date, the fairness window and the dates the commands take."""
from datetime import date, timedelta

import pytest

from lessoncover_planner.office.calendar import Calendar, NotASchoolDay, parse_date

D = date.fromisoformat
AB = tuple(f"{week}-{day}" for week in "AB" for day in ("Mon", "Tue", "Wed", "Thu", "Fri"))
# A two-week cycle from Monday 1 September 2025, with Wednesday 10 September off.
CYCLE = Calendar(days=AB, cycle_start=D("2025-09-01"), holidays=frozenset({D("2025-09-10")}))
WEEKLY = Calendar(holidays=frozenset({D("2025-10-27")}) | {D("2025-12-22") + timedelta(n) for n in range(12)})
SATURDAYS = Calendar(days=("Mon", "Tue", "Wed", "Thu", "Fri", "Sat"))


# --- school days ------------------------------------------------------------------------------

@pytest.mark.parametrize("calendar, day, expected", [
    (WEEKLY, "2025-10-24", True),     # a Friday
    (WEEKLY, "2025-10-25", False),    # Saturday
    (WEEKLY, "2025-10-26", False),    # Sunday
    (WEEKLY, "2025-10-27", False),    # a holiday given as one date
    (WEEKLY, "2025-10-28", True),
    (WEEKLY, "2025-12-19", True),
    (WEEKLY, "2025-12-22", False),    # the first day of a range
    (WEEKLY, "2026-01-02", False),    # its last
    (WEEKLY, "2026-01-05", True),
    (SATURDAYS, "2025-10-25", True),  # a school with Saturday lessons
    (SATURDAYS, "2025-10-26", False),
    (Calendar(days=("Monday", "Wednesday")), "2025-10-28", False),  # only the weekdays named
    (Calendar(days=("Monday", "Wednesday")), "2025-10-29", True),
    (CYCLE, "2025-09-06", False),     # a cycle school works Monday to Friday
    (CYCLE, "2025-09-10", False),
])
def test_school_days_are_the_schools_weekdays_less_its_holidays(calendar, day, expected):
    assert calendar.is_school_day(D(day)) is expected


@pytest.mark.parametrize("calendar, day, why", [
    (WEEKLY, "2025-03-15", "2025-03-15 is a Saturday"),
    (WEEKLY, "2025-03-16", "2025-03-16 is a Sunday"),
    (WEEKLY, "2025-12-24", "2025-12-24 is a holiday"),
    (SATURDAYS, "2025-03-16", "2025-03-16 is a Sunday"),
    (CYCLE, "2025-09-10", "2025-09-10 is a holiday"),
])
def test_a_date_without_lessons_has_no_label_and_says_why(calendar, day, why):
    with pytest.raises(NotASchoolDay, match=f"^{why}$"):
        calendar.label(D(day))


# --- labels -----------------------------------------------------------------------------------

@pytest.mark.parametrize("calendar, day, label", [
    (WEEKLY, "2025-10-20", "Mon"),
    (WEEKLY, "2025-10-24", "Fri"),
    (SATURDAYS, "2025-10-25", "Sat"),
    (Calendar(days=("Monday", "Tuesday", "Wednesday", "Thursday", "Friday")), "2025-10-22", "Wednesday"),
])
def test_a_weekly_timetable_labels_a_date_by_its_weekday(calendar, day, label):
    assert calendar.label(D(day)) == label


@pytest.mark.parametrize("day, label", [
    ("2025-09-01", "A-Mon"),
    ("2025-09-05", "A-Fri"),
    ("2025-09-08", "B-Mon"),
    ("2025-09-09", "B-Tue"),
    ("2025-09-11", "B-Wed"),   # the holiday on the 10th moves the cycle on by nothing
    ("2025-09-12", "B-Thu"),
    ("2025-09-15", "B-Fri"),
    ("2025-09-16", "A-Mon"),   # wrapped
    ("2025-08-29", "B-Fri"),   # before cycle_start the cycle counts backwards
    ("2025-08-25", "B-Mon"),
    ("2025-08-22", "A-Fri"),
])
def test_a_cycle_advances_one_label_per_school_day_from_its_start(day, label):
    assert CYCLE.label(D(day)) == label


def _stepped_label(calendar, day):
    """The label found by counting the school days between cycle_start and day one date at a
    time: slow and plainly right."""
    first, last = sorted((calendar.cycle_start, day))
    count = sum(calendar.is_school_day(first + timedelta(days=n)) for n in range((last - first).days))
    return calendar.days[(count if day >= calendar.cycle_start else -count) % len(calendar.days)]


@pytest.mark.parametrize("calendar", [
    CYCLE,
    Calendar(days=("Day 1", "Day 2", "Day 3"), cycle_start=D("2025-09-03"),
             holidays=frozenset({D("2025-08-29"), D("2025-09-19"), D("2025-12-25"), D("2025-12-26")})),
    Calendar(days=("X", "Y", "Z", "W"), cycle_start=D("2025-09-01")),
], ids=["A-B", "three-days", "no-holidays"])
def test_labels_agree_with_walking_the_calendar_a_day_at_a_time(calendar):
    start = calendar.cycle_start - timedelta(days=120)
    for offset in range(300):
        day = start + timedelta(days=offset)
        if calendar.is_school_day(day):
            assert calendar.label(day) == _stepped_label(calendar, day), day


@pytest.mark.parametrize("row_label, day, expected", [
    ("Mon", "2025-09-01", True),      # A-Mon
    ("mon", "2025-09-08", True),      # B-Mon
    ("Monday", "2025-09-08", True),
    ("MONDAY", "2025-09-01", True),
    (" Mon ", "2025-09-01", True),
    ("Tue", "2025-09-01", False),
    ("A-Mon", "2025-09-01", True),
    ("a-mon", "2025-09-01", True),
    ("A-Mon", "2025-09-08", False),   # B-Mon: another day of the cycle
    ("B-Wed", "2025-09-11", True),    # a Thursday that the holiday made B-Wed
    ("Thu", "2025-09-11", True),      # ... and still a Thursday
    ("B-Thu", "2025-09-11", False),
])
def test_a_lessons_day_value_matches_weekdays_and_cycle_labels(row_label, day, expected):
    assert CYCLE.label_matches(row_label, D(day)) is expected


@pytest.mark.parametrize("calendar, row_label, known", [
    (WEEKLY, "Mon", True),
    (WEEKLY, "thursday", True),
    (WEEKLY, "Sat", False),
    (SATURDAYS, "Saturday", True),
    (CYCLE, "B-Fri", True),
    (CYCLE, "b-fri", True),
    (CYCLE, "Wed", True),
    (CYCLE, "C-Mon", False),
    (CYCLE, "Sun", False),
])
def test_a_day_value_is_known_when_some_school_day_matches_it(calendar, row_label, known):
    assert calendar.knows_label(row_label) is known


@pytest.mark.parametrize("settings, problem", [
    ({"days": ("A1", "A2")}, "need.* cycle_start"),
    ({"days": ()}, "empty"),
    ({"days": ("Mon", "mon")}, "twice"),
    ({"days": ("Mon", "Monday")}, "one weekday twice"),
    ({"days": ("A", "B"), "cycle_start": D("2025-09-06")}, "cycle_start 2025-09-06 .*Saturday"),
    ({"days": ("A", "B"), "cycle_start": D("2025-09-10"), "holidays": frozenset({D("2025-09-10")})},
     "is a holiday"),
    ({"fairness_window": "month"}, "fairness_window"),
    ({"fairness_window": -1}, "fairness_window"),
    ({"terms": (D("2026-01-05"), D("2025-09-01"))}, "sorted"),
])
def test_settings_that_cannot_work_are_refused(settings, problem):
    with pytest.raises(ValueError, match=problem):
        Calendar(**settings)


# --- fairness window --------------------------------------------------------------------------

TERMS = (D("2025-09-01"), D("2026-01-05"), D("2026-04-20"))


@pytest.mark.parametrize("window, day, start", [
    ("week", "2025-09-03", "2025-09-01"),
    ("week", "2025-09-01", "2025-09-01"),     # on a Monday nothing counts
    ("week", "2026-01-01", "2025-12-29"),     # a week across the new year
    ("term", "2025-12-19", "2025-09-01"),
    ("term", "2026-01-05", "2026-01-05"),     # a term's first day: nothing counts
    ("term", "2026-01-06", "2026-01-05"),
    ("term", "2026-07-20", "2026-04-20"),     # the last term runs on
    ("term", "2025-08-20", None),             # before the first term: every earlier cover
    (3, "2025-09-09", "2025-09-04"),          # Tue: Mon 8, Fri 5, Thu 4 over the weekend
    (1, "2025-09-08", "2025-09-05"),
    (3, "2025-10-29", "2025-10-23"),          # Wed, Tue, Mon 27 a holiday, Fri 24, Thu 23
    (2, "2026-01-05", "2025-12-18"),          # over the Christmas holiday
    (0, "2025-09-09", "2025-09-09"),          # nothing counts
])
def test_the_fairness_window_starts_where_the_school_says(window, day, start):
    calendar = Calendar(holidays=WEEKLY.holidays, terms=TERMS, fairness_window=window)
    assert calendar.fairness_start(D(day)) == (None if start is None else D(start))


def test_a_term_window_without_terms_counts_every_earlier_cover():
    assert Calendar(fairness_window="term").fairness_start(D("2025-09-09")) is None


def test_a_window_reaching_past_the_first_date_counts_everything():
    assert Calendar(fairness_window=10).fairness_start(date.min + timedelta(days=3)) is None


@pytest.mark.parametrize("day, term", [
    ("2025-08-31", None),
    ("2025-09-01", ("2025-09-01", "2026-01-05")),
    ("2026-01-04", ("2025-09-01", "2026-01-05")),
    ("2026-04-20", ("2026-04-20", None)),
])
def test_term_of_gives_the_terms_start_and_the_next(day, term):
    expected = None if term is None else (D(term[0]), None if term[1] is None else D(term[1]))
    assert Calendar(terms=TERMS).term_of(D(day)) == expected


# --- dates as the commands take them ----------------------------------------------------------

TODAY = D("2025-03-12")  # a Wednesday


@pytest.mark.parametrize("text, expected", [
    ("today", "2025-03-12"),
    ("TODAY", "2025-03-12"),
    ("tomorrow", "2025-03-13"),
    (" Tomorrow ", "2025-03-13"),
    ("2025-03-10", "2025-03-10"),
    ("2024-02-29", "2024-02-29"),
    ("mon", "2025-03-17"),
    ("Monday", "2025-03-17"),
    ("wed", "2025-03-12"),       # on or after today: today itself
    ("WEDNESDAY", "2025-03-12"),
    ("Fri", "2025-03-14"),
    ("sunday", "2025-03-16"),
])
def test_parse_date_takes_words_iso_dates_and_weekdays(text, expected):
    assert parse_date(text, TODAY) == D(expected)


@pytest.mark.parametrize("text, detail", [
    ("next week", "give today, tomorrow, a date such as"),
    ("", "give today, tomorrow"),
    ("2025-3-1", "give today, tomorrow"),
    ("12/03/2025", "a weekday such as mon or Monday"),
    ("2025-02-30", "day is out of range"),
    ("2025-13-01", "month must be in 1..12"),
    ("Mo", "give today"),
])
def test_parse_date_refuses_other_text_saying_what_it_takes(text, detail):
    with pytest.raises(ValueError, match=f"^{text!r} is not a date: .*{detail}"):
        parse_date(text, TODAY)


def test_parse_date_past_the_last_date_is_a_value_error():
    with pytest.raises(ValueError, match="after 9999-12-31"):
        parse_date("tomorrow", date.max)
