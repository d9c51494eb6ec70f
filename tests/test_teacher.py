"""Teacher objects: construction, periods, properties and printed text."""
import re
from collections import Counter

import pytest

from lessoncover import Teacher

ITEM = re.compile(r'"((?:[^"\\]|\\.)*)"')


def frame(name, sub, present):
    """The printed text of a teacher around its period list."""
    head = "Teacher:\n    {\n        name:" + name + " \n        periods: "
    tail = (" \n        subject: " + sub + "\n        present: "
            + ("true" if present else "false") + "\n    }\n")
    return head, tail


def listed_periods(t, sub="Maths"):
    """Checks the printed text of `t` and returns its period items, still escaped."""
    head, tail = frame(t.name, sub, t.present)
    text = str(t)
    assert text.startswith(head) and text.endswith(tail), text
    body = text[len(head):len(text) - len(tail)]
    items = ITEM.findall(body)
    assert body == "[" + ", ".join('"%s"' % i for i in items) + "]", body
    return items


def test_printed_text_of_single_period_teacher():
    t = Teacher("Asha", "maths", True)
    t.add_period(3, "10A")
    assert str(t) == (
        "Teacher:\n"
        "    {\n"
        "        name:Asha \n"
        '        periods: ["3:10A"] \n'
        "        subject: Maths\n"
        "        present: true\n"
        "    }\n")


@pytest.mark.parametrize("present", [True, False])
def test_new_teacher(present):
    t = Teacher("Asha", "MATHS", present)
    assert t.name == "Asha"
    assert t.present is present
    assert t.get_sub() == "Maths"
    assert t.reason_of_absentee == "Planned Absense"
    head, tail = frame("Asha", "Maths", present)
    assert str(t) == head + "[]" + tail


def test_constructor_by_keyword():
    t = Teacher(present=False, sub="Bio", name="Ravi")
    assert (t.name, t.get_sub(), t.present) == ("Ravi", "Biology", False)
    u = Teacher("Mira", present=True, sub="art")
    assert (u.name, u.get_sub(), u.present) == ("Mira", "Arts", True)


@pytest.mark.parametrize("name", [
    "", "O'Brien", 'say "hi" \\o/', "Zoë", "a\nb\tc", "a\0b", "名前", "\u200b", "  padded  ",
])
def test_name_kept_and_printed_unchanged(name):
    t = Teacher(name, "history", False)
    assert t.name == name
    head, tail = frame(name, "History", False)
    assert str(t) == head + "[]" + tail


@pytest.mark.parametrize("grade, quoted", [
    ("10A", r'"3:10A"'),
    ("", r'"3:"'),
    ('a"b', r'"3:a\"b"'),
    ("a\\b", r'"3:a\\b"'),
    ("a\nb\tc\rd\0e", r'"3:a\nb\tc\rd\0e"'),
    ("it's 10 B", '"3:it\'s 10 B"'),
    ("\u00e9\u00df\u4e2d\U0001F600", '"3:\u00e9\u00df\u4e2d\U0001F600"'),
    ("\u0903", '"3:\u0903"'),           # spacing mark, not Grapheme_Extend
    ("\x1b\x7f\x85", r'"3:\u{1b}\u{7f}\u{85}"'),   # Cc
    ("\u200b\u200d\U000E0001", r'"3:\u{200b}\u{200d}\u{e0001}"'),   # Cf
    ("\ue000", r'"3:\u{e000}"'),         # Co
    ("\u0378", r'"3:\u{378}"'),          # Cn
    ("\u00a0\u3000", r'"3:\u{a0}\u{3000}"'),   # Zs other than space
    ("\u2028\u2029", r'"3:\u{2028}\u{2029}"'),   # Zl, Zp
    ("e\u0301", r'"3:e\u{301}"'),        # Mn, Grapheme_Extend
    ("\uff9e", r'"3:\u{ff9e}"'),         # Lm with Grapheme_Extend
])
def test_grade_escaped_in_printed_list(grade, quoted):
    t = Teacher("Asha", "maths", True)
    t.add_period(3, grade)
    head, tail = frame("Asha", "Maths", True)
    assert str(t) == head + "[" + quoted + "]" + tail


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


@pytest.mark.parametrize("period, shown", [
    (-1, "-1"), (0, "0"), (-32768, "-32768"), (32767, "32767"),
    (True, "1"), (False, "0"), (Index(7), "7"), (Index(-12), "-12"),
])
def test_period_number_printed_in_decimal(period, shown):
    t = Teacher("Asha", "maths", True)
    t.add_period(period, "g")
    assert listed_periods(t) == [shown + ":g"]


def test_periods_form_a_set_of_pairs():
    t = Teacher("Asha", "maths", True)
    for period, grade in [(3, "10A"), (3, "10A"), (3, "10B"), (4, "10A"), (3, "10A")]:
        assert t.add_period(period, grade) is None
    assert Counter(listed_periods(t)) == Counter(["3:10A", "3:10B", "4:10A"])


def test_grades_compared_exactly():
    t = Teacher("Asha", "maths", True)
    for grade in ["a", "a\0", "A", "\u00e9", "e\u0301", "a", "a\0"]:
        t.add_period(1, grade)
    assert Counter(listed_periods(t)) == Counter(
        ["1:a", r"1:a\0", "1:A", "1:\u00e9", r"1:e\u{301}"])


def test_every_period_number_can_be_held_once():
    t = Teacher("Asha", "maths", True)
    for _ in range(2):
        for period in range(-32768, 32768):
            t.add_period(period, "g")
    items = listed_periods(t)
    assert len(items) == 65536
    assert {int(item[:-2]) for item in items} == set(range(-32768, 32768))


def test_teachers_do_not_share_periods():
    t = Teacher("Asha", "maths", True)
    u = Teacher("Asha", "maths", True)
    t.add_period(1, "9C")
    assert listed_periods(t) == ["1:9C"]
    assert listed_periods(u) == []


def test_identity_equality_and_default_hash():
    t = Teacher("Asha", "maths", True)
    u = Teacher("Asha", "maths", True)
    assert t == t and t != u
    assert len({t, u, t}) == 2
    assert hash(t) == hash(t)


def test_present_can_be_changed():
    t = Teacher("Asha", "maths", True)
    t.present = False
    assert t.present is False
    assert listed_periods(t) == []  # checks "present: false" in the frame
    t.present = True
    assert t.present is True
    assert str(t).endswith("present: true\n    }\n")


@pytest.mark.parametrize("reason", ["", "Sick", "Fever 🤒\nback \"Monday\"", "a\0b"])
def test_reason_of_absentee_can_be_changed_and_is_not_printed(reason):
    t = Teacher("Asha", "maths", False)
    before = str(t)
    t.reason_of_absentee = reason
    assert t.reason_of_absentee == reason
    assert t.present is False
    assert str(t) == before

