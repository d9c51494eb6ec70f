#!/usr/bin/env python3
"""Generate src/unicode_tables.cpp from the Unicode Character Database.

The C++ side must not depend on ICU or any other Unicode library, so the few
character properties it needs are compiled into sorted tables here:

* the code points that debug output must escape (control, format, surrogate,
  private-use, unassigned and separator characters other than U+0020, plus
  everything with Grapheme_Extend, which would otherwise fuse with a quote);
* the simple lower-case mapping from UnicodeData.txt, packed into runs;
* the unconditional multi-character lower-case mappings from SpecialCasing.txt;
* the Cased and Case_Ignorable derived properties, which drive Final_Sigma.

Usage: python3 tools/gen_unicode_tables.py [--ucd DIR] [--out FILE]
Only the Python standard library is used.
"""

from __future__ import annotations

import argparse
import re
import sys
from dataclasses import dataclass
from pathlib import Path

REPO_ROOT = Path(__file__).resolve().parent.parent
DEFAULT_UCD_DIR = Path("/usr/share/unicode")
DEFAULT_OUTPUT = REPO_ROOT / "src" / "unicode_tables.cpp"

MAX_CODE_POINT = 0x10FFFF
SPACE = 0x20
# Categories whose characters are invisible or ambiguous when printed raw.
ESCAPED_CATEGORIES = frozenset({"Cc", "Cf", "Cs", "Co", "Cn", "Zl", "Zp", "Zs"})
# The C++ side stores full mappings in a fixed-size array of this length.
MAX_FULL_MAPPING_LENGTH = 3
# Many entries per line keep the generated file a few hundred lines long.
LINE_WIDTH = 110


@dataclass(frozen=True)
class LowercaseRun:
    """Code points first, first+stride, ..., last all map to cp + delta."""

    first: int
    last: int
    delta: int
    stride: int


# --------------------------------------------------------------------------
# Reading the UCD files
# --------------------------------------------------------------------------

def data_lines(path: Path):
    """Yield the semicolon-separated fields of each non-comment line."""
    with path.open(encoding="utf-8") as handle:
        for line in handle:
            content = line.split("#", 1)[0].strip()
            if content:
                yield [field.strip() for field in content.split(";")]


def parse_code_point_span(text: str) -> range:
    """Turn "0041" or "0041..005A" into a range of code points."""
    first, _, last = text.partition("..")
    return range(int(first, 16), int(last or first, 16) + 1)


def read_ucd_version(ucd_dir: Path) -> str:
    """Take the version from the header line, e.g. '# DerivedCoreProperties-15.0.0.txt'."""
    with (ucd_dir / "DerivedCoreProperties.txt").open(encoding="utf-8") as handle:
        header = handle.readline()
    match = re.search(r"-(\d+\.\d+\.\d+)\.txt", header)
    if not match:
        sys.exit(f"cannot find the UCD version in: {header.strip()}")
    return match.group(1)


def read_unicode_data(ucd_dir: Path) -> tuple[dict[int, str], dict[int, int]]:
    """Return (general category per assigned code point, simple lower-case map).

    Large blocks such as CJK ideographs are listed only as a '<..., First>' /
    '<..., Last>' pair, so the category of the pair covers the whole span.
    """
    categories: dict[int, str] = {}
    simple_lower: dict[int, int] = {}
    range_start: int | None = None
    for fields in data_lines(ucd_dir / "UnicodeData.txt"):
        code_point, name, category = int(fields[0], 16), fields[1], fields[2]
        if name.endswith(", First>"):
            range_start = code_point
            continue
        if name.endswith(", Last>"):
            if range_start is None:
                sys.exit(f"range end without start at U+{code_point:04X}")
            for member in range(range_start, code_point + 1):
                categories[member] = category
            range_start = None
            continue
        categories[code_point] = category
        if fields[13]:
            simple_lower[code_point] = int(fields[13], 16)
    return categories, simple_lower


