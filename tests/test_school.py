"""The School registry: copies of teachers and classes, ordering, printing."""

import inspect

import pytest

from lessoncover import Class, School, Teacher, register_period
from debug_text_parser import (QUOTED_SAMPLES, klass, mutex, parse_class_text,
                               parse_school_text, teacher)

EMPTY = "List of teachers: []\nList of classes:[]\nTeacher_hashtable {}"


def names(school):
    teachers, _, _ = parse_school_text(str(school))
    return [t["data"]["name"] for t in teachers]


def test_empty_school_text():
    assert str(School()) == EMPTY


def test_signatures():
    assert str(inspect.signature(School)) == "()"
    assert School.add_teacher.__text_signature__ == "($self, teacher)"
    assert School.add_class.__text_signature__ == "($self, class)"
    assert School.add_to_hashmap.__text_signature__ == "($self, name, teacher)"


def test_one_teacher_exact_text():
    school = School()
    school.add_teacher(Teacher("Asha", "MATHS", True))
    record = ("Mutex {\n"
              "        data: Teacher {\n"
              '            name: "Asha",\n'
              "            periods: {},\n"
              "            sub: Maths,\n"
              "            present: true,\n"
              '            reason_of_absentee: "Planned Absense",\n'
              "        },\n"
              "    }")
    compact = ('Mutex { data: Teacher { name: "Asha", periods: {}, sub: Maths, '
               'present: true, reason_of_absentee: "Planned Absense" } }')
    assert str(school) == ("List of teachers: [\n    " + record + ",\n]"
                           "\nList of classes:[]"
                           '\nTeacher_hashtable {"Maths": [' + compact + "]}")


@pytest.mark.parametrize("call, param", [
    (lambda s: s.add_teacher(5), "teacher"),
    (lambda s: s.add_teacher(Class("10A")), "teacher"),
    (lambda s: s.add_class(5), "class"),
    (lambda s: s.add_class(Teacher("A", "Urdu", True)), "class"),
    (lambda s: s.add_to_hashmap(5, Teacher("A", "Urdu", True)), "name"),
    (lambda s: s.add_to_hashmap("A", "A"), "teacher"),
    (lambda s: s.add_class(**{"class": None}), "class"),
])
def test_wrong_argument_types_name_the_parameter(call, param):
    school = School()
    with pytest.raises(TypeError) as info:
        call(school)
    assert str(info.value).startswith(f"argument '{param}': ")
    assert str(school) == EMPTY


def test_keywords_accepted():
    school = School()
    school.add_teacher(teacher=Teacher("A", "Urdu", True))
    school.add_to_hashmap(name="X", teacher=Teacher("B", "Geography", True))
    school.add_class(**{"class": Class("1A")})
    teachers, classes, _ = parse_school_text(str(school))
    assert teachers == [mutex(teacher("A", (), "Urdu"))]
    assert classes == [mutex(klass("1A"))]


def test_school_keeps_its_own_copy_of_a_teacher():
    t = Teacher("Asha", "Maths", True)
    t.add_period(1, "9A")
    school = School()
    school.add_teacher(t)
    before = str(school)
    t.present = False
    t.reason_of_absentee = "Sick"
    t.add_period(2, "9B")
    assert str(school) == before
    teachers, _, table = parse_school_text(before)
    assert teachers == [mutex(teacher("Asha", {(1, "9A")}))]
    assert table == {"Maths": teachers}


def test_copy_taken_at_add_time_includes_absence():
    t = Teacher("Ravi", "bio", False)
    t.reason_of_absentee = "Training"
    school = School()
    school.add_teacher(t)
    t.present = True
    teachers, _, table = parse_school_text(str(school))
    assert teachers == [mutex(teacher("Ravi", (), "Biology", False, "Training"))]
    assert table == {"Biology": []}


def test_second_teacher_with_the_same_name_is_ignored():
    school = School()
    school.add_teacher(Teacher("Asha", "Maths", True))
    school.add_teacher(Teacher("Asha", "Physics", False))
    school.add_teacher(Teacher("asha", "Hindi", True))  # names compare exactly
    teachers, _, table = parse_school_text(str(school))
    assert teachers == [mutex(teacher("Asha")), mutex(teacher("asha", (), "Hindi"))]
    assert table == {"Maths": [teachers[0]], "Hindi": [teachers[1]]}


