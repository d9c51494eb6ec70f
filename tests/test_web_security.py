"""The web app's password, its slowing login, and what ``lessoncover serve`` refuses to start."""
import datetime

import pytest

from lessoncover_planner.cli import main
from lessoncover_planner.cli.errors import UsageError
from lessoncover_planner.web.security import LoginThrottle, allowed_hosts, is_loopback
from lessoncover_planner.web.serve import read_password
from office_support import MONDAY, make_school
from web_support import client_for, csrf_of

DATE = datetime.date.fromisoformat(MONDAY)


class Clock:
    def __init__(self):
        self.now = 1000.0

    def __call__(self):
        return self.now


@pytest.mark.parametrize("failures, wait", [(0, 0), (4, 0), (5, 1), (6, 2), (7, 4), (9, 16), (10, 30), (40, 30), (2000, 30)])
def test_the_wait_after_failed_logins_doubles_from_one_second_up_to_thirty(failures, wait):
    clock = Clock()
    throttle = LoginThrottle(clock)
    for _ in range(failures):
        throttle.failed("10.0.0.1")
    assert throttle.wait("10.0.0.1") == wait
    assert throttle.wait("10.0.0.2") == 0  # counted per client
    clock.now += wait
    assert throttle.wait("10.0.0.1") == 0
    throttle.succeeded("10.0.0.1")
    throttle.failed("10.0.0.1")
    assert throttle.wait("10.0.0.1") == 0


@pytest.fixture
def school(tmp_path):
    return make_school(tmp_path / "school")


def login(client, password):
    page = client.get("/login").text
    return client.post("/login", data={"csrf": csrf_of(page), "password": password})


@pytest.mark.parametrize("path", ["/", f"/day/{MONDAY}", f"/day/{MONDAY}/print", f"/day/{MONDAY}/cover.csv"])
def test_with_a_password_every_page_asks_for_it_first(school, path):
    client = client_for(school, DATE, password="s3cret")
    response = client.get(path)
    assert (response.status_code, response.headers["location"]) == (303, "/login")
    assert client.post(f"/day/{MONDAY}/plan", data={}).status_code == 403
    assert client.get("/static/office.css").status_code == 200
    assert login(client, "s3cret").status_code == 303
    assert client.get(path).status_code == 200


def test_signing_in_gives_a_new_session_and_signing_out_ends_it(school):
    client = client_for(school, DATE, password="s3cret")
    before = csrf_of(client.get("/login").text)
    login(client, "s3cret")
    page = client.get(f"/day/{MONDAY}").text
    assert csrf_of(page) != before
    assert client.post("/logout", data={"csrf": csrf_of(page)}).headers["location"] == "/login"
    assert client.get(f"/day/{MONDAY}").status_code == 303


def test_a_client_that_keeps_failing_waits_even_with_the_right_password(school):
    clock = Clock()
    client = client_for(school, DATE, password="s3cret", clock=clock)
    for _ in range(5):
        response = login(client, "wrong")
        assert response.status_code == 403 and "That is not the password." in response.text
    assert "Wait 1 s" in response.text
    refused = login(client, "s3cret")
    assert refused.status_code == 429 and "Too many wrong passwords" in refused.text
    assert client.get("/").status_code == 303  # still not signed in
    clock.now += 1
    assert login(client, "wrong").status_code == 403  # the sixth failure: two seconds now
    clock.now += 1.5
    assert login(client, "s3cret").status_code == 429
    clock.now += 0.5
    assert login(client, "s3cret").status_code == 303
    assert client.get("/").status_code == 200


def test_the_login_form_needs_its_token_too(school):
    client = client_for(school, DATE, password="s3cret")
    client.get("/login")
    assert client.post("/login", data={"password": "s3cret"}).status_code == 403


@pytest.mark.parametrize("host, loopback", [
    ("127.0.0.1", True), ("127.8.9.10", True), ("::1", True), ("[::1]", True), ("localhost", True),
    ("0.0.0.0", False), ("::", False), ("192.168.1.5", False), ("example.org", False), ("128.0.0.1", False),
])
def test_what_counts_as_this_machine_only(host, loopback):
    assert is_loopback(host) is loopback


def test_the_hosts_allowed_are_the_loopback_names_and_the_address_served():
    assert set(allowed_hosts("127.0.0.1")) == {"127.0.0.1", "localhost", "::1", "[::1]"}
    assert "fe80::1" in allowed_hosts("fe80::1") and "[fe80::1]" in allowed_hosts("fe80::1")


@pytest.mark.parametrize("host", ["0.0.0.0", "192.168.1.5", "::"])
def test_serve_refuses_an_address_others_can_reach_without_a_password(school, host, capsys, monkeypatch):
    monkeypatch.delenv("LESSONCOVER_PASSWORD", raising=False)
    import uvicorn

    def never(*args, **kwargs):  # were the refusal lost, no server would listen on that address
        raise AssertionError("serve started a server on an address others can reach")

    monkeypatch.setattr(uvicorn, "run", never)
    assert main(["serve", "--school", str(school), "--host", host]) == 2
    assert "give a password with --password-file or LESSONCOVER_PASSWORD" in capsys.readouterr().err


def test_the_password_comes_from_the_files_first_line_or_the_environment(tmp_path, monkeypatch):
    monkeypatch.setenv("LESSONCOVER_PASSWORD", "from-env")
    given = tmp_path / "password"
    given.write_text("from file\nsecond line\n", encoding="utf-8")
    assert read_password(given) == "from file"
    assert read_password(None) == "from-env"
    monkeypatch.delenv("LESSONCOVER_PASSWORD")
    assert read_password(None) is None
    given.write_text("\n", encoding="utf-8")
    with pytest.raises(UsageError, match="first line is empty"):
        read_password(given)
