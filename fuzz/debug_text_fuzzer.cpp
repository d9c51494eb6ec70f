// libFuzzer harness: the debug-text writer, read back by a strict reader.
//
// Each input becomes a value tree (records, lists, sets, maps, pairs, shared handles,
// locked or not, texts of any bytes, integers, booleans, bare words), written with a
// DebugWriter in both styles. Each text is read back with the grammar of the tests'
// reader (tests/debug_text_parser.py), re-expressed below, which accepts exactly one
// layout per style, and must give the tree again. A text comes back with each malformed
// UTF-8 byte as U+FFFD, and must show escaped every character that the reader refuses
// raw; an escape must be the shortest one for its character.
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "debug_text.hpp"
#include "fuzz_input.hpp"
#include "shared_record.hpp"

namespace {

using lessoncover::DebugStyle;
using lessoncover::DebugWriter;

struct Value {
    enum class Kind { integer, boolean, word, text, record, list, set, map, pair, empty_braces, handle };
    Kind kind = Kind::integer;
    std::int64_t integer = 0;
    bool boolean = false;
    bool locked = false;              // a handle: written while its lock is held
    std::string text;                 // a word's, a text's, a record's name
    std::vector<std::string> fields;  // a record's field names
    std::vector<Value> items;         // field values, members, a pair's two, a map's keys and values by turns
};

using Kind = Value::Kind;

// -- UTF-8, decoded here independently of the core -------------------------------------

// The code point of the well-formed sequence at text[pos] and its length, or nothing.
std::optional<std::pair<char32_t, std::size_t>> decode(std::string_view text, std::size_t pos) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    const unsigned char lead = at(0);
    if (lead < 0x80) return std::pair<char32_t, std::size_t>{lead, 1};
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xbf;  // the second byte's range
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        if (lead == 0xe0) low = 0xa0;
        if (lead == 0xed) high = 0x9f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        if (lead == 0xf0) low = 0x90;
        if (lead == 0xf4) high = 0x8f;
    } else {
        return std::nullopt;
    }
    if (text.size() - pos < length || at(1) < low || at(1) > high) return std::nullopt;
    char32_t cp = lead & (0xff >> (length + 1));
    for (std::size_t i = 1; i < length; ++i) {
        if (at(i) < 0x80 || at(i) > 0xbf) return std::nullopt;
        cp = cp << 6 | (at(i) & 0x3f);
    }
    return std::pair<char32_t, std::size_t>{cp, length};
}

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xc0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3f));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xe0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3f));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    } else {
        out += static_cast<char>(0xf0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3f));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3f));
        out += static_cast<char>(0x80 | (cp & 0x3f));
    }
}

// What a text reads back as: each byte that starts no well-formed sequence becomes U+FFFD.
std::string as_read_back(std::string_view text) {
    std::string out;
    for (std::size_t pos = 0; pos < text.size();) {
        if (const auto decoded = decode(text, pos)) {
            out.append(text, pos, decoded->second);
            pos += decoded->second;
        } else {
            append_utf8(out, 0xfffd);
            ++pos;
        }
    }
    return out;
}

// Characters the reader refuses unescaped, in categories that hold them in every Unicode
// version: controls, separators, private use, noncharacters and long-standing format
// characters. The space is the one separator written as is.
bool must_be_escaped(char32_t cp) {
    struct Range {
        char32_t first, last;
    };
    static constexpr Range ranges[] = {
        {0x00, 0x1f},       {0x7f, 0x9f},       {0xa0, 0xa0},       {0xad, 0xad},       {0x600, 0x605},
        {0x61c, 0x61c},     {0x6dd, 0x6dd},     {0x70f, 0x70f},     {0x1680, 0x1680},   {0x180e, 0x180e},
        {0x2000, 0x200f},   {0x2028, 0x202f},   {0x205f, 0x2064},   {0x2066, 0x206f},   {0x3000, 0x3000},
        {0xe000, 0xf8ff},   {0xfdd0, 0xfdef},   {0xfeff, 0xfeff},   {0xfff9, 0xfffb},   {0x110bd, 0x110bd},
        {0x1d173, 0x1d17a}, {0xe0001, 0xe0001}, {0xe0020, 0xe007f}, {0xf0000, 0x10ffff},
    };
    if ((cp & 0xfffe) == 0xfffe) return true;  // U+FFFE, U+FFFF and their kin in every plane
    for (const Range& range : ranges) {
        if (cp >= range.first && cp <= range.last) return true;
    }
    return false;
}

