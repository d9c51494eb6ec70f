"""A plain Python model of a school and of cover generation.

The property tests drive this model and the real module with the same calls
and expect the same result text (minus the timing line).  Everything here is
written for clarity, not speed.

Records have identity: a school keeps its own copies of teachers, and two
copies are different records even when they carry the same name.
"""
import unicodedata

SUBJECTS = {
    "chemistry": "Chemistry", "physics": "Physics", "maths": "Maths",
    "computer": "Computer", "english": "English", "biology": "Biology",
    "bio": "Biology", "p.e": "PhysicalEdu", "sanskrit": "Sanskrit",
    "urdu": "Urdu", "geography": "Geo", "accountancy": "Acc",
    "history": "History", "civics": "Civics", "business": "Business",
    "art": "Arts", "games": "Games", "economics": "Economics",
    "hindi": "Hindi", "bengali": "Bengali", "finfance": "Finance",
}
HEADER = "Teacher,Period,Subject,Substitution,Classroom,Reason\n"
DEFAULT_REASON = "Planned Absense"
NOT_FOUND = "Teacher not found in existing list. Please add to 'teacher_list.csv'"

_ESCAPES = {"\\": "\\\\", '"': '\\"', "\t": "\\t", "\r": "\\r", "\n": "\\n", "\0": "\\0"}
_HEX_CATEGORIES = {"Cc", "Cf", "Cs", "Co", "Cn", "Zl", "Zp", "Zs"}


def quoted(text):
    """The quoted text form: double quotes around the text, with escapes.

    Grapheme_Extend is taken as the categories Mn and Me; the few other
    Grapheme_Extend characters (some spacing marks, half-width voicing marks,
    emoji modifiers) are kept out of the texts the tests use.
    """
    out = ['"']
    for ch in text:
        category = unicodedata.category(ch)
        if ch in _ESCAPES:
            out.append(_ESCAPES[ch])
        elif ch != " " and (category in _HEX_CATEGORIES or category in ("Mn", "Me")):
            out.append("\\u{%x}" % ord(ch))
        else:
            out.append(ch)
    out.append('"')
    return "".join(out)


def csv_field(text):
    """One report field: quoted only when it holds a comma, a quote, CR or LF."""
    if any(ch in text for ch in ',"\r\n'):
        return '"' + text.replace('"', '""') + '"'
    return text


class Teacher:
    """A teacher record.  Equality and hashing are by identity."""

    def __init__(self, name, sub, present):
        self.name = name
        self.subject = SUBJECTS[sub.lower()]  # display name
        self.present = present
        self.reason = DEFAULT_REASON
        self.periods = set()  # (period, grade) pairs

    def add_period(self, period, grade):
        self.periods.add((period, grade))

    def copy(self):
        twin = Teacher.__new__(Teacher)
        twin.name, twin.subject = self.name, self.subject
        twin.present, twin.reason = self.present, self.reason
        twin.periods = set(self.periods)
        return twin

    def is_free(self, period):
        return all(p != period for p, _grade in self.periods)


class Class:
    def __init__(self, name):
        self.name = name
        self.entries = []  # (teacher record, period), in registration order


class School:
    def __init__(self):
        self.by_name = {}   # name -> teacher record
        self.teachers = []  # teacher records, re-sorted by add_class
        self.classes = []   # copies of classes, in add_class order

    def add_teacher(self, teacher):
        if teacher.name in self.by_name:
            return
        record = teacher.copy()
        self.teachers.append(record)
        self.by_name[teacher.name] = record

    def add_to_hashmap(self, name, teacher):
        self.by_name[name] = teacher.copy()

    def add_class(self, klass):
        copy = Class(klass.name)
        copy.entries = list(klass.entries)
        self.classes.append(copy)
        self.teachers.sort(key=lambda t: len(t.periods))  # list.sort is stable

    def subject_table(self):
        table = {}
        for teacher in self.teachers:
            table.setdefault(teacher.subject, [])
            if teacher.present:
                table[teacher.subject].append(teacher)
        return table

    def generate_substitutions(self):
        """Return (report text, missing-cover text) and record the covers."""
        table = self.subject_table()
        report = [HEADER]
        missing = []
        for klass in self.classes:
            handled = set()  # (teacher record, period) pairs done in this class
            for absent, period in klass.entries:
                if absent.present or (absent, period) in handled:
                    continue
                handled.add((absent, period))
                candidates = sorted(table.get(absent.subject, []), key=lambda t: len(t.periods))
                substitute = next((t for t in candidates if t.is_free(period)), None)
                if substitute is None:
                    substitute = next(
                        (t for t in self.teachers if t.present and t.is_free(period)), None)
                if substitute is None:
                    missing.append("Couldnt find a substitution for %s at %d-%s\n"
                                   % (absent.name, period, quoted(klass.name)))
                    continue
                substitute.periods.add((period, klass.name))
                fields = [absent.name, str(period), absent.subject,
                          substitute.name, klass.name, absent.reason]
                report.append(",".join(csv_field(f) for f in fields) + "\n")
        return "".join(report), "".join(missing)

    def result_without_timing(self):
        """What generate_substitutions() returns, up to its last line break."""
        report, missing = self.generate_substitutions()
        return report + "\n" + quoted(missing)


def register_period(teacher_name, period, school, klass):
    record = school.by_name.get(teacher_name)
    if record is None:
        raise LookupError(NOT_FOUND)
    klass.entries.append((record, period))
    record.add_period(period, klass.name)
    klass.entries.append((record, period))
