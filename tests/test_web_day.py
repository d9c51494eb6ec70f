"""The web app's pages of one date, through Starlette's test client: every page and form, CSRF,
version conflicts, undo, hostile text, hosts, the content policy, and the ledger behind them."""
import datetime
import html
import re

import pytest

from lessoncover_planner.office.office import DAY_CHANGED, Office
from office_support import MONDAY, make_school
from web_support import client_for, csrf_of, flashes, form_fields, version_of

DATE = datetime.date.fromisoformat(MONDAY)
DAY = f"/day/{MONDAY}"


@pytest.fixture
def school(tmp_path):
    return make_school(tmp_path / "school")


@pytest.fixture
def client(school):
    return client_for(school, today=DATE)


def ledger_state(school):
    with Office(school) as office:
        return (office.absences(DATE), office.ledger.covers_on(DATE), office.ledger.open_lessons_on(DATE),
                office.ledger.version(DATE))


def add_absence(client, teacher="KMJ", reason="", periods=""):
    page = client.get(DAY).text
    return client.post(f"{DAY}/absences", data={"csrf": csrf_of(page), "version": version_of(page),
                                               "teacher": teacher, "reason": reason, "periods": periods},
                       follow_redirects=True)


def plan(client, fresh=False):
    page = client.get(DAY).text
    data = {"csrf": csrf_of(page), "version": version_of(page)}
    if fresh:
        data["fresh"] = "1"
    return client.post(f"{DAY}/plan", data=data, follow_redirects=True)


def change_url(absent, period, class_name):
    return f"{DAY}/change?absent={absent}&period={period}&class={class_name}"


@pytest.mark.parametrize("path, status, shows", [
    ("/", 200, "Add an absence"),
    (DAY, 200, "Nobody is recorded absent."),
    ("/day/2025-03-15", 200, "not a school day"),  # a Saturday
    ("/day/2025-13-01", 404, "is not a date"),
    (f"{DAY}/cover.xml", 404, "cover.csv or cover.json"),
    (f"{DAY}/change?absent=KMJ&period=1&class=9A", 404, "no lesson of KMJ"),  # nobody absent yet
    (f"{DAY}/change?period=x&class=9A", 400, "whole number"),
    ("/nowhere", 404, "Not found"),
])
def test_pages_answer_with_what_they_show(client, path, status, shows):
    response = client.get(path)
    assert response.status_code == status
    assert shows in html.unescape(response.text)


def test_a_morning_add_plan_change_undo(client, school):
    shown = add_absence(client, "KMJ", reason="flu")
    assert flashes(shown.text) == [("done", "KMJ is absent all day; plan again to cover.")]
    assert "4</strong> not planned" in shown.text  # KMJ's four lessons wait for a plan

    shown = plan(client)
    (kind, text), = flashes(shown.text)
    assert kind == "done" and text.startswith("Planned: 4 covered, 0 without cover")
    _, covers, _, _ = ledger_state(school)
    planned = {(c.period, c.class_name): c.substitute for c in covers}
    assert len(planned) == 4 and all(c.how == "planned" for c in covers)

    picker = client.get(change_url("KMJ", 1, "9A"))
    assert picker.status_code == 200
    choices = form_fields(picker.text, "/assign")
    others = [fields for fields in choices if fields["substitute"] != planned[(1, "9A")]]
    assert others, "the picker offers somebody other than the planned substitute"
    chosen = others[0]["substitute"]
    shown = client.post(f"{DAY}/assign", data=others[0], follow_redirects=True)
    assert flashes(shown.text)[0] == ("done", f"{chosen} covers 9A period 1 for KMJ.")
    assert "set by hand" in shown.text
    _, covers, _, _ = ledger_state(school)
    assert {(c.period, c.class_name): (c.substitute, c.how) for c in covers}[(1, "9A")] == (chosen, "manual")

    (undo,) = form_fields(shown.text, "/undo")
    shown = client.post(f"{DAY}/undo", data=undo, follow_redirects=True)
    assert flashes(shown.text) == [("done", "Undone: the cover is as it was before.")]
    _, covers, _, _ = ledger_state(school)
    assert {(c.period, c.class_name): (c.substitute, c.how) for c in covers}[(1, "9A")] == (
        planned[(1, "9A")], "planned")