// -- the value trees ---------------------------------------------------------------------

std::string word(fuzz::Choices& in) {
    static const std::vector<std::string> known = {"Maths", "PhysicalEdu", "Geo", "<locked>", "_", "A", "Z9_z"};
    if (in.byte() % 3 != 0) return in.pick(known);
    static constexpr std::string_view first = "ABCDEFGHIJKLMNOPQRSTUVWXYZ_";
    static constexpr std::string_view rest = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
    std::string out(1, first[in.below(first.size())]);
    for (std::size_t n = in.below(12); n > 0; --n) out += rest[in.below(rest.size())];
    return out;
}

std::string field_name(fuzz::Choices& in) {
    static const std::vector<std::string> known = {"name", "periods", "sub", "present", "data", "true", "x"};
    if (in.byte() % 3 != 0) return in.pick(known);
    static constexpr std::string_view first = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_";
    static constexpr std::string_view rest = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
    std::string out(1, first[in.below(first.size())]);
    for (std::size_t n = in.below(12); n > 0; --n) out += rest[in.below(rest.size())];
    return out;
}

std::string text(fuzz::Choices& in) {
    // Pieces that reach each escaping rule: quotes, short escapes, controls, malformed and
    // truncated sequences, combining and format characters, separators, private use,
    // astral characters and noncharacters.
    static const std::vector<std::string> pieces = {
        "a",        "Z 9",        "\"",           "\\",           "\t\r\n",         std::string(1, '\0'),
        "\x07\x7f", "\xc2\x85",   "\xc2\xa0",     "\xc3\xa9",     "\xce\xa3",       "\xe2\x80\x8b",
        "\xe2\x80\xa8", "\xcc\x81", "\xe2\x83\x9d", "\xee\x80\x80", "\xf3\xa0\x80\x81", "\xf0\x9f\x98\x80",
        "\xef\xbb\xbf", "\xef\xbf\xbd", "\xef\xbf\xbe", "\xed\xa0\x80", "\xc0\xaf",  "\xe2\x82",
        "\xf4\x90\x80\x80", "\x80", "\xff",       "\xe3\x80\x80", "u{41}",          "\\u{",
    };
    switch (in.byte() % 4) {
        case 0: return in.bytes(48);
        case 1: {
            std::string out;
            for (std::size_t n = in.below(16); n > 0; --n) out += in.pick(pieces);
            return out;
        }
        case 2: {
            // A long text: a piece repeated, so the plain-ASCII runs and the buffer grow.
            const std::string piece = in.byte() % 2 ? in.pick(pieces) : in.bytes(8);
            std::string out;
            for (std::size_t n = 1 + in.below(in.one_in(8) ? 400 : 40); n > 0; --n) out += piece;
            return out;
        }
        default: return {};
    }
}

