"""The office's web app in Chromium, driven by Selenium against ``lessoncover serve``: a cover
manager's morning from the phone call to the printed slips, the candidates' filter box, names and
reasons holding markup shown as text, and no page breaking its own content policy.

What the pages show is checked against the ledger, read through the office layer beside the
server. Elements are found as a person finds them: by their label, their heading or their
button's text."""
import datetime

import pytest

from browser_support import chrome, chromedriver, chromium, need_selenium, serving
import browser_support

DATE = datetime.date(2026, 12, 9)  # a Wednesday of the sample school
DAY = f"/day/{DATE.isoformat()}"
HOSTILE_NAME = "<script>alert(1)</script>"
HOSTILE_CLASS = "<b>9Z</b>"
HOSTILE_REASON = '<img src=x onerror="document.body.dataset.owned=1">'
# Installed before any page script runs: every content-policy violation of the page, kept for the test.
RECORDER = ("window.__violations = [];"
            "document.addEventListener('securitypolicyviolation', (event) =>"
            " window.__violations.push(event.violatedDirective + ' ' + event.blockedURI));")


@pytest.fixture
def school(tmp_path):
    """The sample school with one more teacher whose name is a script, teaching a class whose name is markup."""
    from lessoncover_planner.cli import main

    folder = tmp_path / "school"
    assert main(["init", "--sample", str(folder)]) == 0
    with open(folder / "teachers.csv", "a", encoding="utf-8") as teachers:
        teachers.write(f"{HOSTILE_NAME},Art,\n")
    with open(folder / "lessons.csv", "a", encoding="utf-8") as lessons:
        lessons.write(f"{HOSTILE_NAME},2,{HOSTILE_CLASS},R9,Wed\n")
    return folder


@pytest.fixture
def browser(tmp_path):
    need_selenium()
    paths = chromium(), chromedriver()
    driver = chrome(tmp_path / "profile", browser=paths[0], driver=paths[1])
    try:
        driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": RECORDER})
        yield driver
    finally:
        driver.quit()


@pytest.fixture
def site(browser, school, tmp_path):
    """The browser, and the address of the server on the school (stopped after the test)."""
    with serving(school, tmp_path / "serve.log") as address:
        yield browser, address


# -- finding things as a person does --------------------------------------------------------------

def by_xpath(driver):
    from selenium.webdriver.common.by import By

    return lambda path, within=None: (within or driver).find_elements(By.XPATH, path)


def one(found, what):
    assert len(found) == 1, f"{len(found)} of {what}"
    return found[0]


def button(driver, text, within=None):
    return one(by_xpath(driver)(f".//button[normalize-space()='{text}']", within or driver), f"button {text!r}")


def field(driver, label):
    """The form field whose label starts with ``label``."""
    from selenium.webdriver.common.by import By

    found = one(by_xpath(driver)(f"//label[starts-with(normalize-space(), '{label}')]"), f"label {label!r}")
    return driver.find_element(By.ID, found.get_attribute("for"))


def section(driver, heading):
    """The section headed by ``heading`` (the start of its h2)."""
    return one(by_xpath(driver)(f"//section[h2[starts-with(normalize-space(), '{heading}')]]"), f"section {heading!r}")


def message(driver):
    """The message the page shows after a change."""
    return one(by_xpath(driver)("//*[@role='status' or @role='alert']"), "message").text


def board(driver):
    """The board's rows, each as {column label: text} (the Change link under "Change"; the absent
    teacher's name under "Absent" and their subject under "Subject")."""
    rows = []
    for row in by_xpath(driver)(".//table/tbody/tr", section(driver, "Board")):
        cells = {cell.get_attribute("data-label") or "Change": cell for cell in by_xpath(driver)("./td", row)}
        absent, subject = by_xpath(driver)(".//bdi", cells["Absent"])
        rows.append({label: cell.text for label, cell in cells.items()} | {"Absent": absent.text, "Subject": subject.text})
    return rows


def counts(driver):
    return [item.text for item in by_xpath(driver)("//ul[@aria-label='counts']/li")]


def submit(driver, control):
    """Press a button or follow a link, and wait for the page it leads to: loaded, and not the page
    marked before the press (asked again while the driver, mid-navigation, cannot answer)."""
    from selenium.common.exceptions import WebDriverException
    from selenium.webdriver.support.ui import WebDriverWait

    def arrived(driver):
        try:
            return driver.execute_script("return document.readyState === 'complete' && !window.__left")
        except WebDriverException:
            return False

    driver.execute_script("window.__left = true;")
    control.click()
    WebDriverWait(driver, 30).until(arrived)
    policy_kept(driver)


