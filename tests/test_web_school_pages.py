"""The school's pages (week, staff, timetable) and the forms that send files, through the web app."""
import datetime
import html
import os
import re

import anyio
import pytest

from lessoncover_planner.office import uploaded_files
from lessoncover_planner.office.ledger import Ledger
from lessoncover_planner.office.office import DAY_CHANGED, Office
from lessoncover_planner.web.uploads import DRAIN_LIMIT, FORM_ALLOWANCE, MAX_UPLOAD

from .office_support import make_school, office
from web_support import TODAY, flashes, hidden, web_client

SCRIPT = "<script>alert(1)</script>"
CLASS = "<b>9A</b>"
ROOM = "<i>M1</i>"
REASON = "<script>reason()</script>"
TEACHERS = f"""\
name,subject,unavailable,supply
KMJ,Mathematics,,
{SCRIPT},Mathematics,,
DEF,English,,
GHI,English,,
SUP,Mathematics,,yes
"""
LESSONS = f"""\
teacher,period,class,room,day
KMJ,1,{CLASS},{ROOM},
KMJ,2,9B,M1,
{SCRIPT},3,{CLASS},M2,
{SCRIPT},1,9B,M2,Wed
DEF,1,9C,E1,Mon
DEF,2,9C,E1,
GHI,4,9B,E2,
DEF,4,10A,E1,
"""
SCHOOL_TOML = """\
terms = [2026-09-02, 2027-01-05]
holidays = [2026-12-11]
fairness_window = "week"
[policies]
strategy = "greedy"
"""
MONDAY, WEDNESDAY, FRIDAY = datetime.date(2026, 12, 7), TODAY, datetime.date(2026, 12, 11)
LAST_WEEK = datetime.date(2026, 11, 30)
SCHOOL_FILES = ("teachers.csv", "lessons.csv", "school.toml")


@pytest.fixture
def school(tmp_path):
    folder = make_school(tmp_path / "school", SCHOOL_TOML, TEACHERS, LESSONS)
    Ledger.open(folder / "lessoncover.db").close()
    return folder


@pytest.fixture
def client(school):
    return web_client(school)


def _files(folder):
    return {name: (folder / name).read_bytes() for name in SCHOOL_FILES}


def _plan(folder, date, absent, reason=REASON):
    with Office(folder) as work:
        work.record_absences(date, absent, reason)
        work.plan(date)


def _csrf(client, url="/timetable"):
    return hidden(client.get(url).text, "csrf")


def _post_files(client, url, files, data=None, csrf=True):
    fields = dict(data or {})
    if csrf:
        fields["csrf"] = _csrf(client)
    return client.post(url, data=fields, files=files)


# -- every page renders, hostile text as text -------------------------------------------------

@pytest.mark.parametrize("url, shown", [
    ("/week/2026-12-09", []),
    ("/staff", [SCRIPT]),
    ("/timetable", [SCRIPT, CLASS, ROOM]),
    ("/day/2026-12-09", [SCRIPT, CLASS, ROOM, REASON]),
])
def test_pages_render_hostile_names_as_text(school, client, url, shown):
    _plan(school, WEDNESDAY, [SCRIPT, "KMJ"])
    response = client.get(url)
    assert response.status_code == 200
    page = response.text
    for text in (SCRIPT, CLASS, ROOM, REASON):
        assert text not in page
    for text in shown:
        assert f"<bdi>{html.escape(text, quote=False)}</bdi>" in page
    assert " style=" not in page and "<style" not in page
    assert page.count('<form method="post"') == page.count('name="csrf"')


@pytest.mark.parametrize("url", ["/week/2026-13-01", "/week/x"])
def test_week_of_a_non_date_is_not_found(client, url):
    assert client.get(url).status_code == 404


def test_week_without_a_date_goes_to_this_week(client):
    response = client.get("/week", follow_redirects=False)
    assert response.status_code == 303 and response.headers["location"] == "/week/2026-12-09"


# -- the week -----------------------------------------------------------------------------------