def read_derived_properties(ucd_dir: Path, wanted: set[str]) -> dict[str, set[int]]:
    members: dict[str, set[int]] = {name: set() for name in wanted}
    for fields in data_lines(ucd_dir / "DerivedCoreProperties.txt"):
        if fields[1] in wanted:
            members[fields[1]].update(parse_code_point_span(fields[0]))
    return members


def read_unconditional_lowercase(ucd_dir: Path) -> dict[int, list[int]]:
    """Full lower-case mappings that apply regardless of locale or context.

    Conditional entries (language tags, Final_Sigma, After_I, ...) carry a
    fifth field and are left to the run-time algorithm or ignored.
    """
    mappings: dict[int, list[int]] = {}
    for fields in data_lines(ucd_dir / "SpecialCasing.txt"):
        has_condition = len(fields) > 4 and fields[4]
        if has_condition:
            continue
        code_point = int(fields[0], 16)
        mappings[code_point] = [int(part, 16) for part in fields[1].split()]
    return mappings


# --------------------------------------------------------------------------
# Building the tables
# --------------------------------------------------------------------------

def to_ranges(code_points) -> list[tuple[int, int]]:
    """Collapse a set of code points into sorted inclusive (first, last) pairs."""
    ranges: list[tuple[int, int]] = []
    for code_point in sorted(code_points):
        if ranges and ranges[-1][1] + 1 == code_point:
            ranges[-1] = (ranges[-1][0], code_point)
        else:
            ranges.append((code_point, code_point))
    return ranges


def debug_escape_code_points(categories: dict[int, str], grapheme_extend: set[int]) -> set[int]:
    escaped = set(grapheme_extend)
    for code_point in range(MAX_CODE_POINT + 1):
        category = categories.get(code_point, "Cn")
        if category in ESCAPED_CATEGORIES and code_point != SPACE:
            escaped.add(code_point)
    return escaped


def pack_lowercase_runs(simple_lower: dict[int, int]) -> list[LowercaseRun]:
    """Group mappings sharing one delta at a constant stride (1 or 2).

    Most scripts pair capitals and small letters either as two parallel
    blocks (stride 1) or interleaved (stride 2), so this shrinks ~1400
    pairs to a few hundred runs.
    """
    runs: list[LowercaseRun] = []
    for code_point in sorted(simple_lower):
        delta = simple_lower[code_point] - code_point
        if runs:
            last = runs[-1]
            gap = code_point - last.last
            same_delta = last.delta == delta
            if same_delta and last.first == last.last and gap in (1, 2):
                runs[-1] = LowercaseRun(last.first, code_point, delta, gap)
                continue
            if same_delta and gap == last.stride:
                runs[-1] = LowercaseRun(last.first, code_point, delta, last.stride)
                continue
        runs.append(LowercaseRun(code_point, code_point, delta, 1))
    return runs


def special_lowercase_entries(special: dict[int, list[int]],
                              simple_lower: dict[int, int]) -> dict[int, list[int]]:
    """Keep only the special mappings that differ from the simple mapping."""
    entries: dict[int, list[int]] = {}
    for code_point, mapping in sorted(special.items()):
        if mapping == [simple_lower.get(code_point, code_point)]:
            continue
        if len(mapping) > MAX_FULL_MAPPING_LENGTH:
            sys.exit(f"U+{code_point:04X} lower-cases to {len(mapping)} code points")
        entries[code_point] = mapping
    return entries


# --------------------------------------------------------------------------
# Writing C++
# --------------------------------------------------------------------------

def wrap_entries(entries: list[str], width: int = LINE_WIDTH) -> str:
    """Pack comma-separated entries onto indented lines of at most width columns."""
    lines: list[str] = []
    current = "   "
    for entry in entries:
        if len(current) + 1 + len(entry) + 1 > width:
            lines.append(current)
            current = "   "
        current += " " + entry + ","
    lines.append(current)
    return "\n".join(lines)