def test_undo_of_a_cover_given_to_an_uncovered_lesson_makes_it_uncovered_again(client, school):
    # Everybody but KMJ and MNO absent in period 5: one of KMJ's lessons stays uncovered.
    for name in ("ABC", "DEF", "GHI", "JKL"):
        add_absence(client, name, periods="5")
    add_absence(client, "KMJ", periods="5")
    plan(client)
    _, _, (uncovered_before, _), _ = ledger_state(school)
    assert uncovered_before, "the test needs a lesson nobody could take"
    lesson = uncovered_before[0]
    picker = client.get(change_url(lesson.absent, lesson.period, lesson.class_name)).text
    forced = [fields for fields in form_fields(picker, "/assign") if fields.get("force") == "1"]
    assert forced, "a busy teacher can be set all the same"
    shown = client.post(f"{DAY}/assign", data=forced[0], follow_redirects=True)
    (undo,) = form_fields(shown.text, "/undo")
    client.post(f"{DAY}/undo", data=undo)
    _, covers, (uncovered, _), _ = ledger_state(school)
    assert (lesson.absent, lesson.period, lesson.class_name) not in {(c.absent, c.period, c.class_name) for c in covers}
    assert lesson in uncovered


def test_remove_a_cover_and_an_absence(client, school):
    add_absence(client, "KMJ", periods="1")
    plan(client)
    picker = client.get(change_url("KMJ", 1, "9A")).text
    (remove,) = form_fields(picker, "/unassign")
    shown = client.post(f"{DAY}/unassign", data=remove, follow_redirects=True)
    assert "no longer covers 9A period 1" in flashes(shown.text)[0][1]
    assert "not planned since it changed" in shown.text
    (remove_absence,) = form_fields(shown.text, "/absences/remove")
    shown = client.post(f"{DAY}/absences/remove", data=remove_absence, follow_redirects=True)
    assert flashes(shown.text) == [("done", "KMJ is no longer absent.")]
    assert ledger_state(school)[0] == []


@pytest.mark.parametrize("path, fields", [
    ("/absences", {"teacher": "KMJ"}),
    ("/absences/remove", {"teacher": "KMJ"}),
    ("/plan", {}),
    ("/assign", {"absent": "KMJ", "period": "1", "class": "9A", "substitute": "MNO"}),
    ("/unassign", {"absent": "KMJ", "period": "1", "class": "9A"}),
    ("/undo", {"token": "x"}),
])
@pytest.mark.parametrize("token", [None, "forged"])
def test_a_form_without_the_sessions_csrf_token_is_refused_and_changes_nothing(client, school, path, fields, token):
    add_absence(client, "KMJ")
    before = ledger_state(school)
    data = {**fields, "version": str(before[3])}
    if token is not None:
        data["csrf"] = token
    response = client.post(f"{DAY}{path}", data=data)
    assert response.status_code == 403
    assert "did not come from this office" in response.text
    assert ledger_state(school) == before


def test_another_browsers_token_is_not_this_sessions(school):
    first, second = client_for(school, today=DATE), client_for(school, today=DATE)
    page = first.get(DAY).text
    response = second.post(f"{DAY}/absences", data={"csrf": csrf_of(page), "version": version_of(page),
                                                     "teacher": "KMJ"})
    assert response.status_code == 403


