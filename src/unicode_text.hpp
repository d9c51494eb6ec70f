// UTF-8 decoding and encoding, and Unicode lower-casing of UTF-8 text.
// Plain C++: no Python API, no locale, no Unicode library.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lessoncover::unicode {

struct DecodedChar {
    char32_t code_point;
    std::size_t length;  // bytes consumed from the input
};

// Decodes the UTF-8 sequence starting at byte pos of text. A malformed
// sequence (stray continuation byte, truncated, overlong, surrogate or beyond
// U+10FFFF) yields U+FFFD with length 1, so the caller resynchronises on the
// next byte. When pos is at or past the end, yields U+FFFD with length 0.
// Never reads outside text.
DecodedChar decode_utf8(std::string_view text, std::size_t pos) noexcept;

// Appends the UTF-8 encoding of cp. Surrogates and values past U+10FFFF
// cannot be encoded and are appended as U+FFFD.
void append_utf8(std::string& out, char32_t cp);

// Unicode default full lower-case mapping of UTF-8 text, without any
// language-specific rules, matching Python's str.lower(). Capital sigma
// becomes final sigma U+03C2 when the nearest preceding character that is not
// Case_Ignorable is Cased and the nearest following one is not (or there is
// none); otherwise U+03C3. Malformed bytes are copied through unchanged.
std::string to_lower_full(std::string_view utf8);

}  // namespace lessoncover::unicode
