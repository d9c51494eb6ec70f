#include "unicode_text.hpp"

#include "unicode_tables.hpp"

namespace lessoncover::unicode {
namespace {

constexpr char32_t kCapitalSigma = 0x3A3;
constexpr char32_t kSmallSigma = 0x3C3;
constexpr char32_t kFinalSigma = 0x3C2;

constexpr DecodedChar kMalformed{kReplacementCharacter, 1};

// What a UTF-8 lead byte announces about the sequence it starts.
struct SequenceShape {
    std::size_t length;      // 0 when the byte cannot start a sequence
    unsigned char payload_mask;  // bits of the lead byte that carry the value
    char32_t smallest_value;     // anything below is an overlong encoding
};

constexpr SequenceShape shape_of_lead_byte(unsigned char lead) noexcept {
    // C0 and C1 could only start overlong two-byte forms; F5 and above would
    // encode values past U+10FFFF. Both are rejected outright.
    if (lead >= 0xC2 && lead <= 0xDF) {
        return {2, 0x1F, 0x80};
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return {3, 0x0F, 0x800};
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return {4, 0x07, 0x10000};
    }
    return {0, 0, 0};
}

constexpr bool is_surrogate(char32_t cp) noexcept {
    return cp >= 0xD800 && cp <= 0xDFFF;
}

constexpr bool is_continuation_byte(unsigned char byte) noexcept {
    return (byte & 0xC0) == 0x80;
}

constexpr bool is_ascii_upper(unsigned char byte) noexcept {
    return byte >= 'A' && byte <= 'Z';
}

constexpr char lower_ascii(char c) noexcept {
    const auto byte = static_cast<unsigned char>(c);
    return is_ascii_upper(byte) ? static_cast<char>(byte + ('a' - 'A')) : c;
}

bool is_all_ascii(std::string_view text) noexcept {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

std::string lower_ascii_text(std::string_view text) {
    std::string lowered(text);
    for (char& c : lowered) {
        c = lower_ascii(c);
    }
    return lowered;
}

bool is_malformed(DecodedChar decoded) noexcept {
    // A genuine U+FFFD in the input is three bytes long.
    return decoded.code_point == kReplacementCharacter && decoded.length == 1;
}

// True when the first character from pos on that is not Case_Ignorable
// exists and is Cased. Scanning stops at the first such character, so the
// look-ahead over a run of ignorable characters is paid once per sigma.
bool cased_letter_follows(std::string_view text, std::size_t pos) noexcept {
    while (pos < text.size()) {
        const DecodedChar next = decode_utf8(text, pos);
        if (!is_case_ignorable(next.code_point)) {
            return is_cased(next.code_point);
        }
        pos += next.length;
    }
    return false;
}

// Tracks whether the nearest character seen so far that is not
// Case_Ignorable is Cased, which is what the Final_Sigma condition asks of
// the text before a capital sigma.
class PrecedingCaseContext {
public:
    void observe(char32_t cp) noexcept {
        if (!is_case_ignorable(cp)) {
            after_cased_ = is_cased(cp);
        }
    }
    bool after_cased() const noexcept { return after_cased_; }

private:
    bool after_cased_ = false;
};

void append_lowercase(std::string& out, char32_t cp) {
    const LowercaseMapping mapping = full_lowercase(cp);
    for (std::size_t i = 0; i < mapping.length; ++i) {
        append_utf8(out, mapping.code_points[i]);
    }
}

}  // namespace

DecodedChar decode_utf8(std::string_view text, std::size_t pos) noexcept {
    if (pos >= text.size()) {
        return {kReplacementCharacter, 0};
    }
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        return {lead, 1};
    }
    const SequenceShape shape = shape_of_lead_byte(lead);
    if (shape.length == 0 || shape.length > text.size() - pos) {
        return kMalformed;
    }
    char32_t cp = lead & shape.payload_mask;
    for (std::size_t i = 1; i < shape.length; ++i) {
        const auto byte = static_cast<unsigned char>(text[pos + i]);
        if (!is_continuation_byte(byte)) {
            return kMalformed;
        }
        cp = (cp << 6) | (byte & 0x3Fu);
    }
    if (cp < shape.smallest_value || cp > kMaxCodePoint || is_surrogate(cp)) {
        return kMalformed;
    }
    return {cp, shape.length};
}

void append_utf8(std::string& out, char32_t cp) {
    if (cp > kMaxCodePoint || is_surrogate(cp)) {
        cp = kReplacementCharacter;
    }
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string to_lower_full(std::string_view utf8) {
    if (is_all_ascii(utf8)) {
        return lower_ascii_text(utf8);
    }
    std::string lowered;
    lowered.reserve(utf8.size());
    PrecedingCaseContext context;
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const DecodedChar current = decode_utf8(utf8, pos);
        if (is_malformed(current)) {
            // Keep bytes we cannot interpret rather than inventing U+FFFD;
            // they count as neither cased nor ignorable.
            lowered.push_back(utf8[pos]);
        } else if (current.length == 1) {
            lowered.push_back(lower_ascii(utf8[pos]));
        } else if (current.code_point == kCapitalSigma) {
            const bool final_form =
                context.after_cased() && !cased_letter_follows(utf8, pos + current.length);
            append_utf8(lowered, final_form ? kFinalSigma : kSmallSigma);
        } else {
            append_lowercase(lowered, current.code_point);
        }
        context.observe(current.code_point);
        pos += current.length;
    }
    return lowered;
}

}  // namespace lessoncover::unicode
