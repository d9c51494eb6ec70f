"""Subject names: the twenty subjects the planner knows, their spellings and aliases.

A teacher's subject text is trimmed (``str.strip``) and compared without regard
to letter case (``str.lower``) with three tables:

* every spelling ``lessoncover.Teacher`` accepts (``maths``, ``bio``, ``p.e``,
  ``finfance``, ...);
* the twenty display names themselves (``physicaledu``, ``geo``, ``acc``,
  ``arts``, ...);
* :data:`SUBJECT_ALIASES`, common names schools use for the same subjects.

Text that matches none of them is a subject of its own, shown as written (less
the surrounding white space); the planner treats two such texts as one subject
when they differ only in letter case.
"""

from __future__ import annotations

from collections.abc import Mapping
from types import MappingProxyType

__all__ = ["SUBJECTS", "SUBJECT_ALIASES", "TEACHER_SPELLINGS", "resolve_subject"]

SUBJECTS: tuple[str, ...] = (
    "Chemistry", "Physics", "Maths", "Computer", "English", "Biology", "PhysicalEdu",
    "Sanskrit", "Urdu", "Geo", "Acc", "History", "Civics", "Business", "Arts", "Games",
    "Economics", "Hindi", "Bengali", "Finance",
)
"""The display names of the known subjects; :func:`resolve_subject` gives an index into it."""

TEACHER_SPELLINGS: Mapping[str, str] = MappingProxyType({
    "chemistry": "Chemistry", "physics": "Physics", "maths": "Maths",
    "computer": "Computer", "english": "English", "biology": "Biology", "bio": "Biology",
    "p.e": "PhysicalEdu", "sanskrit": "Sanskrit", "urdu": "Urdu", "geography": "Geo",
    "accountancy": "Acc", "history": "History", "civics": "Civics",
    "business": "Business", "art": "Arts", "games": "Games", "economics": "Economics",
    "hindi": "Hindi", "bengali": "Bengali", "finance": "Finance", "finfance": "Finance",
})
"""What ``lessoncover.Teacher`` accepts, lower-cased, and the subject each names; "finfance"
is its historical typo."""

SUBJECT_ALIASES: Mapping[str, str] = MappingProxyType({
    "math": "Maths",
    "mathematics": "Maths",
    "chem": "Chemistry",
    "computing": "Computer",
    "computer science": "Computer",
    "ict": "Computer",
    "pe": "PhysicalEdu",
    "p.e.": "PhysicalEdu",
    "physical education": "PhysicalEdu",
    "sport": "PhysicalEdu",
    "sports": "PhysicalEdu",
    "accounting": "Acc",
    "accounts": "Acc",
    "fine art": "Arts",
    "fine arts": "Arts",
    "business studies": "Business",
    "econ": "Economics",
})
"""Further names of the known subjects, lower-case, mapped to their display names.

ICT (information and communication technology) is taught by the computer teachers,
so it maps to Computer.  Sport is the physical-education lesson; Games stays a subject
of its own, reached only by the spelling ``games``.
"""

_INDEX_BY_SPELLING: Mapping[str, int] = {
    spelling: SUBJECTS.index(display)
    for table in (TEACHER_SPELLINGS, {name.lower(): name for name in SUBJECTS}, SUBJECT_ALIASES)
    for spelling, display in table.items()
}


def resolve_subject(text: str) -> int | str | None:
    """Resolve a teacher's subject text.

    Returns the index in :data:`SUBJECTS` of a known subject, the trimmed text
    for any other subject, or ``None`` when the text is empty or only white space.

    >>> resolve_subject("  Mathematics ")
    2
    >>> resolve_subject(" French ")
    'French'
    """
    if not isinstance(text, str):
        raise TypeError(f"a subject must be a str, not {type(text).__name__}")
    trimmed = text.strip()
    if not trimmed:
        return None
    index = _INDEX_BY_SPELLING.get(trimmed.lower())
    return trimmed if index is None else index

