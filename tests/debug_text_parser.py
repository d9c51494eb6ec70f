"""Strict reader for the module's debug text notation, used by the tests.

`parse_compact` and `parse_pretty` accept exactly one layout each and raise
`DebugTextError` on any deviation (a missing trailing comma, a wrong indent,
a stray blank).  Values come back as plain Python data so that sets and maps,
whose order is not fixed, compare independently of order:

    record            -> Record(name, ((field, value), ...))
    bare word         -> Sym(word)          (subject names, <locked>)
    list              -> list
    unnamed pair      -> tuple
    set               -> frozenset          (a repeated member is an error;
                                             "{}" reads as an empty set)
    map               -> dict               (a repeated key is an error)
    quoted text       -> str (unescaped)
    integer / boolean -> int / bool
"""

import re
import unicodedata
from dataclasses import dataclass

class DebugTextError(ValueError):
    pass


@dataclass(frozen=True)
class Sym:
    word: str


@dataclass(frozen=True)
class Record:
    name: str
    fields: tuple

    def __getitem__(self, field):
        for key, value in self.fields:
            if key == field:
                return value
        raise KeyError(field)


_ESCAPES = {"\\": "\\", '"': '"', "t": "\t", "r": "\r", "n": "\n", "0": "\0"}
_MUST_ESCAPE = {"Cc", "Cf", "Cs", "Co", "Cn", "Zl", "Zp", "Zs"}
_INT = re.compile(r"-?(0|[1-9][0-9]*)")
_WORD = re.compile(r"[A-Za-z_][A-Za-z0-9_]*|<locked>")
_ESCAPE = re.compile(r'[\\"trn0]|u\{([1-9a-f][0-9a-f]*)\}')
_PLAIN = re.compile(r'[^"\\]+')


class Reader:
    """Reads values from `text` starting at `pos`; every method is strict."""

    def __init__(self, text, pos=0):
        self.text, self.pos = text, pos

    def fail(self, what):
        near = self.text[self.pos:self.pos + 40]
        raise DebugTextError(f"expected {what} at offset {self.pos}, found {near!r}")

    def peek(self, s):
        return self.text.startswith(s, self.pos)

    def expect(self, s):
        if not self.peek(s):
            self.fail(repr(s))
        self.pos += len(s)

    def end(self):
        if self.pos != len(self.text):
            self.fail("end of text")

    # -- scalars -------------------------------------------------------
    def quoted(self):
        self.expect('"')
        out = []
        while True:
            # A run of characters without quote or backslash at once: str.isprintable() is
            # false exactly for the categories that must be escaped (the space aside), and
            # only then is the run read character by character, to say where.
            run = _PLAIN.match(self.text, self.pos)
            if run:
                if not run.group(0).isprintable():
                    for ch in run.group(0):
                        if ch != " " and unicodedata.category(ch) in _MUST_ESCAPE:
                            self.fail(f"escape for U+{ord(ch):04X}")
                        self.pos += 1
                out.append(run.group(0))
                self.pos = run.end()
            if self.pos >= len(self.text):
                self.fail("closing quote")
            ch = self.text[self.pos]
            self.pos += 1
            if ch == '"':
                return "".join(out)
            m = _ESCAPE.match(self.text, self.pos) or self.fail("a valid escape")
            self.pos = m.end()
            out.append(chr(int(m.group(1), 16)) if m.group(1) else _ESCAPES[m.group(0)])

    def scalar(self):
        if self.peek('"'):
            return self.quoted()
        m = _INT.match(self.text, self.pos)
        if m:
            self.pos = m.end()
            return int(m.group(0))
        m = _WORD.match(self.text, self.pos)
        if not m:
            self.fail("a value")
        self.pos = m.end()
        word = m.group(0)
        return {"true": True, "false": False}.get(word, Sym(word))

    # -- structures ----------------------------------------------------
    def value(self, pretty, indent=0):
        for opening, closing in (("[", "]"), ("{", "}"), ("(", ")")):
            if self.peek(opening):
                self.pos += 1
                return self._items(opening, closing, pretty, indent)
        start = self.pos
        head = self.scalar()
        if isinstance(head, Sym) and self.peek(" {"):
            self.pos += 2
            return Record(head.word, tuple(self._items("{", "}", pretty, indent, True)))
        if isinstance(head, Sym) and head.word[0].islower():
            self.pos = start
            self.fail("a record name or subject")
        return head

    def _items(self, opening, closing, pretty, indent, record=False):
        """The members after `opening`, up to and including `closing`."""
        items, is_map = [], None
        if not record and opening != "(" and self.peek(closing):
            self.pos += 1  # empty list, set or map: same in both forms
        else:
            self.expect("\n" if pretty else (" " if record else ""))
            while True:
                self.expect(" " * (indent + 4) if pretty else "")
                if record:
                    field = _WORD.match(self.text, self.pos) or self.fail("a field")
                    self.pos = field.end()
                    self.expect(": ")
                    item = (field.group(0), self.value(pretty, indent + 4))
                else:
                    item = self.value(pretty, indent + 4)
                    if opening == "{":
                        entry = self.peek(": ")
                        if is_map not in (None, entry):
                            self.fail("the same kind of member throughout")
                        is_map = entry
                        if entry:
                            self.pos += 2
                            item = (item, self.value(pretty, indent + 4))
                items.append(item)
                if pretty:
                    self.expect(",\n")
                end = (" " * indent if pretty else (" " if record else "")) + closing
                if self.peek(end):
                    self.pos += len(end)
                    break
                if not pretty:
                    self.expect(", ")
        if opening == "[" or record:
            return items
        if opening == "(":
            return tuple(items) if len(items) == 2 else self.fail("a pair")
        result = dict(items) if is_map else frozenset(items)
        if len(result) != len(items):
            raise DebugTextError(f"repeated member or key in {items!r}")
        return result


