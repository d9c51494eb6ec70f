"""lessoncover history's report: covers by teacher over a range of dates as an aligned table, as CSV
(formula-guarded, CRLF) and as a page with an SVG bar chart and the same numbers as a table, which
stays within a phone's width and prints every teacher."""
import csv
import io
import re
from datetime import date
from html.parser import HTMLParser
from importlib import resources

import pytest

from lessoncover_planner.cli.cells import unguard
from lessoncover_planner.office.history_report import range_text, render_history_report
from tests.test_cli_html import browser, layout_widths

MARCH = (date(2025, 3, 1), date(2025, 3, 31))
ROWS = [("Asha", 3), ("Ben Okafor", 0), ("Cleo", 6), ("Dev", 1)]
HOSTILE = [("=HYPERLINK(\"http://x\")", 2), ("<b>Amy</b> & \"Co\"", 1), ("Ann\u202e tnesbA", 0), ("-1", 4),
           ("O'Neil, Pat", 0)]


def report(rows, format_name, first=MARCH[0], last=MARCH[1]):
    return render_history_report(rows, first, last, format_name)


@pytest.mark.parametrize("first, last, words", [
    (date(2025, 3, 1), date(2025, 3, 31), "2025-03-01 to 2025-03-31"),
    (date(2025, 3, 10), date(2025, 3, 10), "2025-03-10"),
    (date(2025, 3, 1), None, "from 2025-03-01 on"),
    (None, date(2025, 3, 31), "up to 2025-03-31"),
    (None, None, "all dates"),
])
def test_the_range_in_words(first, last, words):
    assert range_text(first, last) == words
    assert words in report(ROWS, "text", first, last).decode("utf-8").splitlines()[0]
    assert words in report(ROWS, "html", first, last).decode("utf-8")


def test_an_unknown_format_is_refused():
    with pytest.raises(ValueError, match="no history format 'json'; choose from text, csv, html"):
        report(ROWS, "json")


# --- text ----------------------------------------------------------------------------------

def test_text_is_a_table_with_the_total_in_teacher_order():
    assert report(ROWS, "text").decode("utf-8") == (
        "Covers by teacher, 2025-03-01 to 2025-03-31\n"
        "===========================================\n"
        "\n"
        "  Name        Covers\n"
        "  Asha             3\n"
        "  Ben Okafor       0\n"
        "  Cleo             6\n"
        "  Dev              1\n"
        "  ----------  ------\n"
        "  Total           10\n"
        "\n"
        "10 covers by 4 teachers, 2.5 a teacher on average\n")


@pytest.mark.parametrize("rows, summary", [([], "0 covers by 0 teachers, 0.0 a teacher on average"),
                                           ([("Asha", 1)], "1 cover by 1 teacher, 1.0 a teacher on average")])
def test_text_of_few_teachers(rows, summary):
    lines = report(rows, "text", None, None).decode("utf-8").splitlines()
    assert lines[0] == "Covers by teacher, all dates" and lines[-1] == summary
    assert ("  No teachers." in lines) is (not rows)


def test_text_columns_line_up_by_terminal_width_and_controls_are_escaped():
    rows = [("\u5c71\u7530\u592a\u90ce", 12), ("Jose\u0301", 3), ("Eve\x1b[2J", 100)]
    lines = report(rows, "text").decode("utf-8").splitlines()
    assert lines[3:9] == ["  Name        Covers",
                          "  \u5c71\u7530\u592a\u90ce        12",  # four characters, eight columns
                          "  Jose\u0301             3",
                          "  Eve\\x1b[2J     100",
                          "  ----------  ------",
                          "  Total          115"]


# --- csv -----------------------------------------------------------------------------------

def test_csv_has_a_row_a_teacher_with_crlf_and_a_byte_order_mark():
    data = report(ROWS, "csv")
    assert data == "\ufeffname,covers\r\nAsha,3\r\nBen Okafor,0\r\nCleo,6\r\nDev,1\r\n".encode("utf-8")


def test_csv_names_are_guarded_and_read_back_exactly():
    text = report(HOSTILE, "csv").decode("utf-8-sig")
    rows = list(csv.reader(io.StringIO(text, newline="")))
    assert rows[0] == ["name", "covers"]
    assert rows[1][0] == "'=HYPERLINK(\"http://x\")" and rows[4][0] == "'-1"
    assert [(unguard(name), int(covers)) for name, covers in rows[1:]] == HOSTILE


# --- html ----------------------------------------------------------------------------------