def _week_rows(page):
    """{date text: (absent, covered, uncovered, supply)} of the linked days, and the unlinked lines."""
    rows, closed = {}, []
    for row in re.findall(r"<tr class=\"[^\"]*\">(.*?)</tr>", page, re.S):
        link = re.search(r'<a href="/day/([0-9-]+)">', row)
        numbers = [int(value) for value in re.findall(r'<td class="num[^"]*" data-label="\w+">(\d+)</td>', row)]
        if link:
            rows[link[1]] = tuple(numbers)
        else:
            closed.append(re.sub(r"<[^>]+>|\s+", " ", row).split())
    return rows, closed


def test_week_counts_are_the_ledgers(school, client):
    _plan(school, MONDAY, ["KMJ", "DEF"])
    _plan(school, WEDNESDAY, [SCRIPT])
    with Office(school) as work:
        work.unassign(WEDNESDAY, "9B", 1)
        work.assign(WEDNESDAY, "9B", 1, "SUP", force=True)
        work.record_absences(datetime.date(2026, 12, 8), ["GHI"], None)
    rows, closed = _week_rows(client.get("/week/2026-12-10").text)
    assert list(rows) == ["2026-12-07", "2026-12-08", "2026-12-09", "2026-12-10"]
    with Ledger.open(school / "lessoncover.db") as ledger:
        for text, shown in rows.items():
            date = datetime.date.fromisoformat(text)
            covers = ledger.covers_on(date)
            expected = (len(ledger.absences_on(date)), len(covers), len(ledger.open_lessons_on(date)[0]),
                        sum(cover.substitute == "SUP" for cover in covers))
            assert shown == expected
    assert rows["2026-12-10"] == (0, 0, 0, 0)
    assert rows["2026-12-09"][3] == 1 and rows["2026-12-07"][1] > 0
    assert closed == [["Fri", "11", "Dec", "Holiday:", "no", "school"]]


def test_week_says_which_days_need_planning(school, client):
    _plan(school, MONDAY, ["KMJ"])
    with Office(school) as work:
        work.record_absences(datetime.date(2026, 12, 8), ["GHI"], None)
        _plan(school, WEDNESDAY, ["DEF"])
        work.record_absences(WEDNESDAY, ["KMJ"], None)
    page = client.get("/week/2026-12-09").text
    states = re.findall(r'data-label="Plan">(?:<span class="[^"]*">)?([^<]+)<', page)
    assert states == ["planned", "not planned", "changed since the plan", "nothing to plan"]


@pytest.mark.parametrize("date, before, after", [
    ("2026-12-09", "2026-11-30", "2026-12-14"),
    ("2026-12-13", "2026-11-30", "2026-12-14"),  # a Sunday belongs to the week before it
    ("0001-01-03", None, "0001-01-08"),
    ("9999-12-31", "9999-12-20", None),
])
def test_week_links_to_the_weeks_around_it(client, date, before, after):
    page = client.get(f"/week/{date}").text
    assert re.findall(r'href="/week/([0-9-]+)" rel="prev"', page) == ([before] if before else [])
    assert re.findall(r'href="/week/([0-9-]+)" rel="next"', page) == ([after] if after else [])


# -- the staff's covers ---------------------------------------------------------------------------

def _history(capsys, school, first, last):
    status, out, _ = office(capsys, "history", "--school", school, "--from", first, "--to", last, "--format", "csv")
    assert status == 0
    return {name: int(count) for name, count in (line.split(",") for line in out.lstrip("\ufeff").splitlines()[1:])}


def test_staff_totals_are_historys(school, client, capsys):
    _plan(school, LAST_WEEK, ["KMJ", "DEF"])
    _plan(school, MONDAY, ["GHI", SCRIPT])
    _plan(school, WEDNESDAY, ["KMJ"])
    page = client.get("/staff").text
    rows = {html.unescape(name): (int(window), int(term)) for name, window, term in re.findall(
        r'<th scope="row"><bdi>(.*?)</bdi>.*?data-label="Window">(\d+)</td>\s*<td class="num" data-label="Term">(\d+)',
        page, re.S)}
    window = _history(capsys, school, MONDAY, TODAY)
    term = _history(capsys, school, "2026-09-02", "2027-01-04")
    assert {name: counts[0] for name, counts in rows.items()} == window
    assert {name: counts[1] for name, counts in rows.items()} == term
    assert sum(term.values()) > sum(window.values()) > 0
    assert 'class="pill supply">supply</span>' in page


