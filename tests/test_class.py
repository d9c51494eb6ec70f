"""The Class type: construction and its printed text."""

import inspect

import pytest

from lessoncover import Class, School, Teacher, register_period
from debug_text_parser import (QUOTED_SAMPLES, mutex, parse_class_text,
                               teacher)


def test_new_class_prints_quoted_name_and_empty_list():
    assert str(Class("10A")) == '"10A" []'


def test_constructor_signature_and_keyword():
    assert str(inspect.signature(Class)) == "(name)"
    assert str(Class(name="7B")) == '"7B" []'


@pytest.mark.parametrize("args, kwargs", [
    ((5,), {}), ((b"10A",), {}), ((None,), {}), ((), {"name": 1.5}),
])
def test_name_must_be_str(args, kwargs):
    with pytest.raises(TypeError) as info:
        Class(*args, **kwargs)
    assert str(info.value).startswith("argument 'name': ")


@pytest.mark.parametrize("name, quoted", QUOTED_SAMPLES)
def test_name_is_escaped(name, quoted):
    assert str(Class(name)) == quoted + " []"


def test_class_cannot_be_subclassed_and_has_no_dict():
    with pytest.raises(TypeError):
        type("Sub", (Class,), {})
    c = Class("10A")
    with pytest.raises(AttributeError):
        c.extra = 1
    assert not hasattr(c, "class_name")
    assert not hasattr(c, "list_of_periods")


def test_one_registration_prints_exactly():
    school, cls = School(), Class("10A")
    asha = Teacher("Asha", "maths", True)
    school.add_teacher(asha)
    register_period(asha, 3, school, cls)
    entry = (
        "    (\n"
        "        Mutex {\n"
        "            data: Teacher {\n"
        '                name: "Asha",\n'
        "                periods: {\n"
        "                    (\n"
        "                        3,\n"
        '                        "10A",\n'
        "                    ),\n"
        "                },\n"
        "                sub: Maths,\n"
        "                present: true,\n"
        '                reason_of_absentee: "Planned Absense",\n'
        "            },\n"
        "        },\n"
        "        3,\n"
        "    ),\n")
    assert str(cls) == '"10A" [\n' + entry + entry + "]"


def test_entry_shows_the_school_copy_at_print_time():
    school, cls = School(), Class("9C")
    t = Teacher("Ravi", "Urdu", False)
    t.reason_of_absentee = "Sick"
    school.add_teacher(t)
    register_period(t, -2, school, cls)
    t.present = True  # the Python object is not what the class refers to
    t.add_period(8, "x")
    name, entries = parse_class_text(str(cls))
    expected = mutex(teacher("Ravi", {(-2, "9C")}, "Urdu", False, "Sick"))
    assert name == "9C"
    assert entries == [(expected, -2)] * 2


def test_entries_keep_registration_order_and_share_teachers():
    school, cls, other = School(), Class("10A"), Class("10B")
    a = Teacher("A", "Physics", True)
    b = Teacher("B", "Hindi", True)
    school.add_teacher(a)
    school.add_teacher(b)
    register_period(a, 5, school, cls)
    register_period(b, 1, school, cls)
    register_period(a, 2, school, cls)
    register_period(a, 7, school, other)  # reaches cls through the handle
    _, entries = parse_class_text(str(cls))
    rec_a = mutex(teacher("A", {(5, "10A"), (2, "10A"), (7, "10B")}, "Physics"))
    rec_b = mutex(teacher("B", {(1, "10A")}, "Hindi"))
    assert entries == [(rec_a, 5)] * 2 + [(rec_b, 1)] * 2 + [(rec_a, 2)] * 2