Value make_value(fuzz::Choices& in, int depth) {
    Value value;
    const std::uint8_t choice = in.byte();
    const int kinds = depth >= 6 ? 4 : 10;
    switch (choice % kinds) {
        case 0:
            value.kind = Kind::integer;
            switch (in.byte() % 4) {
                case 0: value.integer = static_cast<std::int8_t>(in.byte()); break;
                case 1: value.integer = INT64_MIN + in.byte() % 2; break;
                case 2: value.integer = INT64_MAX - in.byte() % 2; break;
                default: value.integer = static_cast<std::int64_t>(in.u64()); break;
            }
            break;
        case 1:
            value.kind = Kind::boolean;
            value.boolean = in.byte() % 2;
            break;
        case 2:
            value.kind = Kind::word;
            value.text = word(in);
            break;
        case 3:
            value.kind = Kind::text;
            value.text = text(in);
            break;
        case 4:
            value.kind = Kind::record;
            value.text = word(in);
            for (std::size_t n = in.below(6); n > 0; --n) {
                value.fields.push_back(field_name(in));
                value.items.push_back(make_value(in, depth + 1));
            }
            break;
        case 5:
        case 6:
            value.kind = choice % kinds == 5 ? Kind::list : Kind::set;
            for (std::size_t n = in.below(7); n > 0; --n) value.items.push_back(make_value(in, depth + 1));
            break;
        case 7:
            value.kind = Kind::map;
            for (std::size_t n = in.below(6); n > 0; --n) {
                Value key;
                key.kind = Kind::text;
                key.text = text(in);
                value.items.push_back(std::move(key));
                value.items.push_back(make_value(in, depth + 1));
            }
            break;
        case 8:
            value.kind = Kind::pair;
            value.items.push_back(make_value(in, depth + 1));
            value.items.push_back(make_value(in, depth + 1));
            break;
        default:
            value.kind = Kind::handle;
            value.locked = in.byte() % 3 == 0;
            value.items.push_back(make_value(in, depth + 1));
            break;
    }
    return value;
}

void write(DebugWriter& writer, const Value& value) {
    switch (value.kind) {
        case Kind::integer: writer.integer(value.integer); return;
        case Kind::boolean: writer.boolean(value.boolean); return;
        case Kind::word: writer.word(value.text); return;
        case Kind::text: writer.text(value.text); return;
        case Kind::record:
            writer.begin_record(value.text);
            for (std::size_t i = 0; i < value.fields.size(); ++i) {
                writer.field(value.fields[i]);
                write(writer, value.items[i]);
            }
            writer.end();
            return;
        case Kind::list:
        case Kind::set:
        case Kind::pair:
            value.kind == Kind::list ? writer.begin_list()
                                     : value.kind == Kind::set ? writer.begin_set() : writer.begin_pair();
            for (const Value& item : value.items) write(writer, item);
            writer.end();
            return;
        case Kind::map:
            writer.begin_map();
            for (std::size_t i = 0; i < value.items.size(); i += 2) {
                writer.map_key(value.items[i].text);
                write(writer, value.items[i + 1]);
            }
            writer.end();
            return;
        case Kind::handle: {
            const lessoncover::SharedRecord<const Value*> handle(&value.items[0]);
            std::optional<lessoncover::SharedRecord<const Value*>::Locked> held;
            if (value.locked) held.emplace(handle.lock());
            lessoncover::describe_handle(writer, handle,
                                         [](DebugWriter& w, const Value* inner) { write(w, *inner); });
            return;
        }
        case Kind::empty_braces: break;
    }
    FUZZ_CHECK(!"a value the generator makes");
}

// The tree the reader gives back: a record without fields is its bare name, an empty set
// or map is "{}", a handle is the record Mutex holding the value or the word <locked>.
Value as_read(const Value& value) {
    Value out = value;
    out.items.clear();
    for (const Value& item : value.items) out.items.push_back(as_read(item));
    switch (value.kind) {
        case Kind::text: out.text = as_read_back(value.text); break;
        case Kind::record:
            if (value.fields.empty()) out.kind = Kind::word;
            break;
        case Kind::set:
        case Kind::map:
            if (value.items.empty()) out.kind = Kind::empty_braces;
            break;
        case Kind::handle: {
            Value locked;
            locked.kind = Kind::word;
            locked.text = "<locked>";
            out.kind = Kind::record;
            out.text = "Mutex";
            out.fields = {"data"};
            out.items = {value.locked ? locked : out.items[0]};
            break;
        }
        default: break;
    }
    return out;
}

bool same(const Value& a, const Value& b) {
    if (a.kind != b.kind || a.integer != b.integer || a.boolean != b.boolean || a.text != b.text ||
        a.fields != b.fields || a.items.size() != b.items.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.items.size(); ++i) {
        if (!same(a.items[i], b.items[i])) return false;
    }
    return true;
}