def test_staff_bars_share_one_scale(school, client):
    _plan(school, LAST_WEEK, ["KMJ", "DEF"])
    _plan(school, WEDNESDAY, ["KMJ"])
    page = client.get("/staff").text
    widths = [float(width) for width in re.findall(r'<rect class="bar[^"]*" y="\d+" width="([0-9.]+)%"', page)]
    assert max(widths) == 100 and min(widths) == 0


# -- the timetable ----------------------------------------------------------------------------

def test_timetable_groups_lessons_by_day_in_the_calendars_order(client):
    page = client.get("/timetable").text
    groups = re.findall(r"<summary>(.*?)</summary>\s*<table.*?<tbody>(.*?)</tbody>", page, re.S)
    labels = [re.sub(r"<[^>]+>|\s+", " ", summary).split()[0] for summary, _ in groups]
    assert labels == ["Mon", "Wed", "Every"]
    every_day = [tuple(html.unescape(cell) for cell in re.findall(r"<td[^>]*>(?:<bdi>)?(.*?)(?:</bdi>)?</td>", row))
                 for row in re.findall(r"<tr>(.*?)</tr>", groups[2][1], re.S)]
    assert every_day == [("1", CLASS, "KMJ", ROOM), ("2", "9B", "KMJ", "M1"), ("2", "9C", "DEF", "E1"),
                         ("3", CLASS, SCRIPT, "M2"), ("4", "9B", "GHI", "E2"), ("4", "10A", "DEF", "E1")]
    roster = re.findall(r'<tr><th scope="row"><bdi>(.*?)</bdi>( <span class="pill supply">)?', page)
    assert [(html.unescape(name), bool(supply)) for name, supply in roster] == [
        ("KMJ", False), (SCRIPT, False), ("DEF", False), ("GHI", False), ("SUP", True)]


@pytest.mark.parametrize("days, date, shown", [
    ('["Mon", "Tue", "Wed", "Thu", "Fri"]', "2026-12-13", ["07", "08", "09", "10", "11"]),
    ('["Mon", "Tue", "Wed", "Thu", "Fri", "Sat"]', "2026-12-09", ["07", "08", "09", "10", "11", "12"]),
    ('["Mon", "Wed", "Fri"]', "2026-12-07", ["07", "09", "11"]),
    ('["A", "B"]\ncycle_start = 2026-12-07', "2026-12-09", ["07", "08", "09", "10", "11"]),
])
def test_week_shows_the_schools_weekdays(tmp_path, days, date, shown):
    folder = make_school(tmp_path / "school", f"days = {days}\nholidays = [2026-12-11]\n", TEACHERS,
                         LESSONS.replace(",Mon\n", ",\n").replace(",Wed\n", ",\n"))
    with Office(folder) as work:
        week = work.week(datetime.date.fromisoformat(date))
    assert [f"{day.date:%d}" for day in week.days] == shown
    assert [day.closed for day in week.days] == ["holiday" if text == "11" else "" for text in shown]


# -- replacing the timetable ----------------------------------------------------------------------

NEW_TEACHERS = b"name,subject\nNEW,History\nKMJ,Mathematics\n"
NEW_LESSONS = b"teacher,period,class,room,day\nNEW,1,10A,H1,Tue\nKMJ,2,10B,M1,\n"


def test_timetable_upload_replaces_both_and_the_next_page_shows_it(school, client):
    assert "NEW" not in client.get("/timetable").text  # the app has read (and keeps) the old files
    response = _post_files(client, "/timetable/replace", {"teachers": ("t.csv", NEW_TEACHERS),
                                                          "lessons": ("l.csv", NEW_LESSONS)})
    assert response.status_code == 200 and response.url.path == "/timetable"
    assert flashes(response.text) == [("done", "Timetable replaced: 2 teachers and 2 lessons.")]
    assert (school / "teachers.csv").read_bytes() == NEW_TEACHERS
    assert (school / "lessons.csv").read_bytes() == NEW_LESSONS
    assert "<bdi>NEW</bdi>" in response.text and SCRIPT not in response.text
    assert [path.name for path in school.iterdir() if path.name.startswith(".")] == []


