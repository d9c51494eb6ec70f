"""Subject names: the twenty subjects the planner knows, their spellings and aliases.

The tables are the native planner's own (``_planner``): what a teacher's subject
text is matched against here is what the planner knows, and nothing is restated.
A teacher's subject text is trimmed (``str.strip``) and compared without regard
to letter case, by the planner's own case folding (:func:`subject_key`, the full
Unicode lower-case mapping of the planner's tables), with three tables:

* every spelling ``lessoncover.Teacher`` accepts (``maths``, ``bio``, ``p.e``,
  ``finfance``, ...);
* the twenty display names themselves (``physicaledu``, ``geo``, ``acc``,
  ``arts``, ...);
* :data:`SUBJECT_ALIASES`, common names schools use for the same subjects.

Text that matches none of them is a subject of its own, shown as written (less
the surrounding white space); the planner treats two such texts as one subject
when they have one :func:`subject_key`.
"""

from __future__ import annotations

from collections.abc import Mapping
from types import MappingProxyType

from . import _planner

__all__ = ["SUBJECTS", "SUBJECT_ALIASES", "TEACHER_SPELLINGS", "KNOWN_SPELLINGS", "resolve_subject", "subject_key",
           "subject_identity"]

SUBJECTS: tuple[str, ...] = _planner.SUBJECTS
"""The display names of the known subjects; :func:`resolve_subject` gives an index into it."""

TEACHER_SPELLINGS: Mapping[str, str] = MappingProxyType(dict(_planner.TEACHER_SPELLINGS))
"""What ``lessoncover.Teacher`` accepts, lower-cased, and the subject each names; "finfance"
is its historical typo."""

SUBJECT_ALIASES: Mapping[str, str] = MappingProxyType(dict(_planner.SUBJECT_ALIASES))
"""Further names of the known subjects, lower-case, mapped to their display names.

ICT (information and communication technology) is taught by the computer teachers,
so it maps to Computer.  Sport is the physical-education lesson; Games stays a subject
of its own, reached only by the spelling ``games``.
"""

KNOWN_SPELLINGS: Mapping[str, str] = MappingProxyType(dict(_planner.SUBJECT_SPELLINGS))
"""Every text :func:`resolve_subject` takes for a known subject, as its :func:`subject_key`:
the spellings, the display names and the aliases, mapped to their display names."""


def subject_key(text: str) -> str:
    """What two subject texts share when the planner takes them for one subject: the
    planner's full Unicode lower-case mapping, which ``str.lower`` of another Unicode
    version may not give.

    >>> subject_key("Drama")
    'drama'
    """
    return _planner.subject_key(text)


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
    index = _planner.known_subject(trimmed)
    return trimmed if index is None else index


def subject_identity(text: str) -> int | str | None:
    """What the planner tells a teacher's subject by: the index of a known subject, the
    :func:`subject_key` of a subject of its own, ``None`` for no subject.  Two texts name
    one subject when they have one identity."""
    resolved = resolve_subject(text)
    return subject_key(resolved) if isinstance(resolved, str) else resolved