def test_name_taken_by_add_to_hashmap_blocks_add_teacher():
    school = School()
    school.add_to_hashmap("X", Teacher("Someone", "Maths", True))
    school.add_teacher(Teacher("X", "Physics", True))
    assert str(school) == EMPTY  # not in the list, so not in the table either


def test_add_to_hashmap_teacher_found_only_under_alias():
    school, cls = School(), Class("10A")
    real = Teacher("Real", "art", True)
    school.add_to_hashmap("Alias", real)
    real.add_period(9, "zz")  # copied when passed: does not reach the school
    with pytest.raises(BaseException) as info:
        register_period(real, 1, school, cls)
    assert type(info.value).__name__ == "PanicException"
    register_period(Teacher("Alias", "Hindi", False), 1, school, cls)
    _, entries = parse_class_text(str(cls))
    assert entries == [(mutex(teacher("Real", {(1, "10A")}, "Arts")), 1)] * 2
    assert str(school) == EMPTY


def test_add_to_hashmap_replaces_the_handle_of_a_listed_teacher():
    school, cls = School(), Class("10A")
    school.add_teacher(Teacher("A", "Maths", True))
    school.add_to_hashmap("A", Teacher("A", "Physics", False))
    register_period(Teacher("A", "Urdu", True), 4, school, cls)
    teachers, _, _ = parse_school_text(str(school))
    assert teachers == [mutex(teacher("A"))]  # the listed copy is untouched
    _, entries = parse_class_text(str(cls))
    assert entries[0] == (mutex(teacher("A", {(4, "10A")}, "Physics", False)), 4)


def fill(school, cls, plan):
    """plan: list of (name, periods registered in cls); teachers added in order."""
    for name, periods in plan:
        t = Teacher(name, "Maths", True)
        school.add_teacher(t)
        for p in periods:
            register_period(t, p, school, cls)


@pytest.mark.parametrize("plan, order", [
    ([("A", [1, 2]), ("B", []), ("C", [3]), ("D", [])], ["B", "D", "C", "A"]),
    ([("C", []), ("A", []), ("B", [])], ["C", "A", "B"]),
    ([("A", [1]), ("B", [2]), ("C", [3])], ["A", "B", "C"]),
    ([("A", [5, 6]), ("B", [1]), ("C", [7, 8]), ("D", [2])], ["B", "D", "A", "C"]),
    # a pair counts once, however often it was registered
    ([("B", [1, 2]), ("A", [3, 3, 3])], ["A", "B"]),
])
def test_add_class_sorts_teachers_stably_by_period_count(plan, order):
    school, cls = School(), Class("10A")
    fill(school, cls, plan)
    assert names(school) == [name for name, _ in plan]  # not sorted yet
    school.add_class(cls)
    assert names(school) == order


def test_sort_counts_periods_given_before_add_teacher_and_repeats():
    school = School()
    busy = Teacher("Busy", "Maths", True)
    for p in (1, 2, 3):
        busy.add_period(p, "9A")
    school.add_teacher(busy)
    fill(school, Class("8A"), [("Free", []), ("One", [4])])
    school.add_class(Class("empty"))
    assert names(school) == ["Free", "One", "Busy"]
    for p in (5, 6, 7, 8):
        register_period(Teacher("Free", "Maths", True), p, school, Class("x"))
    school.add_class(Class("empty2"))
    assert names(school) == ["One", "Busy", "Free"]


def test_equal_counts_keep_the_current_list_order_not_insertion_order():
    school, cls = School(), Class("10A")
    fill(school, cls, [("A", [1, 2]), ("B", []), ("C", [3])])
    school.add_class(cls)
    assert names(school) == ["B", "C", "A"]
    register_period(Teacher("C", "Maths", True), 4, school, cls)  # C: 2, like A
    school.add_class(Class("10B"))
    assert names(school) == ["B", "C", "A"]


