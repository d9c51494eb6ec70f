"""register_period: binding, storage in the school and the class, not-found."""

import pytest

import lessoncover
from lessoncover import Class, School, Teacher, register_period
from debug_text_parser import mutex, parse_class_text, parse_school_text, teacher

NOT_FOUND = "Teacher not found in existing list. Please add to 'teacher_list.csv'"


@pytest.fixture
def env():
    t = Teacher("Asha", "Maths", True)
    school, cls = School(), Class("10A")
    school.add_teacher(t)
    return t, school, cls


def school_teacher(school, index=0):
    teachers, _, _ = parse_school_text(str(school))
    return teachers[index]["data"]


def test_module_surface():
    assert lessoncover.__all__ == ["Teacher", "School", "Class", "register_period"]
    assert register_period.__module__ == "lessoncover"
    # inspect.signature() cannot build a Signature with a parameter named
    # "class" (it parses the text as Python source), so read the text itself.
    assert register_period.__text_signature__ == "(teacher, period, school, class)"


def test_class_can_be_given_by_keyword(env):
    t, school, cls = env
    register_period(t, 1, school, **{"class": cls})
    register_period(teacher=t, period=2, school=school, **{"class": cls})
    _, entries = parse_class_text(str(cls))
    assert [p for _, p in entries] == [1, 1, 2, 2]


@pytest.mark.parametrize("slots, param", [
    ({0: 5}, "teacher"),
    ({0: "Asha"}, "teacher"),
    ({0: "C"}, "teacher"),
    ({1: "3"}, "period"),
    ({1: 3.0}, "period"),
    ({1: None}, "period"),
    ({2: "C"}, "school"),
    ({2: 5}, "school"),
    ({3: "S"}, "class"),
    ({3: "10A"}, "class"),
    ({0: 5, 1: "x"}, "teacher"),  # converted in order: the first failure wins
    ({1: "x", 2: 5, 3: 5}, "period"),
    ({2: None, 3: None}, "school"),
])
def test_wrong_types_name_the_parameter(env, slots, param):
    t, school, cls = env
    objs = {"T": t, "S": school, "C": cls}
    args = [t, 1, school, cls]
    for i, value in slots.items():
        args[i] = objs.get(value, value) if isinstance(value, str) else value
    before = str(school)
    with pytest.raises(TypeError) as info:
        register_period(*args)
    assert str(info.value).startswith(f"argument '{param}': ")
    assert str(cls) == '"10A" []'
    assert str(school) == before


@pytest.mark.parametrize("period", [40000, 32768, -32769, 2**70, -2**70])
def test_period_out_of_range(env, period):
    t, school, cls = env
    with pytest.raises(OverflowError):
        register_period(t, period, school, cls)
    assert str(cls) == '"10A" []'
    assert school_teacher(school)["periods"] == frozenset()


@pytest.mark.parametrize("period, stored", [
    (-1, -1), (-32768, -32768), (32767, 32767), (0, 0), (True, 1), (False, 0),
])
def test_periods_stored_as_given(env, period, stored):
    t, school, cls = env
    register_period(t, period, school, cls)
    assert school_teacher(school) == teacher("Asha", {(stored, "10A")})
    _, entries = parse_class_text(str(cls))
    assert entries == [(mutex(teacher("Asha", {(stored, "10A")})), stored)] * 2
    assert f"\n        {stored},\n    ),\n" in str(cls)


def test_same_registration_twice(env):
    t, school, cls = env
    register_period(t, 3, school, cls)
    register_period(t, 3, school, cls)
    rec = teacher("Asha", {(3, "10A")})
    assert school_teacher(school) == rec
    _, entries = parse_class_text(str(cls))
    assert entries == [(mutex(rec), 3)] * 4
    assert "periods: [] " in str(t)  # the Python teacher is never changed


def test_same_period_in_two_classes_and_several_periods(env):
    t, school, cls = env
    other = Class("10B")
    for p in (3, 1, 2):
        register_period(t, p, school, cls)
    register_period(t, 3, school, other)
    pairs = {(3, "10A"), (1, "10A"), (2, "10A"), (3, "10B")}
    assert school_teacher(school) == teacher("Asha", pairs)
    _, entries = parse_class_text(str(cls))
    assert [p for _, p in entries] == [3, 3, 1, 1, 2, 2]
    assert all(h == mutex(teacher("Asha", pairs)) for h, _ in entries)


