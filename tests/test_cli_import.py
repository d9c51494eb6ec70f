"""lessoncover plan reads files as spreadsheet programs write them: semicolons or tabs, header names
in any case and spacing, padded values, empty rows, BOM and CRLF, subject aliases and free-form
subjects; a duplicate lesson row is a warning. Each variant of the sample school plans as the
sample school does."""
import csv
import io

import pytest

from cli_support import FILES, SAMPLE, copy_day, plan, refused, run, without_timing, write_day

EXPECTED = None


def expected_report():
    global EXPECTED
    if EXPECTED is None:
        EXPECTED = without_timing(plan("--data", SAMPLE, "--format", "report").stdout)
    return EXPECTED


def rows_of(name):
    with open(SAMPLE / name, newline="", encoding="utf-8") as stream:
        return list(csv.reader(stream))


def as_text(rows, delimiter=",", line_end="\n"):
    stream = io.StringIO(newline="")
    csv.writer(stream, delimiter=delimiter, lineterminator=line_end).writerows(rows)
    return stream.getvalue()


def semicolons(rows):
    return as_text(rows, ";")


def tabs(rows):
    return as_text(rows, "\t")


def header_case_and_spaces(rows):
    return as_text([[f"  {name.title()} " for name in rows[0]], *rows[1:]])


def padded_values(rows):
    return as_text([rows[0], *([f" {value}\t" for value in row] for row in rows[1:])])


def empty_rows(rows):
    blank = [""] * len(rows[0])
    return as_text([blank, rows[0], blank, *rows[1:], blank, ["  "] * len(rows[0]), blank]) + "\n\n"


def bom_and_crlf(rows):
    return "\ufeff" + as_text(rows, line_end="\r\n")


def trailing_empty_columns(rows):
    return as_text([[*row, "", ""] for row in rows])


def extra_columns_first(rows):
    return as_text([["note", *rows[0]], *(["", *row] for row in rows[1:])])


def spreadsheet_export(rows):
    """Excel in a European locale: BOM, semicolons, CRLF, title-case header, empty rows at the end."""
    return "\ufeff" + as_text([[name.title() for name in rows[0]], *rows[1:], [""] * len(rows[0])],
                              ";", "\r\n") + ";;\r\n;;\r\n"


VARIANTS = [semicolons, tabs, header_case_and_spaces, padded_values, empty_rows, bom_and_crlf,
            trailing_empty_columns, extra_columns_first, spreadsheet_export]


@pytest.mark.parametrize("variant", VARIANTS, ids=lambda f: f.__name__)
@pytest.mark.parametrize("file_name", FILES)
def test_variant_plans_as_the_sample(tmp_path, variant, file_name):
    copy_day(SAMPLE, tmp_path)
    (tmp_path / file_name).write_bytes(variant(rows_of(file_name)).encode("utf-8"))
    assert without_timing(plan("--data", tmp_path, "--format", "report").stdout) == expected_report()


@pytest.mark.parametrize("variant", VARIANTS, ids=lambda f: f.__name__)
def test_variant_of_all_three_files(tmp_path, variant):
    for name in FILES:
        (tmp_path / name).write_bytes(variant(rows_of(name)).encode("utf-8"))
    assert without_timing(plan("--data", tmp_path, "--format", "report").stdout) == expected_report()


SPELLINGS = {"maths": ["Mathematics", " MATH ", "maths", "Maths"], "p.e": ["PE", "Physical Education", "sport"],
             "computer": ["ICT", "Computer Science", "computing"], "art": ["Fine Art", "ARTS"]}


@pytest.mark.parametrize("subject, aliases", SPELLINGS.items(), ids=SPELLINGS.keys())
def test_subject_aliases_plan_as_the_lessoncover_spelling(tmp_path, subject, aliases):
    rows = rows_of("teachers.csv")
    replaced = 0
    for index, row in enumerate(rows[1:]):
        if row[1] == subject:
            row[1] = aliases[index % len(aliases)]
            replaced += 1
    assert replaced
    copy_day(SAMPLE, tmp_path)
    (tmp_path / "teachers.csv").write_text(as_text(rows), encoding="utf-8")
    assert without_timing(plan("--data", tmp_path, "--format", "report").stdout) == expected_report()


def test_free_form_subjects_cover_each_other(tmp_path):
    write_day(tmp_path, "name,subject\nAnne,French\nBea,maths\nCem, french \n", "teacher,period,class\nAnne,1,7A\n",
              "name,reason\nAnne,Sick\n")
    report = plan("--data", tmp_path, "--format", "report").stdout
    assert report.splitlines()[1] == "Anne,1,French,Cem,7A,Sick"


def test_duplicate_lesson_row_is_a_warning(tmp_path):
    copy_day(SAMPLE, tmp_path)
    lines = (SAMPLE / "lessons.csv").read_text(encoding="utf-8").splitlines(keepends=True)
    keiko = next(index for index, line in enumerate(lines) if line.startswith("Keiko Sato,"))
    (tmp_path / "lessons.csv").write_text("".join([*lines, lines[keiko]]), encoding="utf-8")
    shown = run("plan", "--data", tmp_path, "--format", "report")
    assert shown.returncode == 0
    assert shown.stderr.count("\n") == 1 and shown.stderr.startswith("lessoncover: warning: ")
    assert f"line {len(lines) + 1}" in shown.stderr and f"first on line {keiko + 1}" in shown.stderr
    assert without_timing(shown.stdout) == expected_report()


@pytest.mark.parametrize("mark", [b"", b"\xef\xbb\xbf"], ids=["plain", "byte-order-mark"])
@pytest.mark.parametrize("spelt", ["Zo\u00eb Evans", "\u017doe Evans"], ids=["inside-a-line", "first-byte-of-a-line"])
def test_not_utf8_gives_the_line_and_a_hint(tmp_path, mark, spelt):
    copy_day(SAMPLE, tmp_path)
    text = (SAMPLE / "teachers.csv").read_text(encoding="utf-8").replace("Zoe Evans", spelt)
    (tmp_path / "teachers.csv").write_bytes(mark + text.encode("cp1250"))
    line = next(number for number, row in enumerate(text.splitlines(), 1) if spelt in row)
    shown = run("plan", "--data", tmp_path)
    refused(shown, 2, f"teachers.csv, line {line}: not valid UTF-8", '"CSV UTF-8"')
    assert shown.stdout == ""
