"""Setting ``days`` and ``[periods]`` in a school.toml, leaving every other line as written.

tomllib only reads, and writing the parsed settings back would lose the school's comments
and layout, so the file is edited as text, one statement at a time: a statement is a
comment, a blank line, a table header, or a key with its value, which may span lines (an
array over several lines, a multi-line string).  Where a key's value ends is found by
asking tomllib: the first run of lines from the key that parses on its own.  The caller
re-reads the result with tomllib before writing it.
"""

from __future__ import annotations

import tomllib
from collections.abc import Mapping, Sequence
from dataclasses import dataclass

__all__ = ["days_line", "edit_school_toml", "new_school_toml", "toml_string"]

_ESCAPES = {"\\": "\\\\", '"': '\\"', "\b": "\\b", "\t": "\\t", "\n": "\\n", "\f": "\\f", "\r": "\\r"}


def toml_string(text: str) -> str:
    """Text as a TOML basic string."""
    return '"' + "".join(_ESCAPES.get(character) or (
        f"\\u{ord(character):04X}" if ord(character) < 0x20 or ord(character) == 0x7F else character)
        for character in text) + '"'


def days_line(days: Sequence[str]) -> str:
    return "days = [" + ", ".join(toml_string(day) for day in days) + "]"


def _period_lines(times: Mapping[int, str]) -> list[str]:
    return [f"{period} = {toml_string(text)}" for period, text in sorted(times.items())]


def new_school_toml(days: Sequence[str], times: Mapping[int, str], notes: Sequence[str] = ()) -> str:
    """A minimal school.toml: the notes as comments, the days and, when given, the periods' times."""
    lines = [f"# {note}" for note in notes] + [days_line(days)]
    if times:
        lines += ["", "[periods]", *_period_lines(times)]
    return "\n".join(lines) + "\n"


@dataclass(frozen=True)
class _Statement:
    first: int
    last: int  # inclusive
    kind: str  # "blank", "comment", "header" or "pair"
    path: tuple[str, ...]  # the keys a header or a pair names, outermost first


def _path(parsed: dict[str, object]) -> tuple[str, ...]:
    path: list[str] = []
    node: object = parsed
    while isinstance(node, dict) and len(node) == 1:
        key, node = next(iter(node.items()))
        path.append(key)
    return tuple(path)


def _statements(lines: Sequence[str]) -> list[_Statement]:
    statements: list[_Statement] = []
    index = 0
    while index < len(lines):
        text = lines[index].strip()
        if not text or text.startswith("#"):
            statements.append(_Statement(index, index, "comment" if text else "blank", ()))
            index += 1
            continue
        for last in range(index, len(lines)):
            try:
                parsed = tomllib.loads("".join(lines[index:last + 1]))
            except tomllib.TOMLDecodeError:
                continue
            statements.append(_Statement(index, last, "header" if text.startswith("[") else "pair", _path(parsed)))
            index = last + 1
            break
        else:
            raise ValueError(f"line {index + 1} starts no statement that reads on its own")
    return statements


def edit_school_toml(text: str, days: Sequence[str], times: Mapping[int, str]) -> str:
    """The text with its top-level ``days`` set to days and, when times are given, its
    ``[periods]`` table holding exactly them; raise ValueError where the text cannot be
    split into statements."""
    newline = "\r\n" if "\r\n" in text else "\n"
    lines = text.splitlines(keepends=True)
    if lines and not lines[-1].endswith(("\n", "\r")):
        lines[-1] += newline
    statements = _statements(lines)
    first_header = next((at for at, statement in enumerate(statements) if statement.kind == "header"),
                        len(statements))
    top_level = statements[:first_header]
    # Each statement index maps to the lines written in its place (None: the statement's own).
    replaced: dict[int, list[str] | None] = {}
    inserted: dict[int, list[str]] = {}

    days_at = next((at for at, statement in enumerate(top_level)
                    if statement.kind == "pair" and statement.path[:1] == ("days",)), None)
    if days_at is not None:
        replaced[days_at] = [days_line(days)]
    else:
        at = first_header
        # The comment just above the first table is that table's own: days goes before it.
        while at < len(statements) and at > 0 and statements[at - 1].kind == "comment":
            at -= 1
        while at > 0 and statements[at - 1].kind == "blank":
            at -= 1
        follows = statements[at].kind if at < len(statements) else "blank"
        inserted[at] = [days_line(days)] + ([""] if follows != "blank" else [])

    if times:
        _set_periods(statements, first_header, times, replaced, inserted)

    out: list[str] = []
    for at, statement in enumerate(statements):
        out += [line + newline for line in inserted.get(at, [])]
        new = replaced.get(at, None)
        if at in replaced:
            out += [line + newline for line in new or []]
        else:
            out += lines[statement.first:statement.last + 1]
    out += [line + newline for line in inserted.get(len(statements), [])]
    return "".join(out)


def _set_periods(statements: Sequence[_Statement], first_header: int, times: Mapping[int, str],
                 replaced: dict[int, list[str] | None], inserted: dict[int, list[str]]) -> None:
    header_at = next((at for at, statement in enumerate(statements)
                      if statement.kind == "header" and statement.path == ("periods",)), None)
    if header_at is not None:
        for at in range(header_at + 1, len(statements)):
            if statements[at].kind == "header":
                break
            if statements[at].kind == "pair":
                replaced[at] = None
        inserted[header_at + 1] = inserted.get(header_at + 1, []) + _period_lines(times)
        return
    top_level_pairs = [at for at, statement in enumerate(statements[:first_header])
                       if statement.kind == "pair" and statement.path[:1] == ("periods",)]
    if top_level_pairs:  # periods = { ... } or dotted periods.1 = ...: one inline table in their place
        entries = ", ".join(_period_lines(times))
        replaced[top_level_pairs[0]] = [f"periods = {{ {entries} }}"]
        for at in top_level_pairs[1:]:
            replaced[at] = None
        return
    before = inserted.get(len(statements), [])
    apart = [""] if before or (statements and statements[-1].kind != "blank") else []
    inserted[len(statements)] = before + apart + ["[periods]", *_period_lines(times)]