def test_only_the_name_of_the_teacher_argument_is_read(env):
    _, school, cls = env
    stranger = Teacher("Asha", "Urdu", False)
    stranger.add_period(9, "9Z")
    register_period(stranger, 4, school, cls)
    assert school_teacher(school) == teacher("Asha", {(4, "10A")})


@pytest.mark.parametrize("setup", ["empty school", "other case", "other name"])
def test_unknown_teacher_raises_panic(capfd, setup):
    school, cls = School(), Class("10A")
    asha = Teacher("Asha", "Maths", True)
    if setup == "other case":
        school.add_teacher(Teacher("asha", "Maths", True))
    elif setup == "other name":
        school.add_teacher(Teacher("Ravi", "Maths", True))
    before = str(school)
    capfd.readouterr()
    try:
        register_period(asha, 3, school, cls)
    except Exception:  # pragma: no cover - must not be caught here
        pytest.fail("the not-found error was caught by 'except Exception'")
    except BaseException as exc:
        err = exc
    else:
        pytest.fail("no exception raised")
    assert type(err).__name__ == "PanicException"
    assert type(err).__bases__ == (BaseException,)
    assert str(err) == NOT_FOUND
    assert "src/school" in capfd.readouterr().err
    # nothing changed, and every borrow was released
    assert str(cls) == '"10A" []'
    assert str(school) == before
    assert str(asha).startswith("Teacher:\n    {\n        name:Asha \n")
    asha.add_period(1, "x")
    school.add_teacher(asha)
    register_period(asha, 3, school, cls)
    _, entries = parse_class_text(str(cls))
    assert len(entries) == 2
    with pytest.raises(type(err)):
        register_period(Teacher("Nobody", "Maths", True), 1, school, cls)


def test_the_diagnostic_is_written_once_the_call_lets_go_of_its_objects(monkeypatch):
    """sys.stderr may be Python code that uses the very objects of the failed call; by the
    time it is written to, the call holds none of them and the exception is not yet seen."""
    school, cls, stranger = School(), Class("10A"), Teacher("Asha", "Maths", True)
    used = []

    class UsingStderr:
        def write(self, text):
            stranger.reason_of_absentee = "Sick"      # the teacher, exclusively
            school.add_teacher(Teacher("Ravi", "Maths", True))  # the school, exclusively
            used.append((text, str(cls), str(stranger)))  # the class, shared
            return len(text)

        def flush(self):
            pass

    monkeypatch.setattr("sys.stderr", UsingStderr())
    with pytest.raises(lessoncover.PanicException, match="^Teacher not found") as raised:
        register_period(stranger, 3, school, cls)
    assert str(raised.value) == NOT_FOUND
    text = "".join(line for line, _, _ in used)
    assert text.startswith("lessoncover: panic at src/school/registration.cpp:")
    assert text.endswith(": " + NOT_FOUND + "\n")
    assert {(cls_text, teacher_text) for _, cls_text, teacher_text in used} == {('"10A" []', str(stranger))}
    assert stranger.reason_of_absentee == "Sick"
    assert "periods: [] " in str(stranger) and "Ravi" in str(school)


def test_teacher_is_borrowed_shared_before_period_is_converted(env):
    t, school, cls = env
    seen = []

    class Period:
        def __index__(self):
            seen.append(t.name)  # shared access still works
            with pytest.raises(RuntimeError) as info:
                t.add_period(1, "x")  # exclusive access is refused
            seen.append(str(info.value))
            school.add_teacher(Teacher("Late", "Maths", True))  # school not yet held
            return 5

    register_period(t, Period(), school, cls)
    assert seen == ["Asha", "Already borrowed"]
    assert "periods: [] " in str(t)
    _, entries = parse_class_text(str(cls))
    assert [p for _, p in entries] == [5, 5]
    assert [h["data"]["name"] for h in parse_school_text(str(school))[0]] == ["Asha", "Late"]