def parse_compact(text, pretty=False):
    reader = Reader(text)
    value = reader.value(pretty)
    reader.end()
    return value


def parse_pretty(text):
    return parse_compact(text, pretty=True)


def parse_class_text(text):
    """str(Class): quoted name, one blank, pretty list of (handle, period)."""
    reader = Reader(text)
    name = reader.quoted()
    reader.expect(" ")
    entries = reader.value(True)
    reader.end()
    if not isinstance(entries, list):
        raise DebugTextError("class entries are not a list")
    return name, entries


def parse_school_text(text):
    """str(School): returns (teacher list, class list, subject table)."""
    reader = Reader(text)
    reader.expect("List of teachers: ")
    teachers = reader.value(True)
    reader.expect("\nList of classes:")
    classes = reader.value(True)
    reader.expect("\nTeacher_hashtable ")
    table = reader.value(False)
    reader.end()
    if table == frozenset():  # "{}" reads as an empty set
        table = {}
    if not (isinstance(teachers, list) and isinstance(classes, list)
            and isinstance(table, dict)):
        raise DebugTextError("school sections have the wrong shape")
    return teachers, classes, table


# -- expected values ---------------------------------------------------
def teacher(name, periods=(), sub="Maths", present=True, reason="Planned Absense"):
    return Record("Teacher", (
        ("name", name), ("periods", frozenset(periods)), ("sub", Sym(sub)),
        ("present", present), ("reason_of_absentee", reason)))


def mutex(data):
    return Record("Mutex", (("data", data),))


def klass(name, entries=()):
    return Record("Class", (("class_name", name), ("list_of_periods", list(entries))))


# Texts that exercise every escaping rule of the quoted form, with the quoted
# form expected for each.
QUOTED_SAMPLES = [
    ('say "hi"', r'"say \"hi\""'),
    ("back\\slash", r'"back\\slash"'),
    ("line\nfeed", r'"line\nfeed"'),
    ("tab\tcr\r", r'"tab\tcr\r"'),
    ("nul\0end", r'"nul\0end"'),
    ("it's 10 A", '"it\'s 10 A"'),
    ("é", '"é"'),
    ("Ωμέγα", '"Ωμέγα"'),
    ("😀", '"😀"'),
    ("zero\u200bwidth", r'"zero\u{200b}width"'),
    ("e\u0301", r'"e\u{301}"'),
    ("bell\x07del\x7f", r'"bell\u{7}del\u{7f}"'),
    ("nb\u00a0sp\u2028", r'"nb\u{a0}sp\u{2028}"'),
    ("", '""'),
]
