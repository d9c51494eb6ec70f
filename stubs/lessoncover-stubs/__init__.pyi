"""Plans cover for absent teachers: teachers, classes, a school and its substitution report."""

from typing import Self, final

__all__ = ["Teacher", "School", "Class", "register_period"]

@final
class Teacher:
    """A teacher: name, subject, presence, reason of absence and the periods taught."""

    def __new__(cls, name: str, sub: str, present: bool) -> Self:
        """Create a teacher; an unknown subject raises TypeError("Wrong subject ...")."""

    def add_period(self, period: int, grade: str) -> None:
        """Record that the teacher teaches grade in period (-32768..32767)."""

    def get_sub(self) -> str:
        """Return the display name of the teacher's subject, for example "Maths"."""

    @property
    def name(self) -> str:
        """The teacher's name (read-only)."""

    @property
    def present(self) -> bool:
        """Whether the teacher is present today."""

    @present.setter
    def present(self, value: bool) -> None: ...
    @property
    def reason_of_absentee(self) -> str:
        """Why the teacher is absent; "Planned Absense" until set."""

    @reason_of_absentee.setter
    def reason_of_absentee(self, value: str) -> None: ...
    def __str__(self) -> str:
        """Return the teacher's name, periods, subject and presence as indented text."""

@final
class Class:
    """A class (grade) of the school with the (teacher, period) lessons registered for it."""

    def __new__(cls, name: str) -> Self:
        """Create a class with no lessons."""

    def __str__(self) -> str:
        """Return the quoted class name followed by its lessons in debug notation."""

@final
class School:
    """The school's copies of its teachers and classes, and the cover planner."""

    def __new__(cls) -> Self:
        """Create an empty school."""

    def add_teacher(self, teacher: Teacher) -> None:
        """Store a copy of teacher; a second teacher of the same name is ignored."""

    def add_class(self, class_: Class, /) -> None:
        """Store a copy of a class (parameter name: class) and re-sort teachers by load."""

    def add_to_hashmap(self, name: str, teacher: Teacher) -> None:
        """Store a copy of teacher under name for register_period lookups only."""

    def generate_substitutions(self) -> str:
        """Plan cover for every absent lesson and return the report text."""

    def __str__(self) -> str:
        """Return the school's teachers, classes and present teachers by subject."""

def register_period(teacher: Teacher, period: int, school: School, class_: Class, /) -> None:
    """Record that teacher teaches class in period (parameters: teacher, period, school, class)."""

class PanicException(BaseException):
    """Raised for a failure the module cannot recover from, such as an unknown teacher."""
