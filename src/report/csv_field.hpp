// Report fields as RFC 4180 writes them, and the ASCII test the report's fast path needs.
#pragma once

#include <string>
#include <string_view>

namespace lessoncover {

// Whether every byte of `text` is ASCII.
bool is_ascii(std::string_view text) noexcept;

// Whether RFC 4180 quotes `field`: when it holds a comma, a double quote, CR or LF.
bool needs_csv_quotes(std::string_view field) noexcept;

// The bytes `field` takes as RFC 4180 writes it, `quoted` being needs_csv_quotes(field).
std::size_t csv_field_size(std::string_view field, bool quoted) noexcept;

// Appends `field` as RFC 4180 writes it: quoted, with quotes doubled, only when it holds
// a comma, a double quote, CR or LF.
void append_csv_field(std::string& out, std::string_view field);

}  // namespace lessoncover
