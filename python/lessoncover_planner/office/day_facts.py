"""Who is absent, teaching and unavailable in each period of a planned date.

The office's own checks (keeping a cover on a re-plan, refusing a manual one,
listing who could take a lesson) ask the same questions of a day as the planner
does; they are answered here once, from the day the planner is given.
"""

from __future__ import annotations

from ..cli.policies import PolicyOptions
from ..cli.reading import Day

__all__ = ["DayFacts", "Lesson", "lesson_text"]

Lesson = tuple[str, int, str]  # (absent teacher, period, class), as the planner's lessons


def lesson_text(class_name: str, period: int) -> str:
    """How a message names a lesson: ``9A period 3``."""
    return f"{class_name} period {period}"


class DayFacts:
    """The questions the office asks of one day, under the policy options it is planned with."""

    def __init__(self, day: Day, options: PolicyOptions) -> None:
        self.day = day
        self.options = options
        self.subjects = dict(day.teachers)
        self.order = {name: place for place, (name, _) in enumerate(day.teachers)}
        self.away = frozenset(options.away_classes)
        self.lessons = set(day.lessons)
        # The classes each teacher teaches in each period; lessons of classes away leave
        # their teacher free.
        self.teaching: dict[tuple[str, int], list[str]] = {}
        self.pairs: dict[str, set[tuple[int, str]]] = {}
        # The lessons of a class in a period, and of a teacher in a period, in lesson order.
        self.in_class: dict[tuple[int, str], list[Lesson]] = {}
        self.of_teacher: dict[tuple[str, int], list[Lesson]] = {}
        for lesson in dict.fromkeys(day.lessons):
            teacher, period, class_name = lesson
            self.pairs.setdefault(teacher, set()).add((period, class_name))
            self.in_class.setdefault((period, class_name), []).append(lesson)
            self.of_teacher.setdefault((teacher, period), []).append(lesson)
            if class_name not in self.away:
                self.teaching.setdefault((teacher, period), []).append(class_name)

    def is_teacher(self, name: str) -> bool:
        return name in self.subjects

    def absent_then(self, name: str, period: int) -> bool:
        if name not in self.day.absences:
            return False
        periods = self.day.absent_periods.get(name)
        return periods is None or period in periods

    def absence_reason(self, name: str) -> str:
        return self.day.absences.get(name) or "Planned Absense"

    def classes_taught(self, name: str, period: int) -> list[str]:
        return self.teaching.get((name, period), [])

    def unavailable_then(self, name: str, period: int) -> bool:
        return period in self.day.unavailable.get(name, ())

    def teaches_class(self, name: str, class_name: str) -> bool:
        """Whether the teacher has a lesson with the class in any period of the day."""
        return any(taught == class_name for _, taught in self.pairs.get(name, ()))

    def lesson_count(self, name: str) -> int:
        """The (period, class) pairs a teacher holds: what the planner ranks colleagues by."""
        return len(self.pairs.get(name, ()))

    def why_no_cover_needed(self, lesson: Lesson) -> str | None:
        """None when the lesson needs cover; otherwise why not, in words for a message."""
        absent, period, class_name = lesson
        if lesson not in self.lessons:
            return f"{absent} no longer teaches {class_name} then"
        if not self.absent_then(absent, period):
            return f"{absent} is no longer absent then"
        if class_name in self.away:
            return f"{class_name} is away"
        if self.options.co_taught_no_cover:
            for teacher, _, _ in self.in_class[(period, class_name)]:
                if teacher != absent and not self.absent_then(teacher, period):
                    return f"{teacher} teaches {class_name} then too"
        return None

    def absent_lessons_at(self, period: int, class_name: str) -> list[Lesson]:
        """The lessons of a class in a period whose teacher is absent then, in lesson order."""
        return [lesson for lesson in self.in_class.get((period, class_name), [])
                if self.absent_then(lesson[0], period)]

    def combined_set(self, lesson: Lesson) -> list[Lesson]:
        """The lessons one substitute takes together with this one: under combined lessons, the
        absent teacher's lessons in that period; otherwise the lesson alone."""
        if not self.options.combined_lessons:
            return [lesson]
        absent, period, _ = lesson
        return [other for other in self.of_teacher.get((absent, period), []) if self.why_no_cover_needed(other) is None]