def hex_cp(code_point: int) -> str:
    return f"0x{code_point:X}"


def ascii_mask(ranges: list[tuple[int, int]]) -> tuple[int, int]:
    """Bits for U+0000..U+003F and U+0040..U+007F, so ASCII needs no search."""
    bits = 0
    for first, last in ranges:
        for code_point in range(first, min(last, 0x7F) + 1):
            bits |= 1 << code_point
    return bits & 0xFFFF_FFFF_FFFF_FFFF, bits >> 64


def range_table(name: str, ranges: list[tuple[int, int]], what: str) -> str:
    """A CodePointSet: the ASCII bit mask plus the sorted non-ASCII ranges."""
    low, high = ascii_mask(ranges)
    non_ascii = [(max(first, 0x80), last) for first, last in ranges if last >= 0x80]
    entries = [f"{{{hex_cp(first)},{hex_cp(last)}}}" for first, last in non_ascii]
    return (f"// {what}\n"
            f"constexpr AsciiMask {name}Ascii = {{0x{low:016X}, 0x{high:016X}}};\n"
            f"constexpr CodePointRange {name}[] = {{\n{wrap_entries(entries)}\n}};\n")


def lowercase_run_table(runs: list[LowercaseRun]) -> str:
    entries = [f"{{{hex_cp(r.first)},{hex_cp(r.last)},{r.delta},{r.stride}}}" for r in runs]
    return ("// Simple lower-case mapping (UnicodeData.txt field 13) as\n"
            "// {first, last, delta, stride} runs.\n"
            f"constexpr LowercaseRun kLowercaseRuns[] = {{\n{wrap_entries(entries)}\n}};\n")


def special_lowercase_table(entries: dict[int, list[int]]) -> str:
    rows = []
    for code_point, mapping in entries.items():
        padded = mapping + [0] * (MAX_FULL_MAPPING_LENGTH - len(mapping))
        targets = ",".join(hex_cp(target) for target in padded)
        rows.append(f"{{{hex_cp(code_point)},{{{{{{{targets}}}}},{len(mapping)}}}}}")
    return ("// Unconditional lower-case mappings from SpecialCasing.txt that differ\n"
            "// from the simple mapping.\n"
            f"constexpr SpecialLowercase kSpecialLowercase[] = {{\n{wrap_entries(rows)}\n}};\n")


FILE_HEADER = """\
// Generated by tools/gen_unicode_tables.py from the Unicode Character
// Database, version {version}. Do not edit by hand: change the generator and
// run it again.

#include "unicode_tables.hpp"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace lessoncover::unicode {{
namespace {{

struct CodePointRange {{
    char32_t first;
    char32_t last;
}};

// Bit n of low is U+00nn for n < 64; bit n of high is U+0040 + n.
struct AsciiMask {{
    std::uint64_t low;
    std::uint64_t high;
}};

struct LowercaseRun {{
    char32_t first;
    char32_t last;
    std::int32_t delta;
    std::uint32_t stride;
}};

struct SpecialLowercase {{
    char32_t code_point;
    LowercaseMapping mapping;
}};
"""