// -- the reader: the grammar of tests/debug_text_parser.py -------------------------------

class Reader {
public:
    Reader(std::string_view text, bool pretty) : text_(text), pretty_(pretty) {}

    Value whole() {
        Value value = read_value(0);
        if (pos_ != text_.size()) fail("end of text");
        return value;
    }

private:
    [[noreturn]] void fail(const char* what) const {
        std::fprintf(stderr, "debug text (%s) refused: expected %s at offset %zu of:\n%.*s\n",
                     pretty_ ? "pretty" : "compact", what, pos_, static_cast<int>(text_.size()), text_.data());
        FUZZ_CHECK(!"the writer's text reads back");
        std::abort();
    }
    bool peek(std::string_view s) const { return text_.substr(pos_).starts_with(s); }
    void expect(std::string_view s) {
        if (!peek(s)) fail("a fixed piece of layout");
        pos_ += s.size();
    }
    bool is_word_start(char c) const {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
    }
    bool is_word_char(char c) const { return is_word_start(c) || (c >= '0' && c <= '9'); }

    std::optional<std::string> read_word() {
        if (peek("<locked>")) {
            pos_ += 8;
            return std::string("<locked>");
        }
        if (pos_ >= text_.size() || !is_word_start(text_[pos_])) return std::nullopt;
        const std::size_t start = pos_;
        while (pos_ < text_.size() && is_word_char(text_[pos_])) ++pos_;
        return std::string(text_.substr(start, pos_ - start));
    }

    std::string read_quoted() {
        expect("\"");
        std::string out;
        while (true) {
            if (pos_ >= text_.size()) fail("a closing quote");
            const char c = text_[pos_];
            if (c == '"') {
                ++pos_;
                return out;
            }
            if (c != '\\') {
                const auto decoded = decode(text_, pos_);
                if (!decoded) fail("well-formed UTF-8");
                if (decoded->first != U' ' && must_be_escaped(decoded->first)) fail("an escape");
                out.append(text_, pos_, decoded->second);
                pos_ += decoded->second;
                continue;
            }
            ++pos_;
            if (pos_ >= text_.size()) fail("an escape");
            const char e = text_[pos_++];
            switch (e) {
                case '\\': out += '\\'; continue;
                case '"': out += '"'; continue;
                case 't': out += '\t'; continue;
                case 'r': out += '\r'; continue;
                case 'n': out += '\n'; continue;
                case '0': out += '\0'; continue;
                case 'u': break;
                default: fail("a valid escape");
            }
            expect("{");
            const std::size_t start = pos_;
            while (pos_ < text_.size() && ((text_[pos_] >= '0' && text_[pos_] <= '9') ||
                                           (text_[pos_] >= 'a' && text_[pos_] <= 'f'))) {
                ++pos_;
            }
            std::uint32_t cp = 0;
            if (pos_ == start || text_[start] == '0' || pos_ - start > 6 ||
                std::from_chars(text_.data() + start, text_.data() + pos_, cp, 16).ptr != text_.data() + pos_) {
                fail("hex digits without leading zeros");
            }
            expect("}");
            if (cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) fail("the escape of a character");
            // The shortest escape: printable ASCII is written as is, and \t \r \n \0 \\ \"
            // have their own.
            if ((cp >= 0x20 && cp < 0x7f) || cp == '\t' || cp == '\r' || cp == '\n') fail("no \\u escape");
            append_utf8(out, cp);
        }
    }

    Value read_scalar() {
        Value value;
        if (peek("\"")) {
            value.kind = Kind::text;
            value.text = read_quoted();
            return value;
        }
        // -?(0|[1-9][0-9]*)
        const std::size_t start = pos_;
        std::size_t end = pos_ + (peek("-") ? 1 : 0);
        if (end < text_.size() && text_[end] >= '0' && text_[end] <= '9') {
            if (text_[end++] != '0') {
                while (end < text_.size() && text_[end] >= '0' && text_[end] <= '9') ++end;
            }
            value.kind = Kind::integer;
            if (std::from_chars(text_.data() + start, text_.data() + end, value.integer).ptr != text_.data() + end) {
                fail("an integer within 64 bits");
            }
            pos_ = end;
            return value;
        }
        auto word = read_word();
        if (!word) fail("a value");
        if (*word == "true" || *word == "false") {
            value.kind = Kind::boolean;
            value.boolean = *word == "true";
            return value;
        }
        value.kind = Kind::word;
        value.text = std::move(*word);
        return value;
    }

