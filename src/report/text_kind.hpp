// The narrowest kind of text a report is, and its bytes in the two forms the renderer
// holds: one byte a character (Latin-1, which ASCII is part of) or UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lessoncover {

// Ordered, so the kind of texts put together is the largest of theirs.
enum class TextKind : std::uint8_t { ascii, latin1, wide };

// The kind of the UTF-8 `text`: ASCII, Latin-1 (every character below U+0100) or wider.
// Malformed bytes count as wider.
TextKind text_kind(std::string_view utf8) noexcept;

// Copies UTF-8 text of characters below U+0100 to `to` one byte a character, and gives
// the bytes written. `to` may be `from` itself or before it: it is never ahead.
std::size_t narrow_to_latin1(const char* from, std::size_t size, char* to) noexcept;

// Latin-1 bytes as UTF-8.
std::string latin1_to_utf8(std::string_view latin1);

}  // namespace lessoncover
