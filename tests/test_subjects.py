"""Subjects are parsed from the `sub` text of the Teacher constructor.

The text is lower-cased with the full Unicode mapping (Final_Sigma included,
no trimming) and then compared as a whole with the accepted spellings.
"""
import pytest
from hypothesis import given, settings, strategies as st

from lessoncover import Teacher

SPELLINGS = {
    "chemistry": "Chemistry",
    "physics": "Physics",
    "maths": "Maths",
    "computer": "Computer",
    "english": "English",
    "biology": "Biology",
    "bio": "Biology",
    "p.e": "PhysicalEdu",
    "sanskrit": "Sanskrit",
    "urdu": "Urdu",
    "geography": "Geo",
    "accountancy": "Acc",
    "history": "History",
    "civics": "Civics",
    "business": "Business",
    "art": "Arts",
    "games": "Games",
    "economics": "Economics",
    "hindi": "Hindi",
    "bengali": "Bengali",
    "finfance": "Finance",
    "finance": "Finance",
}
DISPLAY_NAMES = sorted(set(SPELLINGS.values()))
DISPLAY_NAMES_REFUSED = {"PhysicalEdu", "Geo", "Acc", "Arts"}


def sub_of(text):
    return Teacher("x", text, True).get_sub()


def refusal(text):
    with pytest.raises(TypeError) as excinfo:
        Teacher("x", text, True)
    return str(excinfo.value)


CASINGS = {
    "lower": str.lower,
    "upper": str.upper,
    "capitalized": lambda s: s[:1].upper() + s[1:],
    "alternating": lambda s: "".join(c.upper() if i % 2 else c for i, c in enumerate(s)),
}


@pytest.mark.parametrize("casing", CASINGS.values(), ids=CASINGS.keys())
@pytest.mark.parametrize("spelling, display", SPELLINGS.items())
def test_accepted_spelling_in_any_letter_case(spelling, display, casing):
    assert sub_of(casing(spelling)) == display


@pytest.mark.parametrize("display", DISPLAY_NAMES)
def test_display_name_parses_back_unless_abbreviated(display):
    if display in DISPLAY_NAMES_REFUSED:
        assert refusal(display) == "Wrong subject " + display.lower()
    else:
        assert sub_of(display) == display


@pytest.mark.parametrize("text", [
    "Astronomy", "math", "computers", "accounts", "pe", "PE", "p. e", "p.e.",
    "physical education", "english ", " english", "bio logy", "fin-ance",
    "", "PHYSICS!", "maths\n", "maths\0", "\0maths", "maths\t",
    "ＭＡＴＨＳ", "ｍａｔｈｓ", "chemistry\u200b", "bio\u0301",
])
def test_unknown_subject_refused_with_lower_cased_text(text):
    assert refusal(text) == "Wrong subject " + text.lower()


@pytest.mark.parametrize("text, lowered", [
    ("", ""),
    ("ＭＡＴＨＳ", "ｍａｔｈｓ"),
    # full mapping: one capital becomes two characters
    ("HİNDİ", "hi\u0307ndi\u0307"),
    ("ẞIO", "ßio"),
    ("ǅ", "ǆ"),
    # capital sigma becomes final sigma only at the end of a word
    ("Σ", "σ"),
    ("ΣΑΣ", "σας"),
    ("ΑΣ Β", "ας β"),
    ("ΑΣ.Β", "ασ.β"),
    ("Α.Σ", "α.ς"),
    ("ΟΔΥΣΣΕΥΣ", "οδυσσευς"),
])
def test_refusal_message_shows_unicode_lower_case(text, lowered):
    assert refusal(text) == "Wrong subject " + lowered


@pytest.mark.parametrize("text", ["SANS\u212aRIT", "sans\u212arit"])
def test_kelvin_sign_lower_cases_to_ascii_k(text):
    assert sub_of(text) == "Sanskrit"


def test_subject_is_parsed_after_all_arguments_converted():
    with pytest.raises(TypeError) as excinfo:
        Teacher("x", "astronomy", 1)
    assert str(excinfo.value).startswith("argument 'present': ")


texts = st.text(st.characters(exclude_categories=("Cs", "Cn")))
mixed_case_spellings = st.sampled_from(sorted(SPELLINGS)).flatmap(
    lambda s: st.lists(st.booleans(), min_size=len(s), max_size=len(s)).map(
        lambda flips: "".join(c.upper() if f else c for c, f in zip(s, flips))))
padded_spellings = st.tuples(texts, mixed_case_spellings, texts).map("".join)


@settings(max_examples=400, deadline=None)
@given(st.one_of(texts, mixed_case_spellings, padded_spellings))
def test_parse_agrees_with_full_lower_case(text):
    lowered = text.lower()
    if lowered in SPELLINGS:
        assert sub_of(text) == SPELLINGS[lowered]
    else:
        assert refusal(text) == "Wrong subject " + lowered