@pytest.mark.parametrize("teachers, lessons, message", [
    (b"name,subject\nNEW,History\nKMJ,Mathematics,1-2,yes,extra\n", NEW_LESSONS,
     "teachers.csv, line 3: expected 2 values separated by ',' (the header's delimiter), found 5"),
    (NEW_TEACHERS, b"teacher,period,class,room,day\nNEW,1,10A,H1,Tue\nKMJ,2,10B,M1,Thu,x\n",
     "lessons.csv, line 3: expected 5 values"),
    (NEW_TEACHERS, b"teacher,period,class,room,day\nNEW,1,10A,H1,Tue\nKMJ,2,10B,M1,Sat\n",
     "lessons.csv, line 3: day 'Sat' is not a day of the timetable"),
    (NEW_TEACHERS, b"teacher,period,class\nNOBODY,1,10A\n", "lessons.csv, line 2:"),
])
def test_a_bad_timetable_file_is_refused_by_file_and_line(school, client, teachers, lessons, message):
    before = _files(school)
    response = _post_files(client, "/timetable/replace", {"teachers": ("t.csv", teachers),
                                                          "lessons": ("l.csv", lessons)})
    [(kind, text)] = flashes(response.text)
    assert kind == "refused" and text.startswith(message), text
    assert str(school) not in text  # named as sent, not by the staging folder
    assert _files(school) == before
    assert [path.name for path in school.iterdir() if path.name.startswith(".")] == []


def test_a_failed_move_puts_the_first_file_back(school, client, monkeypatch):
    before = _files(school)
    inode = os.stat(school / "teachers.csv").st_ino
    real = uploaded_files._replace

    def failing(source, target):
        if target.name == "lessons.csv" and source.parent.name != "before":
            raise OSError(28, "No space left on device")
        real(source, target)

    monkeypatch.setattr(uploaded_files, "_replace", failing)
    response = _post_files(client, "/timetable/replace", {"teachers": ("t.csv", NEW_TEACHERS),
                                                          "lessons": ("l.csv", NEW_LESSONS)})
    [(kind, text)] = flashes(response.text)
    assert kind == "refused" and "No space left on device; nothing was changed" in text
    assert _files(school) == before and os.stat(school / "teachers.csv").st_ino == inode


def test_a_move_that_cannot_be_undone_says_where_the_old_files_are(school, client, monkeypatch):
    before = _files(school)

    def failing(source, target):
        if target.name == "lessons.csv" or source.parent.name == "before":
            raise OSError(5, "Input/output error")
        os.rename(source, target)

    monkeypatch.setattr(uploaded_files, "_replace", failing)
    response = _post_files(client, "/timetable/replace", {"teachers": ("t.csv", NEW_TEACHERS),
                                                          "lessons": ("l.csv", NEW_LESSONS)})
    [(kind, text)] = flashes(response.text)
    kept = re.search(r"the old files are in (\S+)$", text)
    assert kind == "refused" and "putting back the old teachers.csv failed" in text and kept
    assert (school / "teachers.csv").read_bytes() == NEW_TEACHERS
    with open(os.path.join(kept[1], "teachers.csv"), "rb") as old:
        assert old.read() == before["teachers.csv"]


def test_a_form_without_its_token_changes_nothing(school, client):
    before = _files(school)
    response = _post_files(client, "/timetable/replace", {"teachers": ("t.csv", NEW_TEACHERS),
                                                          "lessons": ("l.csv", NEW_LESSONS)}, csrf=False)
    assert response.status_code == 403 and _files(school) == before


def test_a_form_missing_a_file_is_refused(school, client):
    before = _files(school)
    response = _post_files(client, "/timetable/replace", {"teachers": ("t.csv", NEW_TEACHERS)})
    assert flashes(response.text) == [("refused", "choose the lessons.csv file to send; nothing was saved")]
    assert _files(school) == before


# -- the size limit -----------------------------------------------------------------------------

BIG = b"name,subject\n" + b"X" * MAX_UPLOAD + b",History\n"


def _absence_state(school):
    with Ledger.open(school / "lessoncover.db") as ledger:
        return ledger.absences_on(WEDNESDAY), ledger.version(WEDNESDAY)


