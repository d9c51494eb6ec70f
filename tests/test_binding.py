"""The module's Python surface: publication, argument binding and conversion,
borrowing of objects, and the behaviour shared by every published member."""
import inspect
import os
import re
import subprocess
import sys
import weakref

import pytest

import lessoncover
from lessoncover import Teacher


def make():
    return Teacher("Asha", "maths", True)


def snapshot(t):
    return str(t), t.name, t.get_sub(), t.present, t.reason_of_absentee


def test_all_lists_members_in_publication_order():
    names = lessoncover.__all__
    assert "Teacher" in names
    assert names == ["Teacher", "School", "Class", "register_period"][:len(names)]
    assert all(hasattr(lessoncover, name) for name in names)


def test_module_docstring_is_empty():
    assert lessoncover.__doc__ == ""


def test_panic_exception_escapes_except_exception():
    assert lessoncover.PanicException.__bases__ == (BaseException,)
    assert "PanicException" not in lessoncover.__all__


def test_teacher_type_names_and_base():
    assert Teacher.__module__ == "lessoncover"
    assert Teacher.__name__ == Teacher.__qualname__ == "Teacher"
    assert Teacher.__bases__ == (object,)
    assert re.fullmatch(r"<lessoncover\.Teacher object at 0x[0-9a-fA-F]+>", repr(make()))


def test_signatures_and_docstrings():
    assert str(inspect.signature(Teacher)) == "(name, sub, present)"
    assert Teacher.add_period.__text_signature__ == "($self, period, grade)"
    assert Teacher.get_sub.__text_signature__ == "($self)"
    for prop in ("name", "present", "reason_of_absentee"):
        assert getattr(Teacher, prop).__doc__ is None


def test_second_import_returns_same_module():
    saved = sys.modules.pop("lessoncover")
    try:
        import lessoncover as again
        assert again is saved
    finally:
        sys.modules["lessoncover"] = saved


SUB_INTERPRETER_SCRIPT = """
import sys
import lessoncover
import _xxsubinterpreters as si
iid = si.create()
for _ in range(2):
    try:
        si.run_string(iid, "import sys; sys.path[:] = %r; import lessoncover" % sys.path)
    except si.RunFailedError as exc:
        print("refused", exc)
    else:
        print("imported")
si.destroy(iid)
print(lessoncover.Teacher("a", "maths", True).get_sub())
"""


def test_import_refused_in_sub_interpreter():
    pytest.importorskip("_xxsubinterpreters")
    env = dict(os.environ, PYTHONPATH=os.pathsep.join(sys.path))
    run = subprocess.run([sys.executable, "-c", SUB_INTERPRETER_SCRIPT], env=env,
                         capture_output=True, text=True, timeout=120)
    assert run.returncode == 0, run.stderr
    lines = run.stdout.splitlines()
    assert len(lines) == 3, run.stdout
    for line in lines[:2]:
        assert line.startswith("refused") and "ImportError" in line, line
        assert "ModuleNotFoundError" not in line
    assert lines[2] == "Maths"


def test_teacher_cannot_be_subclassed():
    with pytest.raises(TypeError):
        type("Sub", (Teacher,), {})


def test_instances_have_no_dict_or_weak_references():
    t = make()
    assert not hasattr(t, "__dict__")
    with pytest.raises(AttributeError):
        t.extra = 1
    with pytest.raises(TypeError):
        weakref.ref(t)
    assert not hasattr(t, "sub") and not hasattr(t, "periods")


@pytest.mark.parametrize("member, call, param", [
    ("Teacher", lambda t: Teacher("a", "maths"), "present"),
    ("Teacher", lambda t: Teacher(), "name"),
    ("Teacher", lambda t: Teacher("a", "maths", True, None), None),
    ("Teacher", lambda t: Teacher("a", "maths", True, grade="x"), "grade"),
    ("Teacher", lambda t: Teacher("a", "maths", True, name="b"), "name"),
    ("add_period", lambda t: t.add_period(1), "grade"),
    ("add_period", lambda t: t.add_period(grade="g"), "period"),
    ("add_period", lambda t: t.add_period(1, "g", 2), None),
    ("add_period", lambda t: t.add_period(1, "g", period=2), "period"),
    ("add_period", lambda t: t.add_period(1, grade="g", extra=0), "extra"),
    ("get_sub", lambda t: t.get_sub(1), None),
    ("get_sub", lambda t: t.get_sub(x=1), None),
])
def test_binding_errors_name_member_and_parameter(member, call, param):
    t = make()
    before = snapshot(t)
    with pytest.raises(TypeError) as excinfo:
        call(t)
    assert member in str(excinfo.value)
    if param:
        assert param in str(excinfo.value)
    assert snapshot(t) == before


