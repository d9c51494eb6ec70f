"""The optional room column of lessons.csv: read like the other columns, shown on the board and the
slips (text and HTML), kept in CSV (last column) and JSON (a room key where known); the planner
never sees it."""
import json
import pickle

import pytest

from cli_support import CSV_HEADER, csv_rows, json_plan, plan, write_day
from lessoncover_planner.cli.reading import read_day

TEACHERS = "name,subject\nA,maths\nB,maths\nC,art\nD,art\n"
ABSENCES = "name,reason\nA,Sick\n"


def day_with(tmp_path, lessons):
    return write_day(tmp_path / "day", TEACHERS, lessons, ABSENCES)


@pytest.mark.parametrize("header", ["teacher,period,class,room", "Room;Class;Period;Teacher", " ROOM \tclass\tperiod\tteacher"])
def test_room_header_is_matched_like_the_others(tmp_path, header):
    names = [name.strip().lower() for name in header.replace(";", ",").replace("\t", ",").split(",")]
    delimiter = ";" if ";" in header else "\t" if "\t" in header else ","
    values = {"teacher": "A", "period": "1", "class": "7A", "room": " Lab 2 "}
    folder = day_with(tmp_path, f"{header}\n{delimiter.join(values[name] for name in names)}\n")
    day = read_day(folder)
    assert day.lessons == [("A", 1, "7A")] and day.rooms == {("A", 1, "7A"): "Lab 2"}
    assert pickle.loads(pickle.dumps(day)) == day  # sent to pool processes as it is


def test_no_room_column_changes_nothing(tmp_path):
    folder = day_with(tmp_path, "teacher,period,class\nA,1,7A\n")
    assert read_day(folder).rooms == {}
    rows = csv_rows(plan("--data", folder, "--format", "csv").stdout)
    assert rows[0]["room"] == ""
    assert "room" not in json_plan("--data", folder)["covers"][0]


def test_a_duplicate_row_fills_in_a_missing_room_but_never_replaces_one(tmp_path):
    folder = day_with(tmp_path, "teacher,period,class,room\nA,1,7A,\nA,1,7A,R2\nA,1,7A,R3\n")
    assert read_day(folder).rooms == {("A", 1, "7A"): "R2"}


LESSONS = "teacher,period,class,room\nA,1,7A,M1\nA,2,7A,\nA,3,7B,M2\nC,3,7C,Art\n"


def test_csv_adds_room_as_the_last_column(tmp_path):
    raw = plan("--data", day_with(tmp_path, LESSONS), "--format", "csv").stdout
    assert raw.lstrip("\ufeff").splitlines()[0] == ",".join(CSV_HEADER) and CSV_HEADER[-1] == "room"
    rows = csv_rows(raw)
    assert [(row["period"], row["class"], row["room"]) for row in rows] == [("1", "7A", "M1"), ("2", "7A", ""),
                                                                             ("3", "7B", "M2")]


def test_json_has_a_room_where_known(tmp_path):
    document = json_plan("--data", day_with(tmp_path, LESSONS))
    assert [cover.get("room") for cover in document["covers"]] == ["M1", None, "M2"]


def test_text_board_and_html_board_and_slips_show_rooms(tmp_path):
    folder = day_with(tmp_path, LESSONS)
    text = plan("--data", folder).stdout
    board = text[text.index("Cover board"):].splitlines()
    assert "Room" in board[2]
    assert any(line.split()[:2] == ["7A", "M1"] for line in board)
    assert any(line.split()[:2] == ["7B", "M2"] for line in board)
    page = plan("--data", folder, "--format", "html").stdout
    slips = page[page.index('<div class="slips">'):]
    assert "<th>Room</th>" in page and "<bdi>M1</bdi>" in slips and "<bdi>M2</bdi>" in slips
    assert '<td data-label="Room"><bdi>M1</bdi></td>' in page


def test_a_combined_lesson_keeps_each_rows_room(tmp_path):
    """One substitute takes both classes; each class is shown in the room of its own row."""
    folder = day_with(tmp_path, "teacher,period,class,room\nA,1,7A,M1\nA,1,7B,M2\nC,1,7C,Art\nD,1,7D,Art 2\n")
    document = json_plan("--data", folder, "--combined-lessons")
    assert [(c["class_name"], c["room"], c["rule"]) for c in document["covers"]] == [
        ("7A", "M1", "subject"), ("7B", "M2", "combined")]
    text = plan("--data", folder, "--combined-lessons").stdout
    assert "7B     M2    maths    A       B      combined lesson" in text


def test_the_planner_gets_the_same_lessons_with_or_without_rooms(tmp_path):
    with_rooms = json_plan("--data", day_with(tmp_path, LESSONS))
    without = json_plan("--data", write_day(tmp_path / "plain", TEACHERS,
                                            "teacher,period,class\nA,1,7A\nA,2,7A\nA,3,7B\nC,3,7C\n", ABSENCES))
    for document in (with_rooms, without):
        for record in document["covers"]:
            record.pop("room", None)
        document.pop("elapsed"), document.pop("day")
    assert json.dumps(with_rooms, sort_keys=True) == json.dumps(without, sort_keys=True)