def test_class_copy_is_independent_but_shares_teacher_records():
    school, c1, c2 = School(), Class("10A"), Class("10B")
    a = Teacher("A", "Physics", True)
    school.add_teacher(a)
    register_period(a, 1, school, c1)
    school.add_class(c1)
    register_period(a, 2, school, c1)  # reaches the Python class only
    register_period(a, 3, school, c2)
    school.add_class(c2)
    teachers, classes, table = parse_school_text(str(school))
    rec = mutex(teacher("A", {(1, "10A"), (2, "10A"), (3, "10B")}, "Physics"))
    assert teachers == [rec]
    assert classes == [mutex(klass("10A", [(rec, 1)] * 2)),
                       mutex(klass("10B", [(rec, 3)] * 2))]
    assert table == {"Physics": [rec]}
    assert len(parse_class_text(str(c1))[1]) == 4


def test_subject_table_lists_present_teachers_in_list_order():
    school = School()
    plan = [("M1", "Maths", True), ("P1", "Physics", False), ("M2", "maths", False),
            ("U1", "Urdu", True), ("M3", "Maths", True), ("H1", "Hindi", False),
            ("M4", "Maths", True)]
    for name, sub, present in plan:
        school.add_teacher(Teacher(name, sub, present))
    teachers, _, table = parse_school_text(str(school))
    by_name = {t["data"]["name"]: t for t in teachers}
    assert [t["data"]["name"] for t in teachers] == [p[0] for p in plan]
    assert table == {"Maths": [by_name["M1"], by_name["M3"], by_name["M4"]],
                     "Physics": [], "Urdu": [by_name["U1"]], "Hindi": []}


@pytest.mark.parametrize("raw, quoted", QUOTED_SAMPLES)
def test_names_escaped_in_school_text(raw, quoted):
    school, cls = School(), Class(raw)
    t = Teacher(raw, "Civics", True)
    school.add_teacher(t)
    register_period(t, 6, school, cls)
    school.add_class(cls)
    text = str(school)
    assert f"\n            name: {quoted},\n" in text  # teacher list
    assert f"\n            class_name: {quoted},\n" in text  # class list
    assert f"Teacher_hashtable {{\"Civics\": [Mutex {{ data: Teacher {{ name: {quoted}, " \
           f"periods: {{(6, {quoted})}}, sub: Civics" in text
    teachers, classes, _ = parse_school_text(text)
    rec = mutex(teacher(raw, {(6, raw)}, "Civics"))
    assert teachers == [rec]
    assert classes == [mutex(klass(raw, [(rec, 6)] * 2))]


@pytest.mark.parametrize("print_school_first", [False, True])
def test_class_shows_its_teachers_after_the_school_is_gone(print_school_first):
    """A school's copies of its teachers outlive it in the classes that name them, with
    what they were given when added and every pair registered or covered since."""
    import gc

    school, hall = School(), Class("Hall")
    ravi = Teacher("Ravi, Jr.", "bio", False)
    ravi.reason_of_absentee = "Training"
    ravi.add_period(7, "6C")  # brought along
    asha = Teacher("Asha", "Biology", True)
    for t in (ravi, asha):
        school.add_teacher(t)
    register_period(ravi, 1, school, hall)
    school.add_class(hall)
    report = school.generate_substitutions()  # Asha covers period 1
    assert report.splitlines()[1] == '"Ravi, Jr.",1,Biology,Asha,Hall,Training'
    if print_school_first:
        str(school)
    ravi.reason_of_absentee = "changed later"
    del school
    gc.collect()
    name, entries = parse_class_text(str(hall))
    assert name == "Hall"
    assert entries == [(mutex(teacher("Ravi, Jr.", {(7, "6C"), (1, "Hall")}, "Biology", False, "Training")), 1)] * 2


def test_lessons_of_another_schools_teachers_keep_their_texts():
    """A class may name teachers another school copied in; its absent lessons are reported
    with what that school copied, whatever the teacher objects say now."""
    home, other, stray = School(), School(), Class("9Z")
    away = Teacher("Uma", "Urdu", False)
    away.reason_of_absentee = "Jury, service"
    other.add_teacher(away)
    register_period(away, 4, other, stray)
    away.reason_of_absentee = "changed later"
    cover = Teacher("Zoe", "Urdu", True)
    home.add_teacher(cover)
    home.add_class(stray)
    lines = home.generate_substitutions().splitlines()
    assert lines[1] == 'Uma,4,Urdu,Zoe,9Z,"Jury, service"'
