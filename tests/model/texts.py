"""The texts lessoncover writes: its subject spellings, the quoted text form, report fields,
durations, and a generation's report up to its timing line."""
import unicodedata

SUBJECTS = {
    "chemistry": "Chemistry", "physics": "Physics", "maths": "Maths",
    "computer": "Computer", "english": "English", "biology": "Biology",
    "bio": "Biology", "p.e": "PhysicalEdu", "sanskrit": "Sanskrit",
    "urdu": "Urdu", "geography": "Geo", "accountancy": "Acc",
    "history": "History", "civics": "Civics", "business": "Business",
    "art": "Arts", "games": "Games", "economics": "Economics",
    "hindi": "Hindi", "bengali": "Bengali", "finfance": "Finance",
    "finance": "Finance",
}
HEADER = "Teacher,Period,Subject,Substitution,Classroom,Reason\n"
DEFAULT_REASON = "Planned Absense"
NOT_FOUND = "Teacher not found in existing list. Please add to 'teacher_list.csv'"

_ESCAPES = {"\\": "\\\\", '"': '\\"', "\t": "\\t", "\r": "\\r", "\n": "\\n", "\0": "\\0"}
_HEX_CATEGORIES = {"Cc", "Cf", "Cs", "Co", "Cn", "Zl", "Zp", "Zs", "Mn", "Me"}


def quoted(text: str) -> str:
    """The quoted text form: double quotes around the text, with escapes.

    Grapheme_Extend is taken to be the categories Mn and Me, which covers
    every character but a few spacing marks, voicing marks and emoji modifiers.
    """
    out = ['"']
    for ch in text:
        if ch in _ESCAPES:
            out.append(_ESCAPES[ch])
        elif ch != " " and unicodedata.category(ch) in _HEX_CATEGORIES:
            out.append("\\u{%x}" % ord(ch))
        else:
            out.append(ch)
    out.append('"')
    return "".join(out)


def csv_field(text: str) -> str:
    """One report field, quoted only when it holds a comma, a quote, CR or LF."""
    if any(ch in text for ch in ',"\r\n'):
        return '"' + text.replace('"', '""') + '"'
    return text


def duration_text(nanoseconds: int) -> str:
    """1.5s, 12.034ms, 850µs, 420ns: the largest unit with a whole part of at least 1."""
    for size, digits, suffix in ((10**9, 9, "s"), (10**6, 6, "ms"), (10**3, 3, "µs")):
        if nanoseconds >= size:
            break
    else:
        size, digits, suffix = 1, 0, "ns"
    whole, fraction = divmod(nanoseconds, size)
    text = str(whole)
    if fraction:
        text += "." + ("%0*d" % (digits, fraction)).rstrip("0")
    return text + suffix


def report(rows, missing) -> str:
    """A generation's report up to its timing line: a CSV row for each cover, given as
    (absent, period, subject, substitute, class, reason), then one quoted text with a line
    for each lesson nobody took, given as (absent, period, class)."""
    lines = [HEADER]
    lines += [",".join(csv_field(str(field)) for field in row) + "\n" for row in rows]
    nobody = "".join("Couldnt find a substitution for %s at %d-%s\n" % (absent, period, quoted(class_name))
                     for absent, period, class_name in missing)
    return "".join(lines) + "\n" + quoted(nobody)
