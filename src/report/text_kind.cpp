#include "report/text_kind.hpp"

#include <algorithm>

#include "unicode_text.hpp"

namespace lessoncover {
namespace {

bool is_continuation(unsigned char byte) noexcept { return (byte & 0xc0) == 0x80; }

}  // namespace

TextKind text_kind(std::string_view utf8) noexcept {
    // Most texts are ASCII throughout; up to the first byte that is not, std::find_if's
    // unrolled search reads them.
    const auto beyond_ascii = std::find_if(utf8.begin(), utf8.end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x80;
    });
    TextKind kind = TextKind::ascii;
    for (auto at = static_cast<std::size_t>(beyond_ascii - utf8.begin()); at < utf8.size(); ++at) {
        const auto byte = static_cast<unsigned char>(utf8[at]);
        if (byte < 0x80) continue;
        // U+0080 to U+00FF are C2 or C3, then a continuation byte.
        const bool latin1 = (byte == 0xc2 || byte == 0xc3) && at + 1 < utf8.size() &&
                            is_continuation(static_cast<unsigned char>(utf8[at + 1]));
        if (!latin1) return TextKind::wide;
        kind = TextKind::latin1;
        ++at;
    }
    return kind;
}

std::size_t narrow_to_latin1(const char* from, std::size_t size, char* to) noexcept {
    const char* const end = from + size;
    char* const first = to;
    while (from < end) {
        const auto byte = static_cast<unsigned char>(*from++);
        if (byte < 0x80) {
            *to++ = static_cast<char>(byte);
            continue;
        }
        // A lead byte C2 or C3 carries the character's top two bits, the byte after it the
        // low six.
        *to++ = static_cast<char>(((byte & 0x03) << 6) | (static_cast<unsigned char>(*from++) & 0x3f));
    }
    return static_cast<std::size_t>(to - first);
}

std::string latin1_to_utf8(std::string_view latin1) {
    std::string utf8;
    utf8.reserve(latin1.size());
    for (const char c : latin1) unicode::append_utf8(utf8, static_cast<unsigned char>(c));
    return utf8;
}

}  // namespace lessoncover
