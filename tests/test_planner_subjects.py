"""Subject texts resolve to one of the twenty known subjects, to a subject of their own, or to
nothing: trimmed, in any letter case, through lessoncover's spellings, the display names and
the alias table."""
import pytest

from lessoncover import Teacher
from lessoncover_planner import SUBJECT_ALIASES, SUBJECTS, resolve_subject

TEACHER_SPELLINGS = ["chemistry", "physics", "maths", "computer", "english", "biology", "bio", "p.e",
                     "sanskrit", "urdu", "geography", "accountancy", "history", "civics", "business",
                     "art", "games", "economics", "hindi", "bengali", "finance", "finfance"]
DRESSINGS = {
    "as is": lambda s: s,
    "upper, padded": lambda s: f"  {s.upper()}\t",
    "title, line break": lambda s: s.title() + "\n",
}


def display(text):
    resolved = resolve_subject(text)
    assert isinstance(resolved, int), resolved
    return SUBJECTS[resolved]


@pytest.mark.parametrize("dress", DRESSINGS.values(), ids=DRESSINGS.keys())
@pytest.mark.parametrize("spelling", TEACHER_SPELLINGS)
def test_lessoncover_spellings_give_lessoncovers_subject(spelling, dress):
    assert display(dress(spelling)) == Teacher("x", spelling, True).get_sub()


@pytest.mark.parametrize("dress", DRESSINGS.values(), ids=DRESSINGS.keys())
@pytest.mark.parametrize("name", SUBJECTS)
def test_display_names_resolve_to_themselves(name, dress):
    assert display(dress(name)) == name


def test_twenty_subjects_in_lessoncovers_order():
    assert len(SUBJECTS) == len(set(SUBJECTS)) == 20
    assert (SUBJECTS[0], SUBJECTS[6], SUBJECTS[14], SUBJECTS[19]) == ("Chemistry", "PhysicalEdu", "Arts", "Finance")


@pytest.mark.parametrize("alias, expected", [
    ("Mathematics", "Maths"), ("MATH", "Maths"), ("chem", "Chemistry"), ("ICT", "Computer"),
    ("Computer Science", "Computer"), ("PE", "PhysicalEdu"), ("P.E.", "PhysicalEdu"),
    ("Physical Education", "PhysicalEdu"), ("Sport", "PhysicalEdu"), ("Games", "Games"),
    ("Accounting", "Acc"), ("Fine Art", "Arts"), ("Econ", "Economics"), ("Business Studies", "Business"),
])
def test_documented_aliases(alias, expected):
    assert display(f" {alias} ") == expected


@pytest.mark.parametrize("alias, name", SUBJECT_ALIASES.items())
def test_alias_table_is_reachable_and_agrees_with_lessoncover(alias, name):
    assert alias == alias.strip().lower() and name in SUBJECTS
    assert display(alias.upper()) == name
    try:
        shown = Teacher("x", alias, True).get_sub()
    except TypeError:  # not a lessoncover spelling: the alias adds it
        return
    assert shown == name


def test_alias_table_is_read_only():
    with pytest.raises(TypeError):
        SUBJECT_ALIASES["french"] = "English"  # type: ignore[index]


@pytest.mark.parametrize("text, expected", [
    ("French", "French"),
    ("  Drama, Theatre \n", "Drama, Theatre"),
    ("computer  science", "computer  science"),  # inner white space is kept, so no alias
    ("maths teacher", "maths teacher"),
    ("Ελληνικά", "Ελληνικά"),
])
def test_other_text_is_a_subject_of_its_own(text, expected):
    assert resolve_subject(text) == expected


@pytest.mark.parametrize("text", ["", " ", "\t\n\r ", "\u3000"])
def test_blank_text_is_no_subject(text):
    assert resolve_subject(text) is None


@pytest.mark.parametrize("value", [None, 3, b"maths"])
def test_non_text_is_refused(value):
    with pytest.raises(TypeError, match="subject must be a str"):
        resolve_subject(value)
