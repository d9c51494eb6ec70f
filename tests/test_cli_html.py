"""lessoncover plan --format html: escaping, what the page shows, and the page in headless Chromium
(--dump-dom for the names shown, --print-to-pdf for the slips' pages and the date on each page, a
390 px window for the phone layout)."""
from markupsafe import escape
import re
import subprocess

import pytest

from browser_support import BROWSER_ENV, chromium
from cli_support import REAL_DAY, json_plan, plan, real_day, write_day

HOSTILE = ("name,subject\n<b>X</b>,maths\nAmy & \"Co\",maths\nBo,art\n",
           "teacher,period,class\n<b>X</b>,1,<script>alert(1)</script>\n<b>X</b>,2,7B\nBo,2,7C\n",
           "name,reason\n<b>X</b>,<i>ill</i> & 'away'\n")


def browser(tmp_path, *args):
    """Run headless Chromium with args; skipped without it, failed without it when CI=true."""
    browser_path = chromium()
    profile = tmp_path / "chromium-profile"
    shown = subprocess.run([browser_path, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
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
    assert "<h1><bdi>monday</bdi></h1>" in text and "Course, off site" in text and "no reason given" in text
    assert document["summary"]["uncovered"] == text.count('<li class="uncovered">') > 0
    for lesson in document["uncovered"]:
        assert str(escape(lesson["why"])) in text
    assert text.count('<tr class="uncovered">') == document["summary"]["uncovered"]
    assert text.count('<tr class="covered">') == document["summary"]["covered"]
    slips = re.findall(r'<section class="slip">.*?</section>', text, re.S)
    assert [re.search(r"<h3><bdi>(.*?)</bdi></h3>", slip)[1] for slip in slips] == sorted(
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
    assert "<h1><bdi>sample school</bdi></h1>" in dom
    for cover in document["covers"]:
        assert cover["substitute"] in dom and cover["absent"] in dom
    assert dom.count('<section class="slip">') == document["summary"]["substitutes"]


def test_browser_shows_markup_in_names_as_text(tmp_path):
    day = write_day(tmp_path / "day", *HOSTILE)
    dom = browser(tmp_path, "--dump-dom", page_for(tmp_path, "--data", day).as_uri())
    assert "&lt;b&gt;X&lt;/b&gt;" in dom and "<b>X</b>" not in dom and "<script>alert" not in dom


def test_print_with_slip_per_page_gives_one_page_per_slip(tmp_path):
    """The board of the sample school fits one A4 page; then each slip starts a page of its own."""
    substitutes = json_plan()["summary"]["substitutes"]
    assert pdf_pages(tmp_path, page_for(tmp_path, "--slip-per-page")) == 1 + substitutes


def test_print_puts_the_sample_schools_slips_on_one_page(tmp_path):
    """Six slips of one to four covers fit one page after the board's."""
    assert json_plan()["summary"]["substitutes"] == 6
    assert pdf_pages(tmp_path, page_for(tmp_path)) == 2


def test_print_without_covers_is_one_page(tmp_path):
    day = write_day(tmp_path / "day", "name,subject\nA,maths\n", "teacher,period,class\nA,1,7A\n", "name,reason\n")
    assert pdf_pages(tmp_path, page_for(tmp_path, "--data", day)) == 1


@real_day
def test_print_of_a_real_timetable(tmp_path):
    """One page a slip with --slip-per-page; by default the slips share pages."""
    substitutes = json_plan("--data", REAL_DAY)["summary"]["substitutes"]
    pages = pdf_pages(tmp_path, page_for(tmp_path, "--data", REAL_DAY, "--slip-per-page"))
    assert 1 + substitutes <= pages <= 3 + substitutes
    flowing = pdf_pages(tmp_path, page_for(tmp_path, "--data", REAL_DAY, name="flowing.html"))
    assert flowing <= pages - substitutes // 2


def flu_day(folder, absent=25, periods=(1, 2, 3)):
    """A Friday with absent teachers off, each class in its own room, as many free colleagues."""
    subjects = ("maths", "english", "french", "art", "physics")
    away = [f"Absent Teacher {i:02d}" for i in range(absent)]
    free = [f"Cover Teacher {i:02d}" for i in range(absent)]
    teachers = "name,subject\n" + "".join(f"{name},{subjects[i % 5]}\n" for i, name in enumerate(away + free))
    lessons = "teacher,period,class,room\n" + "".join(
        f"{name},{period},{7 + i % 5}{'ABCDE'[i // 5 % 5]},R{i:02d}\n" for i, name in enumerate(away) for period in periods)
    return write_day(folder, teachers, lessons, "name,reason\n" + "".join(f"{name},Flu\n" for name in away))


def pdf_texts(tmp_path, page):
    """The text of each page of the page printed to PDF by Chromium."""
    pypdf = pytest.importorskip("pypdf")
    pdf = tmp_path / (page.stem + ".pdf")
    browser(tmp_path, "--no-pdf-header-footer", f"--print-to-pdf={pdf}", page.as_uri())
    return [sheet.extract_text() for sheet in pypdf.PdfReader(pdf).pages]


def slips_on(text):
    """The substitutes whose slips a printed page holds (the slips start on a page after the board)."""
    return re.findall(r"Cover Teacher \d\d", text) if "initials" in text else []


def test_flu_friday_slips_share_pages_and_none_is_split(tmp_path):
    """25 slips of three covers take a few pages, each slip whole on one of them (its name, its three
    rows and its line to initial), and every page is headed by the day and its number."""
    day = flu_day(tmp_path / "friday")
    assert json_plan("--data", day)["summary"]["substitutes"] == 25
    texts = pdf_texts(tmp_path, page_for(tmp_path, "--data", day))
    slip_pages = [text for text in texts if slips_on(text)]
    assert 3 <= len(slip_pages) <= 9
    assert sorted(name for text in slip_pages for name in slips_on(text)) == [f"Cover Teacher {i:02d}" for i in range(25)]
    for text in slip_pages:
        assert len(slips_on(text)) == text.count("initials")
    for number, text in enumerate(texts, 1):
        assert "Cover for friday" in text and f"page {number} of {len(texts)}" in text, (number, text[:200])


def test_flu_friday_with_slip_per_page_prints_one_slip_a_page(tmp_path):
    day = flu_day(tmp_path / "friday")
    texts = pdf_texts(tmp_path, page_for(tmp_path, "--data", day, "--slip-per-page"))
    slip_pages = [slips_on(text) for text in texts if slips_on(text)]
    assert len(slip_pages) == 25 and all(len(names) == 1 for names in slip_pages)
    assert all("Cover for friday" in text for text in texts)


@pytest.mark.parametrize("name, string", [
    ("monday", '"monday"'),
    ("Fri 5.6_x-y", '"Fri\\0000205.6_x-y"'),
    ('a"}</style>', '"a\\000022\\00007d\\00003c\\00002fstyle\\00003e"'),
    ("x\\ 1", '"x\\00005c\\0000201"'),  # an escape never swallows the space after it
    ("Łódź", '"\\000141\\0000f3d\\00017a"'),
])
def test_css_string_leaves_only_letters_digits_and_escapes(name, string):
    from lessoncover_planner.cli.formats import css_string

    assert css_string(name) == string


def test_the_running_header_shows_a_day_name_with_markup_and_quotes(tmp_path):
    """The day's name goes into the style sheet's page header as a CSS string; quotes, angle brackets
    and backslashes in a folder name close neither the string nor the style element."""
    name = 'Fri "5th" <b>\\ 10:00 </style'
    day = write_day(tmp_path / name.replace("/", "_"), "name,subject\nA,maths\nB,maths\n",
                    "teacher,period,class\nA,1,7A\n", "name,reason\nA,\n")
    page = page_for(tmp_path, "--data", day)
    text = page.read_text(encoding="utf-8")
    style = text[text.index("<style>"):text.index("</style>")]
    assert "<" not in style[1:] and "<b>" not in text
    texts = pdf_texts(tmp_path, page)
    assert all(f"Cover for {day.name}" in sheet for sheet in texts), texts


def layout_widths(tmp_path, page, width):
    """The page's scroll width and its window's inner width in a frame width px wide.

    A headless window is never narrower than 500 px, so the page is shown in an iframe of that width;
    the frame's own script (the page has none) reads the widths and writes them into the DOM."""
    probe = tmp_path / f"probe-{width}.html"
    probe.write_text(
        '<!DOCTYPE html><html><body style="margin:0">'
        f'<iframe id="frame" src="{page.name}" style="border:0;width:{width}px;height:2000px"></iframe>'
        "<script>document.getElementById('frame').addEventListener('load', function () {"
        " document.body.setAttribute('data-widths', this.contentDocument.documentElement.scrollWidth"
        " + ',' + this.contentWindow.innerWidth); });</script></body></html>", encoding="utf-8")
    assert probe.parent == page.parent
    dom = browser(tmp_path, "--allow-file-access-from-files", "--hide-scrollbars", "--window-size=1200,2000",
                  "--dump-dom", probe.as_uri())
    scroll, inner = re.search(r'data-widths="(\d+),(\d+)"', dom).groups()
    return int(scroll), int(inner)


LONG = ("name,subject\nMaximiliana Oyelaran-Featherstonehaugh,Physical Education\nBartholomew Quintanilla,maths\n"
        "Bo,art\n",
        "teacher,period,class,room\nMaximiliana Oyelaran-Featherstonehaugh,1,10A-Science,Laboratory North 2\n"
        "Bo,1,7C,\nMaximiliana Oyelaran-Featherstonehaugh,2,10A-Science,\n",
        "name,reason,periods\nMaximiliana Oyelaran-Featherstonehaugh,Residential trip to the field centre,1\n")


@pytest.mark.parametrize("width", [390, 1100])
@pytest.mark.parametrize("school", ["sample", "long names", "flu"])
def test_nothing_is_cut_off_at_phone_width(tmp_path, school, width):
    """No column of the board (nor anything else) runs past the right of a 390 px phone screen."""
    if school == "sample":
        page = page_for(tmp_path)
    elif school == "long names":
        page = page_for(tmp_path, "--data", write_day(tmp_path / "day", *LONG))
    else:
        page = page_for(tmp_path, "--data", flu_day(tmp_path / "friday"))
    scroll, inner = layout_widths(tmp_path, page, width)
    assert inner == width and scroll <= inner


def test_every_name_class_and_reason_is_isolated(tmp_path):
    """A right-to-left override in a name cannot reorder the text after it: every value from the files
    stands in a <bdi> of its own, escaped."""
    evil = "Ann\u202e tnesbA"
    day = write_day(tmp_path / "day", f"name,subject\n{evil},maths\nBen,maths\nCy,art\n",
                    f"teacher,period,class,room\n{evil},1,7\u202eA,R\u202e1\n{evil},2,7B,\nCy,2,7C,\n",
                    f"name,reason\n{evil},ill \u202e gone\n")
    page = page_for(tmp_path, "--data", day).read_text(encoding="utf-8")
    body = page[page.index("<body"):]
    for value in (evil, "7\u202eA", "R\u202e1", "ill \u202e gone", "maths"):
        assert body.count(value) == body.count(f"<bdi>{value}</bdi>") > 0, value
    assert body.count("\u202e") == sum(body.count(f"<bdi>{v}</bdi>") for v in (evil, "7\u202eA", "R\u202e1",
                                                                              "ill \u202e gone"))