@pytest.mark.parametrize("call", [
    lambda: Teacher.add_period(object(), 1, "g"),
    lambda: Teacher.get_sub("maths"),
    lambda: Teacher.__str__(1),
    lambda: Teacher.name.__get__(object()),
    lambda: Teacher.present.__set__(object(), True),
])
def test_receiver_must_be_a_teacher(call):
    with pytest.raises(TypeError):
        call()


@pytest.mark.parametrize("call, param", [
    (lambda t: Teacher(1, "maths", True), "name"),
    (lambda t: Teacher(b"a", "maths", True), "name"),
    (lambda t: Teacher(present=1, sub=2, name=3), "name"),
    (lambda t: Teacher("a", 1, True), "sub"),
    (lambda t: Teacher("a", None, "x"), "sub"),
    (lambda t: Teacher("a", "maths", 1), "present"),
    (lambda t: Teacher("a", "maths", None), "present"),
    (lambda t: Teacher("a", "maths", "True"), "present"),
    (lambda t: t.add_period("3", "g"), "period"),
    (lambda t: t.add_period(3.0, "g"), "period"),
    (lambda t: t.add_period(None, 5), "period"),
    (lambda t: t.add_period(3, 10), "grade"),
    (lambda t: t.add_period(3, b"g"), "grade"),
    (lambda t: t.add_period(grade=None, period=1), "grade"),
])
def test_conversion_error_carries_parameter_prefix(call, param):
    t = make()
    before = snapshot(t)
    with pytest.raises(TypeError) as excinfo:
        call(t)
    message = str(excinfo.value)
    prefix = "argument '%s': " % param
    assert message.startswith(prefix) and len(message) > len(prefix), message
    assert snapshot(t) == before


@pytest.mark.parametrize("period", [32768, -32769, 40000, 2 ** 64, -(2 ** 100)])
def test_period_out_of_range_raises_plain_overflow(period):
    t = make()
    before = snapshot(t)
    with pytest.raises(OverflowError) as excinfo:
        t.add_period(period, "g")
    assert not str(excinfo.value).startswith("argument")
    assert snapshot(t) == before


class Boom(Exception):
    pass


def test_exception_from_index_propagates_unchanged():
    t = make()
    before = snapshot(t)
    error = Boom("from __index__")

    class Raising:
        def __index__(self):
            raise error

    with pytest.raises(Boom) as excinfo:
        t.add_period(Raising(), "g")
    assert excinfo.value is error
    assert snapshot(t) == before
    t.add_period(2, "g")
    assert '"2:g"' in str(t)


def run_inside_add_period(t, action):
    """Runs `action` while t.add_period converts its period; returns what it raised."""
    outcome = []

    class Reentrant:
        def __index__(self):
            try:
                action()
            except BaseException as exc:
                outcome.append(exc)
            else:
                outcome.append(None)
            return 1

    assert t.add_period(Reentrant(), "g") is None
    assert '"1:g"' in str(t)  # outer call completed and released its borrow
    return outcome[0]


@pytest.mark.parametrize("read", [
    lambda t: t.get_sub(), lambda t: t.name, lambda t: t.present,
    lambda t: t.reason_of_absentee, str,
])
def test_reading_refused_while_add_period_holds_teacher(read):
    t = make()
    exc = run_inside_add_period(t, lambda: read(t))
    assert type(exc) is RuntimeError and str(exc) == "Already mutably borrowed"
    assert t.get_sub() == "Maths" and t.name == "Asha"