@pytest.mark.parametrize("url, files", [
    ("/timetable/replace", {"teachers": ("t.csv", BIG), "lessons": ("l.csv", NEW_LESSONS)}),
    ("/timetable/replace", {"teachers": ("t.csv", NEW_TEACHERS), "lessons": ("l.csv", BIG)}),
    ("/timetable/import", {"export": ("fet.csv", BIG)}),
    ("/day/2026-12-09/absences/upload", {"absences": ("a.csv", BIG)}),
])
def test_a_file_over_5_mib_is_refused_and_nothing_saved(school, client, url, files):
    _plan(school, WEDNESDAY, ["KMJ"])
    before, absences = _files(school), _absence_state(school)
    response = _post_files(client, url, files, {"version": str(absences[1])})
    assert flashes(response.text) == [("refused", "a file sent is larger than 5 MiB; nothing was saved")]
    assert _files(school) == before and _absence_state(school) == absences


def test_a_body_that_does_not_say_its_length_stops_being_read(school):
    """Sent in chunks without Content-Length (as the test client cannot: it reads a body whole
    first), a body far past the limit is refused once it passes it: not parsed, and read on
    only as far as the drain allows."""
    chunk, chunks, pulled = b"x" * (1024 * 1024), 100, []
    boundary = "b0undary"
    head = (f'--{boundary}\r\nContent-Disposition: form-data; name="export"; filename="fet.csv"\r\n\r\n').encode()
    sent = []

    async def receive():
        pulled.append(1)
        if len(pulled) == 1:
            return {"type": "http.request", "body": head, "more_body": True}
        return {"type": "http.request", "body": chunk, "more_body": len(pulled) <= chunks}

    async def send(message):
        sent.append(message)

    scope = {"type": "http", "asgi": {"version": "3.0"}, "http_version": "1.1", "method": "POST", "scheme": "http",
             "path": "/timetable/import", "raw_path": b"/timetable/import", "query_string": b"", "root_path": "",
             "headers": [(b"host", b"127.0.0.1"),
                         (b"content-type", f"multipart/form-data; boundary={boundary}".encode())],
             "client": ("127.0.0.1", 50000), "server": ("127.0.0.1", 80)}
    before = _files(school)
    anyio.run(web_client(school).app, scope, receive, send)
    start = sent[0]
    assert start["status"] == 303 and (b"location", b"/timetable") in start["headers"]
    assert len(pulled) <= (MAX_UPLOAD + FORM_ALLOWANCE + DRAIN_LIMIT) // len(chunk) + 3 < chunks
    assert _files(school) == before


def test_a_file_of_exactly_5_mib_is_read(school, client):
    exact = NEW_TEACHERS + b"\n" * (MAX_UPLOAD - len(NEW_TEACHERS))  # blank lines: read and skipped
    response = _post_files(client, "/timetable/replace", {"teachers": ("t.csv", exact),
                                                          "lessons": ("l.csv", NEW_LESSONS)})
    assert flashes(response.text) == [("done", "Timetable replaced: 2 teachers and 2 lessons.")]
    assert (school / "teachers.csv").read_bytes() == exact


# -- a FET export ---------------------------------------------------------------------------------

FET = b'''"Activity Id","Day","Hour","Students Sets","Subject","Teachers","Activity Tags","Room","Comments"
"1","Monday","08:00-08:45","7A","Maths","AAA","","R1",""
"2","Monday","08:45-09:30","7B","English","BBB","","R2",""
"3","Tuesday","08:00-08:45","7A+7B","English","BBB","","Hall",""
"4","Tuesday","08:45-09:30","7B","Maths","AAA+CCC","","R1",""
'''


def test_a_fet_export_replaces_the_timetable(school, client):
    response = _post_files(client, "/timetable/import", {"export": ("week.csv", FET)})
    [(kind, text)] = flashes(response.text)
    assert kind == "done" and text.startswith("Imported week.csv: 3 teachers and 6 lessons."), text
    assert (school / "teachers.csv").read_text().splitlines() == ["name,subject", "AAA,Maths", "BBB,English",
                                                                 "CCC,Maths"]
    assert "7A,R1,Mon" in (school / "lessons.csv").read_text()
    assert '1 = "08:00-08:45"' in (school / "school.toml").read_text()
    assert "holidays = [2026-12-11]" in (school / "school.toml").read_text()  # the rest of it kept
    page = client.get("/timetable").text
    assert "<bdi>CCC</bdi>" in page and SCRIPT not in page and html.escape(SCRIPT) not in page