@pytest.mark.parametrize("change", ["plan", "absence", "assign"])
def test_a_change_made_on_a_page_that_is_no_longer_current_is_refused(school, change):
    mine, theirs = client_for(school, today=DATE), client_for(school, today=DATE)
    add_absence(mine, "KMJ")
    plan(mine)
    page = mine.get(change_url("KMJ", 1, "9A")).text
    stale = {"plan": ("/plan", {"csrf": csrf_of(page), "version": version_of(page)}),
             "absence": ("/absences", {"csrf": csrf_of(page), "version": version_of(page), "teacher": "MNO"}),
             "assign": ("/assign", form_fields(page, "/assign")[0])}[change]
    add_absence(theirs, "DEF", periods="4")  # another office changes the date meanwhile
    before = ledger_state(school)
    runs = _runs(school)
    shown = mine.post(f"{DAY}{stale[0]}", data=stale[1], follow_redirects=True)
    (kind, text), = flashes(shown.text)
    assert kind == "refused" and DAY_CHANGED in text
    assert ledger_state(school) == before and _runs(school) == runs
    assert "DEF" in shown.text  # the page shows the latest


def _runs(school):
    with Office(school) as office:
        return len(office.ledger.runs_on(DATE))


def test_undo_after_someone_else_changed_the_date_is_refused(school):
    mine, theirs = client_for(school, today=DATE), client_for(school, today=DATE)
    add_absence(mine, "KMJ")
    plan(mine)
    page = mine.get(change_url("KMJ", 1, "9A")).text
    shown = mine.post(f"{DAY}/assign", data=form_fields(page, "/assign")[-1], follow_redirects=True)
    (undo,) = form_fields(shown.text, "/undo")
    add_absence(theirs, "MNO", periods="1")
    before = ledger_state(school)
    shown = mine.post(f"{DAY}/undo", data=undo, follow_redirects=True)
    assert DAY_CHANGED in flashes(shown.text)[0][1]
    assert ledger_state(school) == before


def test_a_tampered_undo_token_is_refused(client, school):
    add_absence(client, "KMJ")
    page = client.get(DAY).text
    response = client.post(f"{DAY}/undo", data={"csrf": csrf_of(page), "token": "eyJkYXRlIjoiMjAyNSJ9.forged"})
    assert response.status_code == 400


def test_a_plan_made_by_the_command_shows_on_the_next_load(client, school):
    add_absence(client, "KMJ")
    assert "not planned" in client.get(DAY).text
    with Office(school) as office:
        planned = office.plan(DATE)
    page = client.get(DAY).text
    for cover in planned.covers:
        assert html.escape(cover.substitute) in page
    assert "not planned" not in page
    assert "figures of the plan" in page


def test_refusals_of_the_office_layer_show_on_the_page(client, school):
    assert flashes(add_absence(client, "NOBODY").text)[0][0] == "refused"
    shown = add_absence(client, "KMJ", periods="9-x")
    assert flashes(shown.text)[0][0] == "refused"
    assert ledger_state(school)[0] == []
    saturday = client.get(DAY).text  # a session token; the Saturday page has no form
    response = client.post("/day/2025-03-15/absences", data={"csrf": csrf_of(saturday), "teacher": "KMJ"},
                           follow_redirects=True)
    (kind, text), = flashes(response.text)
    assert kind == "refused" and "not a school day" in text


HOSTILE_TEACHERS = "name,subject\n<script>alert(1)</script>,Maths\nMNO,History\n"
HOSTILE_LESSONS = "teacher,period,class,room\n<script>alert(1)</script>,1,<b>9A</b>,<i>R1</i>\nMNO,2,9B,H1\n"


def test_hostile_text_in_names_classes_rooms_and_reasons_shows_as_text(tmp_path):
    school = make_school(tmp_path / "school", teachers=HOSTILE_TEACHERS, lessons=HOSTILE_LESSONS)
    client = client_for(school, today=DATE)
    add_absence(client, "<script>alert(1)</script>", reason="<img src=x onerror=alert(2)>")
    plan(client)
    for path in (DAY, change_url("%3Cscript%3Ealert(1)%3C/script%3E", 1, "%3Cb%3E9A%3C/b%3E"), f"{DAY}/print"):
        page = client.get(path).text
        assert "<script>alert" not in page and "<img src=x" not in page and "<b>9A" not in page
        assert "&lt;script&gt;alert(1)&lt;/script&gt;" in page
    assert "&lt;img src=x onerror=alert(2)&gt;" in client.get(DAY).text