def visit(driver, url):
    driver.get(url)
    policy_kept(driver)


def policy_violations(driver):
    """The page's content-policy violations: as its recorder saw them and as the console logged them."""
    seen = driver.execute_script("return window.__violations")
    assert isinstance(seen, list), "the violation recorder is not installed"
    logged = [entry["message"] for entry in driver.get_log("browser") if "Content Security Policy" in entry["message"]]
    return seen + logged


def policy_kept(driver):
    assert policy_violations(driver) == [], driver.current_url


def add_absence(driver, teacher, reason, periods=""):
    from selenium.webdriver.support.ui import Select

    Select(field(driver, "Teacher")).select_by_visible_text(teacher)
    field(driver, "Reason").send_keys(reason)
    if periods:
        field(driver, "Periods").send_keys(periods)
    submit(driver, button(driver, "Add absence"))


def absent_list(driver):
    """Each absent teacher's entry, without its Remove button."""
    return [item.text for item in by_xpath(driver)("./ul/li/span[1]", section(driver, "Absent"))]


# -- the ledger, read beside the server -----------------------------------------------------------

def recorded(school):
    """The date's covers as the ledger holds them: {(period, class): (absent, substitute, how)}."""
    from lessoncover_planner.office.office import Office

    with Office(school, create=False) as office:
        return {(c.period, c.class_name): (c.absent, c.substitute, c.how) for c in office.ledger.covers_on(DATE)}


def ranked(school, absent, period, class_name):
    """Who could take the lesson, best first, each with why: as the office ranks them."""
    from lessoncover_planner.office.office import Office

    with Office(school, create=False) as office:
        return [(c.name, c.why) for c in office.candidates(DATE, absent, period, class_name).ranked]


def board_covers(driver):
    return {(int(row["Period"].split()[0]), row["Class"]): (row["Absent"], row["Cover"], row["How"])
            for row in board(driver) if "no cover" not in row["Cover"]}


def board_row(driver, period, class_name):
    """The board's row of the class in the period."""
    for row in by_xpath(driver)(".//table/tbody/tr", section(driver, "Board")):
        cells = {cell.get_attribute("data-label"): cell.text for cell in by_xpath(driver)("./td", row)}
        if cells["Period"].split()[0] == str(period) and cells["Class"] == class_name:
            return row
    raise AssertionError(f"no board row for period {period}, {class_name}")


def change_link(driver, period, class_name):
    return one(by_xpath(driver)(".//a[normalize-space()='Change']", board_row(driver, period, class_name)), "Change link")


def plan_morning(driver, address):
    """Priya Shah phones in ill for the day, Helen Ward is on a course for periods 1-3; plan."""
    visit(driver, address + DAY)
    add_absence(driver, "Priya Shah", "Phoned in: flu")
    add_absence(driver, "Helen Ward", "Course", "1-3")
    submit(driver, button(driver, "Plan"))


# -- the morning ----------------------------------------------------------------------------------