def test_a_bad_fet_export_is_refused_with_nothing_saved(school, client):
    before = _files(school)
    response = _post_files(client, "/timetable/import", {"export": ("week.csv", b"Day,Hour\nMonday,1\n")})
    [(kind, text)] = flashes(response.text)
    assert kind == "refused" and text.startswith("week.csv, line 1: header misses column"), text
    assert _files(school) == before


# -- a date's absences from a file --------------------------------------------------------------

def _day_form(client, date="2026-12-09"):
    page = client.get(f"/day/{date}").text
    return hidden(page, "csrf"), re.search(r'name="version" value="(\d+)"', page)[1]


def test_absences_upload_replaces_the_dates_absences(school, client):
    with Office(school) as work:
        work.record_absences(WEDNESDAY, ["KMJ"], "ill")
    csrf, version = _day_form(client)
    sent = f"name,reason,periods\nDEF,{REASON},1-2\n\"{SCRIPT}\",course,\n".encode()
    response = client.post("/day/2026-12-09/absences/upload", data={"csrf": csrf, "version": version},
                           files={"absences": ("absences.csv", sent)})
    assert flashes(response.text) == [("done", "The absences of 2026-12-09 are now those of absences.csv: "
                                               "2 absent; plan again to cover.")]
    with Office(school) as work:
        assert [(a.name, a.reason, a.periods) for a in work.absences(WEDNESDAY)] == [
            ("DEF", REASON, "1-2"), (SCRIPT, "course", "")]


@pytest.mark.parametrize("sent, message", [
    (b"name,reason\nNOBODY,ill\n", "absences.csv, line 2: absent teacher 'NOBODY' is not in teachers.csv"),
    (b"name,reason\nKMJ,ill\nKMJ,again\n", "absences.csv, line 3: duplicate absence of 'KMJ'"),
    (b"name,reason,periods\nKMJ,ill,9-1\n", "absences.csv, line 2:"),
])
def test_a_bad_absences_file_is_refused(school, client, sent, message):
    with Office(school) as work:
        work.record_absences(WEDNESDAY, ["GHI"], "ill")
    before = _absence_state(school)
    csrf, version = _day_form(client)
    response = client.post("/day/2026-12-09/absences/upload", data={"csrf": csrf, "version": version},
                           files={"absences": ("mine.csv", sent)})
    [(kind, text)] = flashes(response.text)
    assert kind == "refused" and text.startswith(message), text
    assert _absence_state(school) == before


def test_absences_upload_on_a_stale_page_is_refused(school, client):
    csrf, version = _day_form(client)
    with Office(school) as work:  # someone else records an absence after the page was opened
        work.record_absences(WEDNESDAY, ["GHI"], "ill")
    before = _absence_state(school)
    response = client.post("/day/2026-12-09/absences/upload", data={"csrf": csrf, "version": version},
                           files={"absences": ("absences.csv", b"name,reason\nKMJ,ill\n")})
    [(kind, text)] = flashes(response.text)
    assert kind == "refused" and DAY_CHANGED in text
    assert _absence_state(school) == before


def test_absences_upload_on_a_holiday_is_refused(school, client):
    csrf = _csrf(client)
    response = client.post("/day/2026-12-11/absences/upload", data={"csrf": csrf, "version": "0"},
                           files={"absences": ("absences.csv", b"name,reason\nKMJ,ill\n")})
    [(kind, text)] = flashes(response.text)
    assert kind == "refused" and "not a school day" in text


def test_a_school_read_while_its_files_are_replaced_is_read_again(tmp_path, monkeypatch):
    """The first read sees teachers.csv replaced under it (as between a replacement's two moves);
    the school kept is the one read after, never the mixture."""
    from lessoncover_planner.web import plumbing

    folder = make_school(tmp_path / "school", SCHOOL_TOML, TEACHERS, LESSONS)
    source = plumbing.SchoolSource(folder)
    real_read = plumbing.read_school
    reads = []

    def read_while_replaced(path):
        school = real_read(path)
        if not reads:
            (folder / "teachers.csv").write_text(TEACHERS + "ZED,History,,\n", encoding="utf-8")
        reads.append(school)
        return school

    monkeypatch.setattr(plumbing, "read_school", read_while_replaced)
    school = source.school()
    assert len(reads) == 2 and "ZED" in [name for name, _ in school.teachers]
    assert source.school() is school  # unchanged since: kept