    Value read_value(std::size_t indent) {
        static constexpr std::pair<char, char> brackets[] = {{'[', ']'}, {'{', '}'}, {'(', ')'}};
        for (const auto& [opening, closing] : brackets) {
            if (pos_ < text_.size() && text_[pos_] == opening) {
                ++pos_;
                return read_items(opening, closing, indent, false);
            }
        }
        const std::size_t start = pos_;
        Value head = read_scalar();
        if (head.kind == Kind::word && peek(" {")) {
            pos_ += 2;
            Value record = read_items('{', '}', indent, true);
            record.text = std::move(head.text);
            return record;
        }
        if (head.kind == Kind::word && head.text[0] >= 'a' && head.text[0] <= 'z') {
            pos_ = start;
            fail("a record name or subject");
        }
        return head;
    }

    // The members after `opening`, up to and including `closing`.
    Value read_items(char opening, char closing, std::size_t indent, bool record) {
        Value out;
        out.kind = record ? Kind::record : opening == '[' ? Kind::list : opening == '(' ? Kind::pair : Kind::set;
        std::optional<bool> is_map;
        if (!record && opening != '(' && pos_ < text_.size() && text_[pos_] == closing) {
            ++pos_;  // empty list, set or map: the same in both styles
            if (opening == '{') out.kind = Kind::empty_braces;
            return out;
        }
        expect(pretty_ ? "\n" : record ? " " : "");
        std::string end = std::string(pretty_ ? indent : record ? 1 : 0, ' ') + closing;
        while (true) {
            if (pretty_) expect(std::string(indent + 4, ' '));
            if (record) {
                auto field = read_word();
                if (!field) fail("a field");
                out.fields.push_back(std::move(*field));
                expect(": ");
                out.items.push_back(read_value(indent + 4));
            } else {
                out.items.push_back(read_value(indent + 4));
                if (opening == '{') {
                    const bool entry = peek(": ");
                    if (is_map && *is_map != entry) fail("the same kind of member throughout");
                    is_map = entry;
                    if (entry) {
                        pos_ += 2;
                        out.items.push_back(read_value(indent + 4));
                    }
                }
            }
            if (pretty_) expect(",\n");
            if (peek(end)) {
                pos_ += end.size();
                break;
            }
            if (!pretty_) expect(", ");
        }
        if (opening == '(' && out.items.size() != 2) fail("a pair");
        if (is_map && *is_map) out.kind = Kind::map;
        return out;
    }

    std::string_view text_;
    bool pretty_;
    std::size_t pos_ = 0;
};

void check_style(const Value& value, const Value& expected, DebugStyle style) {
    DebugWriter writer(style);
    write(writer, value);
    const std::string so_far = writer.text_so_far();
    const std::string written = std::move(writer).take();
    FUZZ_CHECK(so_far == written);
    if (style == DebugStyle::compact) FUZZ_CHECK(written.find('\n') == std::string::npos);
    if (value.kind == Kind::text) FUZZ_CHECK(written == lessoncover::quoted(value.text));
    const Value read = Reader(written, style == DebugStyle::pretty).whole();
    if (!same(read, expected)) {
        std::fprintf(stderr, "read back a different value from:\n%s\n", written.c_str());
        FUZZ_CHECK(!"the text reads back as the value written");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Choices in(data, size);
    const Value value = make_value(in, 0);
    const Value expected = as_read(value);
    check_style(value, expected, DebugStyle::compact);
    check_style(value, expected, DebugStyle::pretty);
    return 0;
}