class PageReader(HTMLParser):
    """The chart's rows (name, bar width, number), the table's rows and every tag seen."""

    def __init__(self):
        super().__init__()
        self.tags, self.chart, self.table, self.total = set(), [], [], None
        self._where, self._cell, self._row = None, None, None

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        self.tags.add(tag)
        assert not any(name.startswith("on") for name in attrs), (tag, attrs)  # no script in handlers
        classes = (attrs.get("class") or "").split()
        if tag == "div" and "row" in classes and "axis" not in classes:
            self._row = {"name": "", "width": None, "covers": ""}
            self.chart.append(self._row)
        elif tag == "rect" and "value" in classes:
            self._row["width"] = attrs["width"]
        elif tag == "span" and self._row is not None and classes and classes[0] in ("name", "count"):
            self._cell = classes[0]
        elif tag == "table":
            self._where = "table"
        elif tag == "tr" and self._where == "table":
            self.table.append([])
        elif tag in ("th", "td") and self._where == "table":
            self.table[-1].append("")
            self._cell = len(self.table[-1]) - 1

    def handle_endtag(self, tag):
        if tag in ("span", "th", "td"):
            self._cell = None
        if tag == "table":
            self._where = None

    def handle_data(self, data):
        if self._cell in ("name", "count"):
            self._row["name" if self._cell == "name" else "covers"] += data
        elif self._where == "table" and self._cell is not None:
            self.table[-1][self._cell] += data


def read_page(rows):
    page = report(rows, "html").decode("utf-8")
    reader = PageReader()
    reader.feed(page)
    return page, reader


@pytest.mark.parametrize("rows", [ROWS, HOSTILE, [("Solo", 0)], [(f"Teacher {n}", n % 7) for n in range(150)]],
                         ids=["four", "hostile names", "nobody covered", "150 teachers"])
def test_the_chart_and_the_table_show_the_same_numbers_on_one_scale(rows):
    page, reader = read_page(rows)
    most = max(covers for _, covers in rows)
    assert [(row["name"], int(row["covers"])) for row in reader.chart] == rows
    for row, (_, covers) in zip(reader.chart, rows):
        if covers:
            assert float(row["width"].rstrip("%")) == pytest.approx(100 * covers / most, abs=0.01)
        else:
            assert row["width"] is None  # no bar, only its track
    assert reader.table[1:-1] == [[name, str(covers)] for name, covers in rows]
    assert reader.table[0] == ["Teacher", "Covers"] and reader.table[-1] == ["Total", str(sum(c for _, c in rows))]
    assert "script" not in reader.tags and "svg" in reader.tags


def test_names_in_the_page_are_escaped_and_isolated():
    page, _ = read_page(HOSTILE)
    body = page[page.index("<body"):]
    assert "<b>Amy</b>" not in page and "&lt;b&gt;Amy&lt;/b&gt; &amp; &#34;Co&#34;" in body
    assert body.count("\u202e") == body.count("<bdi>Ann\u202e tnesbA</bdi>") == 2  # the chart and the table


def test_a_page_of_no_teachers_says_so():
    page, reader = read_page([])
    assert "No teachers." in page and reader.chart == [] and "svg" not in reader.tags


def test_the_template_is_package_data():
    template = resources.files("lessoncover_planner.office") / "templates" / "history.html.j2"
    assert template.is_file() and "<svg" in template.read_text(encoding="utf-8")


# --- in the browser ------------------------------------------------------------------------

LONG_NAMES = [("Maximiliana Oyelaran-Featherstonehaugh", 12), ("Bo", 0), ("Bartholomew Quintanilla", 7),
              ("\u5c71\u7530\u592a\u90ce", 3)] + [(f"Teacher {n:03d}", n % 9) for n in range(146)]


@pytest.mark.parametrize("width", [390, 1280])
def test_nothing_runs_past_a_phones_width(tmp_path, width):
    """The page in a frame of width px (a headless window is never narrower than 500 px): its
    scroll width is the frame's width."""
    page = tmp_path / "history.html"
    page.write_bytes(report(LONG_NAMES, "html"))
    scroll, inner = layout_widths(tmp_path, page, width)
    assert inner == width and scroll <= inner


def test_printed_every_teacher_is_on_a_page_headed_by_the_range(tmp_path):
    from pypdf import PdfReader

    page = tmp_path / "history.html"
    page.write_bytes(report(LONG_NAMES, "html"))
    pdf = tmp_path / "history.pdf"
    browser(tmp_path, "--no-pdf-header-footer", f"--print-to-pdf={pdf}", page.as_uri())
    texts = [sheet.extract_text() for sheet in PdfReader(pdf).pages]
    assert len(texts) > 1
    for number, text in enumerate(texts, 1):
        assert "Covers by teacher, 2025-03-01 to 2025-03-31" in text and f"page {number} of {len(texts)}" in text
    printed = "\n".join(texts)
    for name, covers in LONG_NAMES[4:]:  # each on one line with its number, once
        assert len(re.findall(rf"^{name} {covers}$", printed, re.M)) == 1, name
