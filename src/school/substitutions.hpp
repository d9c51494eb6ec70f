// Cover planning: every lesson of an absent teacher goes to a present teacher who is free
// in that period, and the report says who covers what and what nobody could cover.
#pragma once

#include <string>

#include "school/school.hpp"

namespace lessoncover {

inline constexpr std::string_view kReportHeader = "Teacher,Period,Subject,Substitution,Classroom,Reason\n";

// Where generation writes its report. It is asked once for room, with the most bytes the
// report can take and whether all of it but the timing line is ASCII; after writing there,
// generation says how many bytes it wrote and whether all of them are ASCII.
class ReportSink {
public:
    virtual char* room(std::size_t capacity, bool ascii_but_timing) = 0;
    virtual void finish(std::size_t size, bool ascii) = 0;

protected:
    ~ReportSink() = default;
};

// Plans cover for every class of the school and writes the report into `sink`: the CSV
// rows, then the lessons nobody could cover and the time taken, each in quoted form. Each
// cover is added to the substitute's periods and stays there.
void generate_substitutions(School& school, ReportSink& sink);
// The same, with the report returned as UTF-8 text.
std::string generate_substitutions(School& school);

// The report row of an absent lesson is its part before the substitute's name, the name,
// and its part after. Appends both parts to `out` and says how long each is.
struct RowParts {
    std::size_t before;
    std::size_t after;
};
RowParts append_row_parts(std::string& out, std::string_view teacher_name, std::int16_t period,
                          Subjects subject, std::string_view class_name, std::string_view reason);

// Whether every byte of `text` is ASCII.
bool is_ascii(std::string_view text) noexcept;

// Whether RFC 4180 quotes `field`: when it holds a comma, a double quote, CR or LF.
bool needs_csv_quotes(std::string_view field) noexcept;

// Appends `field` as RFC 4180 writes it: quoted, with quotes doubled, only when it holds
// a comma, a double quote, CR or LF.
void append_csv_field(std::string& out, std::string_view field);

}  // namespace lessoncover