def test_a_cover_managers_morning(site, school):
    driver, address = site
    visit(driver, address + DAY)
    assert absent_list(driver) == [] and "Nobody is recorded absent." in section(driver, "Absent").text

    add_absence(driver, "Priya Shah", "Phoned in: flu")
    assert message(driver) == "Priya Shah is absent all day; plan again to cover."
    assert absent_list(driver) == ["Priya Shah (Maths)\nPhoned in: flu · all day"]
    add_absence(driver, "Lucy Adams", "Course")  # the wrong teacher: taken back at once
    add_absence(driver, "Helen Ward", "Course", "1-3")
    assert len(absent_list(driver)) == 3
    submit(driver, button(driver, "Remove", one(by_xpath(driver)(
        ".//li[contains(., 'Lucy Adams')]", section(driver, "Absent")), "Lucy Adams's entry")))
    assert message(driver) == "Lucy Adams is no longer absent."
    assert [entry.split("\n")[0] for entry in absent_list(driver)] == ["Priya Shah (Maths)", "Helen Ward (Physics)"]
    assert absent_list(driver)[1] == "Helen Ward (Physics)\nCourse · periods 1–3"
    waiting = board(driver)  # Priya Shah's four Wednesday lessons, Helen Ward's three in periods 1-3
    assert len(waiting) == 7 and all(row["Cover"].startswith("not planned") for row in waiting)
    assert "7 not planned" in counts(driver) and "0 covered" in counts(driver)

    submit(driver, button(driver, "Plan"))
    planned = recorded(school)
    assert message(driver) == f"Planned: {len(planned)} covered, 0 without cover."
    shown = board_covers(driver)
    assert {key: (absent, sub) for key, (absent, sub, _) in shown.items()} == {
        key: (absent, sub) for key, (absent, sub, _) in planned.items()}
    assert all(how.startswith("planned") for _, _, how in shown.values()) and len(shown) == len(waiting)
    substitutes = {sub for _, sub, _ in planned.values()}
    assert f"{len(planned)} covered" in counts(driver) and "0 without cover" in counts(driver)
    assert f"{len(substitutes)} substitutes" in counts(driver)

    # Give Priya Shah's first lesson of the day to another of the teachers who could take it.
    (period, class_name), (absent, first, _) = min((key, value) for key, value in planned.items()
                                                   if value[0] == "Priya Shah")
    submit(driver, change_link(driver, period, class_name))
    assert driver.find_element("tag name", "h1").text == f"Period {period}, {class_name}"
    assert f"Covered now by {first}." in driver.find_element("class name", "lead").text
    could = section(driver, "Could take it")
    entries = by_xpath(driver)(".//ol/li", could)
    names = [entry.find_element("tag name", "strong").text for entry in entries]
    whys = [one(by_xpath(driver)(".//span[@class='why']", entry), "why").text for entry in entries]
    assert list(zip(names, whys)) == ranked(school, absent, period, class_name) and len(names) >= 2
    assert all(whys) and could.find_element("tag name", "h2").text == f"Could take it ({len(names)})"
    for name, entry in zip(names, entries):
        choose = button(driver, "Choose", entry)
        assert choose.get_attribute("aria-label") == f"Choose {name}"
        assert choose.is_enabled() == (name != first)
        assert ("covers it now" in entry.text) == (name == first)
    could_not = section(driver, "Could not").text
    assert "Priya Shah" not in names and "Helen Ward" in could_not  # on her course in periods 1-3
    assert "Remove this cover" in [b.text for b in by_xpath(driver)("//button")]

    other = next(name for name in names if name != first)
    submit(driver, button(driver, "Choose", entries[names.index(other)]))
    assert message(driver).startswith(f"{other} covers {class_name} period {period} for Priya Shah.")
    assert board_covers(driver)[period, class_name][1:] == (other, "set by hand")
    assert recorded(school)[period, class_name] == ("Priya Shah", other, "manual")
    assert "1 set by hand" in counts(driver)

    undo = button(driver, "Undo", one(by_xpath(driver)("//*[@role='status']"), "message"))
    submit(driver, undo)
    assert message(driver) == "Undone: the cover is as it was before."
    assert board_covers(driver)[period, class_name][1] == first
    assert board_covers(driver)[period, class_name][2].startswith("planned")
    assert recorded(school) == planned
    assert not any("set by hand" in count for count in counts(driver))

    submit(driver, one(by_xpath(driver)("//a[normalize-space()='Print']"), "Print link"))
    heading = one(by_xpath(driver)("//h2[starts-with(., 'Slips for the substitutes')]"), "slips heading")
    assert heading.text == f"Slips for the substitutes ({len(substitutes)})"
    slips = by_xpath(driver)("//section[.//p[contains(., 'Cover slip')]]")
    assert sorted(slip.find_element("tag name", "h3").text for slip in slips) == sorted(substitutes)
    for slip in slips:
        sub = slip.find_element("tag name", "h3").text
        assert "initials" in slip.text
        for (_, class_name), (_, who, _) in planned.items():
            if who == sub:
                assert class_name in slip.text, (sub, class_name)


def test_the_filter_box_shows_the_candidates_whose_name_holds_what_is_typed(site):
    driver, address = site
    plan_morning(driver, address)
    submit(driver, change_link(driver, 4, "10B"))
    box = field(driver, "Filter by name")
    entries = by_xpath(driver)(".//ol/li", section(driver, "Could take it"))
    names = [entry.find_element("tag name", "strong").text for entry in entries]
    assert len(names) >= 4

    def shown():
        return [name for name, entry in zip(names, entries) if entry.is_displayed()]

    assert shown() == names
    typed = ""
    for key in "an":  # each key press filters at once: no Enter, no reload
        box.send_keys(key)
        typed += key
        assert shown() == [name for name in names if typed in name.lower()], typed
    assert 0 < len(shown()) < len(names)
    box.send_keys("zzz")
    assert shown() == []
    box.clear()
    box.send_keys("E")  # a capital finds lower-case letters too
    assert shown() == [name for name in names if "e" in name.lower()]
    box.send_keys("\b")
    assert shown() == names


