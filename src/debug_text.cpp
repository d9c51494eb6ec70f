#include "debug_text.hpp"

#include <charconv>

#include "unicode_tables.hpp"
#include "unicode_text.hpp"

namespace lessoncover {
namespace {

constexpr std::size_t kIndentWidth = 4;

void append_code_point_escape(std::string& out, char32_t code_point) {
    char digits[8];
    auto end = std::to_chars(digits, digits + sizeof digits, static_cast<std::uint32_t>(code_point), 16).ptr;
    out += "\\u{";
    out.append(digits, end);
    out += '}';
}

// Characters written unchanged need no decoding: printable ASCII other than \ and ".
bool is_plain_ascii(unsigned char byte) noexcept {
    return byte >= 0x20 && byte < 0x7f && byte != '\\' && byte != '"';
}

// What append_quoted writes between the quotes.
inline void escape(std::string& out, std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t run = pos;
        while (run < text.size() && is_plain_ascii(static_cast<unsigned char>(text[run]))) ++run;
        out.append(text, pos, run - pos);
        pos = run;
        if (pos == text.size()) break;

        const auto decoded = unicode::decode_utf8(text, pos);
        switch (decoded.code_point) {
            case U'\\': out += "\\\\"; break;
            case U'"': out += "\\\""; break;
            case U'\t': out += "\\t"; break;
            case U'\r': out += "\\r"; break;
            case U'\n': out += "\\n"; break;
            case U'\0': out += "\\0"; break;
            default:
                // A malformed byte (never in text from Python) is shown escaped, not copied.
                if (unicode::needs_debug_escape(decoded.code_point) ||
                    (decoded.code_point == unicode::kReplacementCharacter && decoded.length == 1)) {
                    append_code_point_escape(out, decoded.code_point);
                } else {
                    out.append(text, pos, decoded.length);
                }
        }
        pos += decoded.length;
    }
}

}  // namespace

void append_quoted(std::string& out, std::string_view text) {
    out.reserve(out.size() + text.size() + 2);
    out += '"';
    escape(out, text);
    out += '"';
}

void append_escaped(std::string& out, std::string_view text) { escape(out, text); }

std::string quoted(std::string_view text) {
    std::string out;
    append_quoted(out, text);
    return out;
}

void DebugWriter::new_line_at(std::size_t depth) {
    out_ += '\n';
    out_.append(depth * kIndentWidth, ' ');
}

void DebugWriter::begin_item() {
    if (value_pending_) {
        value_pending_ = false;
        return;
    }
    if (frames_.empty()) return;
    Frame& frame = frames_.back();
    const bool first = frame.items++ == 0;
    if (style_ == DebugStyle::pretty) {
        if (first && frame.kind == Kind::record) out_ += " {";
        if (!first) out_ += ',';
        new_line_at(frames_.size());
    } else if (first) {
        if (frame.kind == Kind::record) out_ += " { ";
    } else {
        out_ += ", ";
    }
}

void DebugWriter::open(Kind kind, char bracket) {
    begin_item();
    if (bracket != '\0') out_ += bracket;
    frames_.push_back(Frame{kind});
}

void DebugWriter::integer(std::int64_t value) {
    begin_item();
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out_.append(digits, end);
}

void DebugWriter::boolean(bool value) {
    begin_item();
    out_ += value ? "true" : "false";
}

void DebugWriter::word(std::string_view bare) {
    begin_item();
    out_ += bare;
}

void DebugWriter::text(std::string_view value) {
    begin_item();
    append_quoted(out_, value);
}

void DebugWriter::begin_record(std::string_view name) {
    begin_item();
    out_ += name;
    frames_.push_back(Frame{Kind::record});
}

void DebugWriter::field(std::string_view name) {
    begin_item();
    out_ += name;
    out_ += ": ";
    value_pending_ = true;
}

void DebugWriter::map_key(std::string_view key) {
    begin_item();
    append_quoted(out_, key);
    out_ += ": ";
    value_pending_ = true;
}

void DebugWriter::begin_list() { open(Kind::list, '['); }
void DebugWriter::begin_set() { open(Kind::set, '{'); }
void DebugWriter::begin_map() { open(Kind::map, '{'); }
void DebugWriter::begin_pair() { open(Kind::pair, '('); }

void DebugWriter::end() {
    const Frame frame = frames_.back();
    frames_.pop_back();
    if (frame.kind == Kind::record && frame.items == 0) return;  // a bare name

    static constexpr char closers[] = {'}', ']', '}', '}', ')'};
    const char closer = closers[static_cast<int>(frame.kind)];
    if (frame.items == 0) {
        out_ += closer;  // "[]" and "{}" stay on their line
    } else if (style_ == DebugStyle::pretty) {
        out_ += ',';
        new_line_at(frames_.size());
        out_ += closer;
    } else {
        if (frame.kind == Kind::record) out_ += ' ';
        out_ += closer;
    }
}

}  // namespace lessoncover
