"""lessoncover plan --format html: escaping, what the page shows, and the page in headless Chromium
(--dump-dom for the names shown, --print-to-pdf for one page per slip)."""
from markupsafe import escape
import os
import re
import shutil
import subprocess

import pytest

from cli_support import REAL_DAY, json_plan, plan, real_day, write_day

CHROMIUM = next(filter(None, map(shutil.which, ("chromium", "chromium-browser", "google-chrome"))), None)
# The sanitizer run preloads ASan into every process; Chromium must start without it.
BROWSER_ENV = {key: value for key, value in os.environ.items()
               if key not in ("LD_PRELOAD", "ASAN_OPTIONS", "UBSAN_OPTIONS", "PYTHONMALLOC")}

HOSTILE = ("name,subject\n<b>X</b>,maths\nAmy & \"Co\",maths\nBo,art\n",
           "teacher,period,class\n<b>X</b>,1,<script>alert(1)</script>\n<b>X</b>,2,7B\nBo,2,7C\n",
           "name,reason\n<b>X</b>,<i>ill</i> & 'away'\n")


def browser(tmp_path, *args):
    """Run headless Chromium with args; skipped without it, failed without it when CI=true."""
    if CHROMIUM is None:
        if os.environ.get("CI") == "true":
            pytest.fail("CI=true but no chromium: .ci/run installs the Debian package chromium")
        pytest.skip("no chromium on PATH (Debian package chromium); the browser tests need it")
    profile = tmp_path / "chromium-profile"
    shown = subprocess.run([CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                            f"--user-data-dir={profile}", *map(str, args)],
                           capture_output=True, env=BROWSER_ENV, timeout=120)
    assert shown.returncode == 0, shown.stderr.decode(errors="replace")[-2000:]
    return shown.stdout.decode("utf-8")


def page_for(tmp_path, *args, name="cover.html"):
    out = tmp_path / name
    plan(*args, "--format", "html", "--out", out)
    return out


def pdf_pages(tmp_path, page):
    pdf = tmp_path / (page.stem + ".pdf")
    browser(tmp_path, "--no-pdf-header-footer", f"--print-to-pdf={pdf}", page.as_uri())
    data = pdf.read_bytes()
    assert data.startswith(b"%PDF")
    return len(re.findall(rb"/Type\s*/Page\b(?!s)", data))


def test_names_are_escaped_not_markup(tmp_path):
    day = write_day(tmp_path / "day", *HOSTILE)
    text = page_for(tmp_path, "--data", day).read_text(encoding="utf-8")
    assert "<b>X</b>" not in text and "<script>alert" not in text and "<i>ill</i>" not in text
    assert str(escape("<b>X</b>")) in text and str(escape("<script>alert(1)</script>")) in text
    assert str(escape("Amy & \"Co\"")) in text and str(escape("<i>ill</i> & 'away'")) in text


def test_page_shows_absentees_board_uncovered_and_slips(tmp_path):
    day = write_day(tmp_path / "monday",
                    "name,subject\nAsha,maths\nBen,maths\nCleo,art\nDev,english\n",
                    "teacher,period,class\nAsha,1,10A\nAsha,2,10A\nBen,1,10B\nCleo,2,10C\nDev,2,10D\n"
                    "Dev,1,10D\n",
                    'name,reason\nAsha,"Course, off site"\nDev,\n')
    text = page_for(tmp_path, "--data", day).read_text(encoding="utf-8")
    document = json_plan("--data", day)
    assert "<h1>monday</h1>" in text and "Course, off site" in text and "no reason given" in text
    assert document["summary"]["uncovered"] == text.count('<li class="uncovered">') > 0
    for lesson in document["uncovered"]:
        assert str(escape(lesson["why"])) in text
    assert text.count('<tr class="uncovered">') == document["summary"]["uncovered"]
    assert text.count('<tr class="covered">') == document["summary"]["covered"]
    slips = re.findall(r'<section class="slip">.*?</section>', text, re.S)
    assert [re.search(r"<h3>(.*?)</h3>", slip)[1] for slip in slips] == sorted(
        {cover["substitute"] for cover in document["covers"]})
    assert all("initials" in slip for slip in slips)


def test_nobody_absent_gives_an_empty_board(tmp_path):
    day = write_day(tmp_path / "day", "name,subject\nA,maths\n", "teacher,period,class\nA,1,7A\n", "name,reason\n")
    text = page_for(tmp_path, "--data", day).read_text(encoding="utf-8")
    assert "Nobody is absent." in text and "No lesson needs cover." in text and 'class="slip"' not in text


def test_browser_shows_the_names(tmp_path):
    page = page_for(tmp_path)
    dom = browser(tmp_path, "--dump-dom", page.as_uri())
    document = json_plan()
    assert "<h1>sample school</h1>" in dom
    for cover in document["covers"]:
        assert cover["substitute"] in dom and cover["absent"] in dom
    assert dom.count('<section class="slip">') == document["summary"]["substitutes"]


def test_browser_shows_markup_in_names_as_text(tmp_path):
    day = write_day(tmp_path / "day", *HOSTILE)
    dom = browser(tmp_path, "--dump-dom", page_for(tmp_path, "--data", day).as_uri())
    assert "&lt;b&gt;X&lt;/b&gt;" in dom and "<b>X</b>" not in dom and "<script>alert" not in dom


def test_print_gives_one_page_per_slip(tmp_path):
    """The board of the sample school fits one A4 page; then each slip starts a page of its own."""
    substitutes = json_plan()["summary"]["substitutes"]
    assert pdf_pages(tmp_path, page_for(tmp_path)) == 1 + substitutes


def test_print_without_covers_is_one_page(tmp_path):
    day = write_day(tmp_path / "day", "name,subject\nA,maths\n", "teacher,period,class\nA,1,7A\n", "name,reason\n")
    assert pdf_pages(tmp_path, page_for(tmp_path, "--data", day)) == 1


@real_day
def test_print_of_a_real_timetable_has_a_page_per_slip(tmp_path):
    substitutes = json_plan("--data", REAL_DAY)["summary"]["substitutes"]
    pages = pdf_pages(tmp_path, page_for(tmp_path, "--data", REAL_DAY))
    assert 1 + substitutes <= pages <= 3 + substitutes