def no_injected_markup(driver):
    """No element the page's own markup does not have, no alert, no handler run."""
    from selenium.common.exceptions import NoAlertPresentException

    found = driver.execute_script(
        "return [document.images.length, document.querySelectorAll('script:not([src])').length,"
        " document.querySelectorAll('main b, main i, main img').length, document.body.dataset.owned || '']")
    assert found == [0, 0, 0, ""], driver.current_url
    with pytest.raises(NoAlertPresentException):
        driver.switch_to.alert.text


def test_markup_in_names_and_reasons_shows_as_text(site, school):
    driver, address = site
    visit(driver, address + DAY)
    options = [option.text for option in by_xpath(driver)(".//option", field(driver, "Teacher"))]
    assert HOSTILE_NAME in options
    add_absence(driver, HOSTILE_NAME, HOSTILE_REASON)
    assert message(driver) == f"{HOSTILE_NAME} is absent all day; plan again to cover."
    assert absent_list(driver) == [f"{HOSTILE_NAME} (Art)\n{HOSTILE_REASON} · all day"]
    no_injected_markup(driver)

    submit(driver, button(driver, "Plan"))
    (absent, cover, _), = board_covers(driver).values()
    assert absent == HOSTILE_NAME and recorded(school)[2, HOSTILE_CLASS][1] == cover
    no_injected_markup(driver)

    submit(driver, change_link(driver, 2, HOSTILE_CLASS))
    assert driver.find_element("tag name", "h1").text == f"Period 2, {HOSTILE_CLASS}"
    assert f"{HOSTILE_NAME}'s Art lesson in R9." in driver.find_element("class name", "lead").text
    no_injected_markup(driver)

    visit(driver, address + DAY + "/print")
    assert HOSTILE_NAME in section(driver, "Absent").text and HOSTILE_REASON in section(driver, "Absent").text
    assert HOSTILE_CLASS in section(driver, "Cover board").text
    no_injected_markup(driver)


def test_the_policy_check_sees_a_violation(site):
    """The checks above would see an inline style the page tried to apply: they are not blind."""
    from selenium.webdriver.support.ui import WebDriverWait

    driver, address = site
    visit(driver, address + DAY)
    driver.execute_script("const style = document.createElement('style');"
                          "style.textContent = 'body { color: red }'; document.head.append(style);")
    WebDriverWait(driver, 10).until(lambda d: policy_violations(d))
    assert driver.execute_script("return getComputedStyle(document.body).color") != "rgb(255, 0, 0)"


@pytest.mark.parametrize("ci, outcome", [("", pytest.skip.Exception), ("true", pytest.fail.Exception)])
@pytest.mark.parametrize("find", [chromium, chromedriver])
def test_a_missing_browser_skips_here_and_fails_under_ci(monkeypatch, ci, outcome, find):
    monkeypatch.setattr(browser_support, "CHROMIUM", None)
    monkeypatch.setattr(browser_support, "CHROMEDRIVER", None)
    monkeypatch.setenv("CI", ci)
    with pytest.raises(outcome, match="chromium"):
        find()


@pytest.mark.parametrize("page", ["day", "change", "print", "week", "staff", "timetable"])
def test_nothing_runs_off_a_phone_screen(site, page):
    """At 390 px every page fits its width: no column, button or long reason is cut off."""
    driver, address = site
    plan_morning(driver, address)
    add_absence(driver, "Owen Price", "Residential trip to the field centre with Year 9, back on Friday", "1-2")
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": 390, "height": 800, "deviceScaleFactor": 1, "mobile": True})
    if page == "change":
        submit(driver, change_link(driver, 4, "10B"))
    else:
        visit(driver, address + {"day": DAY, "print": DAY + "/print", "week": f"/week/{DATE.isoformat()}"}.get(
            page, f"/{page}"))
    assert driver.execute_script("return [window.innerWidth, document.documentElement.scrollWidth]") == [390, 390]
    if page == "day":
        change = change_link(driver, 4, "10B")
        assert change.is_displayed() and change.rect["x"] + change.rect["width"] <= 390