@pytest.mark.parametrize("write", [
    lambda t: t.add_period(2, "h"),
    lambda t: t.add_period("not an int", 0),  # borrowed before converting
    lambda t: setattr(t, "present", False),
    lambda t: setattr(t, "reason_of_absentee", "Sick"),
])
def test_writing_refused_while_add_period_holds_teacher(write):
    t = make()
    exc = run_inside_add_period(t, lambda: write(t))
    assert type(exc) is RuntimeError and str(exc) == "Already borrowed"
    assert '"2:h"' not in str(t)
    assert t.present is True and t.reason_of_absentee == "Planned Absense"
    t.present = False
    assert t.present is False


@pytest.mark.parametrize("action, expected", [
    (lambda t: t.add_period(1), TypeError),                       # binding first
    (lambda t: setattr(t, "present", 1), TypeError),               # value converted first
    (lambda t: setattr(t, "reason_of_absentee", None), TypeError),
    (lambda t: delattr(t, "present"), AttributeError),             # deletion refused first
])
def test_checks_made_before_borrowing(action, expected):
    t = make()
    exc = run_inside_add_period(t, lambda: action(t))
    assert type(exc) is expected


def test_other_teacher_usable_inside_add_period():
    t, u = make(), make()
    assert run_inside_add_period(t, lambda: u.add_period(5, "x")) is None
    assert '"5:x"' in str(u) and '"5:x"' not in str(t)


@pytest.mark.parametrize("prop", ["present", "reason_of_absentee"])
def test_property_deletion_refused(prop):
    t = make()
    before = snapshot(t)
    with pytest.raises(AttributeError) as excinfo:
        delattr(t, prop)
    assert str(excinfo.value) == "can't delete attribute"
    assert snapshot(t) == before


@pytest.mark.parametrize("prop, value", [
    ("present", 1), ("present", 0), ("present", None), ("present", "True"),
    ("reason_of_absentee", 5), ("reason_of_absentee", None), ("reason_of_absentee", b"x"),
])
def test_property_write_refuses_wrong_type(prop, value):
    t = make()
    before = snapshot(t)
    with pytest.raises(TypeError) as excinfo:
        setattr(t, prop, value)
    assert str(excinfo.value).startswith("argument '")
    assert snapshot(t) == before


def test_name_is_read_only():
    t = make()
    with pytest.raises(AttributeError):
        t.name = "x"
    with pytest.raises(AttributeError):
        del t.name
    assert t.name == "Asha"


LONE = "\ud800"


@pytest.mark.parametrize("call", [
    lambda t: Teacher(LONE, "maths", True),
    lambda t: Teacher("a", LONE, True),
    lambda t: Teacher("a", "maths" + LONE, True),
    lambda t: t.add_period(1, LONE),
    lambda t: t.add_period(1, "10A" + LONE),
    lambda t: setattr(t, "reason_of_absentee", LONE),
])
def test_text_not_encodable_as_utf8_refused(call):
    t = make()
    before = snapshot(t)
    with pytest.raises((UnicodeError, TypeError, ValueError)):
        call(t)
    assert snapshot(t) == before


def test_calls_leave_argument_reference_counts_unchanged():
    name, grade = "".join(["As", "ha"]), "".join(["10", "A"])
    reason, unknown = "".join(["Si", "ck"]), "".join(["astro", "nomy"])
    period = int("12345")
    t = make()
    objects = (name, grade, reason, unknown, period, t)
    before = [sys.getrefcount(o) for o in objects]
    for _ in range(100):
        Teacher(name, "maths", True)
        Teacher(name=name, sub="maths", present=False)
        t.add_period(period, grade)
        t.add_period(period=period, grade=grade)
        t.reason_of_absentee = reason
        t.name, t.present, t.reason_of_absentee, t.get_sub(), str(t)
        for failing in (lambda: Teacher(name, unknown, True),
                        lambda: Teacher(name, "maths", period),
                        lambda: t.add_period(period, period),
                        lambda: t.add_period(grade, grade),
                        lambda: setattr(t, "present", reason)):
            with pytest.raises(TypeError):
                failing()
        with pytest.raises(OverflowError):
            t.add_period(period * 3, grade)
    assert [sys.getrefcount(o) for o in objects] == before
