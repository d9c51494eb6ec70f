#include "report/csv_field.hpp"

#include <algorithm>

namespace lessoncover {

bool is_ascii(std::string_view text) noexcept {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool needs_csv_quotes(std::string_view field) noexcept {
    return std::any_of(field.begin(), field.end(),
                       [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; });
}

std::size_t csv_field_size(std::string_view field, bool quoted) noexcept {
    if (!quoted) return field.size();
    return field.size() + 2 + static_cast<std::size_t>(std::count(field.begin(), field.end(), '"'));
}

void append_csv_field(std::string& out, std::string_view field) {
    if (!needs_csv_quotes(field)) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

}  // namespace lessoncover