LOOKUP_FUNCTIONS = """\
// Finds the last entry whose first member is <= cp, or end if there is none.
template <typename Entry, std::size_t N, typename KeyOf>
const Entry* last_entry_starting_at_or_before(const Entry (&table)[N], char32_t cp,
                                              KeyOf key_of) noexcept {
    const Entry* after = std::upper_bound(
        std::begin(table), std::end(table), cp,
        [&](char32_t value, const Entry& entry) { return value < key_of(entry); });
    return after == std::begin(table) ? std::end(table) : after - 1;
}

// The set is split so that ASCII, the bulk of most text, costs a shift.
template <std::size_t N>
bool in_set(const AsciiMask& ascii, const CodePointRange (&ranges)[N], char32_t cp) noexcept {
    if (cp < 0x40) {
        return ((ascii.low >> cp) & 1u) != 0;
    }
    if (cp < 0x80) {
        return ((ascii.high >> (cp - 0x40)) & 1u) != 0;
    }
    const CodePointRange* range = last_entry_starting_at_or_before(
        ranges, cp, [](const CodePointRange& entry) { return entry.first; });
    return range != std::end(ranges) && cp <= range->last;
}

}  // namespace

bool needs_debug_escape(char32_t cp) noexcept {
    if (cp > kMaxCodePoint) {
        return true;
    }
    return in_set(kDebugEscapeRangesAscii, kDebugEscapeRanges, cp);
}

bool is_cased(char32_t cp) noexcept {
    return in_set(kCasedRangesAscii, kCasedRanges, cp);
}

bool is_case_ignorable(char32_t cp) noexcept {
    return in_set(kCaseIgnorableRangesAscii, kCaseIgnorableRanges, cp);
}

char32_t simple_lowercase(char32_t cp) noexcept {
    if (cp < 0x80) {
        return (cp >= U'A' && cp <= U'Z') ? cp + (U'a' - U'A') : cp;
    }
    const LowercaseRun* run = last_entry_starting_at_or_before(
        kLowercaseRuns, cp, [](const LowercaseRun& entry) { return entry.first; });
    if (run == std::end(kLowercaseRuns) || cp > run->last || (cp - run->first) % run->stride != 0) {
        return cp;
    }
    return static_cast<char32_t>(static_cast<std::int32_t>(cp) + run->delta);
}

LowercaseMapping full_lowercase(char32_t cp) noexcept {
    const SpecialLowercase* special = last_entry_starting_at_or_before(
        kSpecialLowercase, cp, [](const SpecialLowercase& entry) { return entry.code_point; });
    if (special != std::end(kSpecialLowercase) && special->code_point == cp) {
        return special->mapping;
    }
    LowercaseMapping single{};
    single.code_points[0] = simple_lowercase(cp);
    single.length = 1;
    return single;
}

}  // namespace lessoncover::unicode
"""


def render(version: str, escape_ranges, cased_ranges, ignorable_ranges,
           runs, special) -> str:
    parts = [
        FILE_HEADER.format(version=version),
        range_table("kDebugEscapeRanges", escape_ranges,
                    "Code points that debug output shows as escapes."),
        range_table("kCasedRanges", cased_ranges, "Derived property Cased."),
        range_table("kCaseIgnorableRanges", ignorable_ranges,
                    "Derived property Case_Ignorable."),
        lowercase_run_table(runs),
        special_lowercase_table(special),
        LOOKUP_FUNCTIONS,
    ]
    return "\n".join(parts)


def parse_arguments() -> argparse.Namespace:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ucd", type=Path, default=DEFAULT_UCD_DIR,
                        help="directory holding UnicodeData.txt etc. (default: %(default)s)")
    parser.add_argument("--out", type=Path, default=DEFAULT_OUTPUT,
                        help="C++ file to write (default: src/unicode_tables.cpp)")
    return parser.parse_args()


def main() -> None:
    arguments = parse_arguments()
    ucd_dir: Path = arguments.ucd
    version = read_ucd_version(ucd_dir)
    categories, simple_lower = read_unicode_data(ucd_dir)
    derived = read_derived_properties(ucd_dir, {"Grapheme_Extend", "Cased", "Case_Ignorable"})
    special = special_lowercase_entries(read_unconditional_lowercase(ucd_dir), simple_lower)

    source = render(
        version,
        to_ranges(debug_escape_code_points(categories, derived["Grapheme_Extend"])),
        to_ranges(derived["Cased"]),
        to_ranges(derived["Case_Ignorable"]),
        pack_lowercase_runs(simple_lower),
        special,
    )
    arguments.out.parent.mkdir(parents=True, exist_ok=True)
    arguments.out.write_text(source, encoding="utf-8")


if __name__ == "__main__":
    main()
