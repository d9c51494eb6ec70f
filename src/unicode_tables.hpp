// Character properties looked up in tables compiled from the Unicode
// Character Database. The tables live in unicode_tables.cpp, which
// tools/gen_unicode_tables.py generates; this header is the hand-written
// interface to them. Nothing here allocates or throws.
#pragma once

#include <array>
#include <cstddef>

namespace lessoncover::unicode {

inline constexpr char32_t kMaxCodePoint = 0x10FFFF;
inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// The longest full lower-case mapping has this many code points.
inline constexpr std::size_t kMaxLowercaseExpansion = 3;

struct LowercaseMapping {
    std::array<char32_t, kMaxLowercaseExpansion> code_points;
    std::size_t length;  // number of meaningful entries in code_points
};

// True when debug output should show cp as an escape rather than raw: general
// category Cc, Cf, Cs, Co, Cn (including anything never assigned), Zl, Zp or
// Zs other than U+0020 itself, or any Grapheme_Extend character (it would
// combine with the neighbouring quote or backslash). Values past U+10FFFF are
// not characters at all and are always escaped.
bool needs_debug_escape(char32_t cp) noexcept;

// Derived property Cased.
bool is_cased(char32_t cp) noexcept;

// Derived property Case_Ignorable.
bool is_case_ignorable(char32_t cp) noexcept;

// Simple (one-to-one) lower-case mapping; cp itself when it has none.
char32_t simple_lowercase(char32_t cp) noexcept;

// Full lower-case mapping without locale or context rules: the
// unconditional SpecialCasing.txt entry when there is one (U+0130 becomes
// U+0069 U+0307), otherwise the simple mapping. Capital sigma maps to U+03C3
// here; choosing the final form needs the surrounding text and is done by
// to_lower_full.
LowercaseMapping full_lowercase(char32_t cp) noexcept;

}  // namespace lessoncover::unicode