@pytest.mark.parametrize("host, served, allowed", [
    ("127.0.0.1", "127.0.0.1", True), ("localhost", "127.0.0.1", True), ("[::1]", "127.0.0.1", True),
    ("evil.example", "127.0.0.1", False), ("127.0.0.1.evil.example", "127.0.0.1", False),
    ("192.168.1.5", "192.168.1.5", True), ("192.168.1.6", "192.168.1.5", False),
])
def test_only_the_hosts_it_serves_are_answered(school, host, served, allowed):
    client = client_for(school, today=DATE, host=served, password="pw" if served != "127.0.0.1" else None,
                        base_url=f"http://{host}:8765")
    response = client.get("/login" if served != "127.0.0.1" else DAY)
    assert (response.status_code == 200) is allowed
    if not allowed:
        assert response.status_code == 400


def test_every_page_has_a_content_policy_without_unsafe_inline_and_no_inline_code(client):
    add_absence(client, "KMJ")
    plan(client)
    for path in ("/", DAY, change_url("KMJ", 1, "9A"), f"{DAY}/print", "/nowhere"):
        response = client.get(path)
        policy = response.headers["content-security-policy"]
        assert "unsafe-inline" not in policy and "script-src 'self'" in policy
        nonce = re.search(r"'nonce-([^']+)'", policy)[1]
        assert re.search(r"\sstyle=", response.text) is None
        assert re.findall(r"<script(?![^>]*\ssrc=)", response.text) == []
        assert re.findall(r"<style(?: nonce=\"([^\"]*)\")?>", response.text) in ([], [nonce])


def test_the_print_page_lays_out_the_recorded_date_with_its_slips(client, school):
    add_absence(client, "KMJ", reason="course")
    plan(client)
    page = client.get(f"{DAY}/print").text
    _, covers, _, _ = ledger_state(school)
    for substitute in {c.substitute for c in covers}:
        assert f"<h3><bdi>{substitute}</bdi></h3>" in page
    assert "Slips for the substitutes" in page
    add_absence(client, "MNO", periods="3")  # not planned yet: printed as without cover
    page = client.get(f"{DAY}/print").text
    assert "Without cover (1)" in page and 'class="bad"><strong>1</strong> uncovered' in page


def test_the_downloads_hold_the_commands_rows(client, school):
    add_absence(client, "KMJ", reason="course")
    with Office(school) as office:
        planned = office.plan(DATE)
    from lessoncover_planner.cli.formats import render_csv

    download = client.get(f"{DAY}/cover.csv")
    assert download.headers["content-disposition"] == f'attachment; filename="cover-{MONDAY}.csv"'
    assert sorted(download.content.splitlines()) == sorted(render_csv(planned.day, planned.result).splitlines())
    document = client.get(f"{DAY}/cover.json").json()
    assert document["day"] == MONDAY
    assert {(row["period"], row["substitute"], row["how"]) for row in document["lessons"]} == {
        (cover.period, cover.substitute, "planned") for cover in planned.result.covers}


def test_removing_an_absence_takes_its_covers_out_of_the_history(client, school):
    add_absence(client, "KMJ")
    add_absence(client, "DEF", periods="1")
    plan(client)
    with Office(school) as office:
        given = sum(office.ledger.covers_by_teacher(DATE, DATE).values())
    page = client.get(DAY).text
    (remove,) = [fields for fields in form_fields(page, "/absences/remove") if fields["teacher"] == "KMJ"]
    client.post(f"{DAY}/absences/remove", data=remove)
    with Office(school) as office:
        assert sum(office.ledger.covers_by_teacher(DATE, DATE).values()) == given - 4
        assert {c.absent for c in office.ledger.covers_on(DATE)} == {"DEF"}
        assert all(o.absent == "DEF" for o in office.ledger.open_lessons_on(DATE)[0])
