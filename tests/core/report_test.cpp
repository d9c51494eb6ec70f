// The rendered report's bytes and its kind of text, and the CSV fields of the report's table.
#include <doctest/doctest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include "planner/day.hpp"
#include "planner/decide.hpp"
#include "report/csv_field.hpp"
#include "report/report.hpp"
#include "report/text_kind.hpp"
#include "school/school.hpp"
#include "teacher/subjects.hpp"
#include "teacher/teacher.hpp"
#include "unicode_text.hpp"

using namespace lessoncover;

namespace {

// The narrowest kind of the UTF-8 `text`, from its widest character.
TextKind widest_kind(std::string_view text) {
    char32_t widest = 0;
    for (std::size_t at = 0; at < text.size();) {
        const unicode::DecodedChar decoded = unicode::decode_utf8(text, at);
        widest = std::max(widest, decoded.code_point);
        at += decoded.length;
    }
    return widest < 0x80 ? TextKind::ascii : widest < 0x100 ? TextKind::latin1 : TextKind::wide;
}

std::size_t characters(std::string_view utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xc0) != 0x80;
    }));
}

// One absent teacher's lesson with `reason`, covered by `substitute`, rendered with a
// timing line that took `duration`.
RenderedReport rendered(std::string_view substitute, std::string_view reason, const std::string& duration,
                        RenderSpace& space) {
    Day day;
    for (std::size_t subject = 0; subject < kSubjectCount; ++subject) {
        day.subjects.push_back(display_name(static_cast<Subjects>(subject)));
    }
    const auto maths = static_cast<SubjectId>(Subjects::Maths);
    day.teachers = {DayTeacher{"Asha", reason, maths, false}, DayTeacher{substitute, {}, maths, true}};
    day.classes = {"10A"};
    day.lessons = {DayLesson{0, 0, 3}};
    DayInput built;
    build_day_input(day, built);
    Plan plan;
    CoverPlanner planner;
    planner.decide(built.input, plan);
    const auto name_of = [&](std::uint32_t teacher) {
        const std::string_view name = day.teachers[built.list_order[teacher]].name;
        return SubstituteName{name, needs_csv_quotes(name), is_ascii(name)};
    };
    const auto timing = [&duration] { return "Time taken to generate subs: " + duration; };
    const std::optional<RenderedReport> report = render_report(plan, built.texts, name_of, timing, space);
    REQUIRE(report.has_value());
    return *report;
}

}  // namespace

TEST_CASE("a text's kind is that of its widest character") {
    const std::pair<std::string_view, TextKind> cases[] = {
        {"", TextKind::ascii},
        {"Ben\x7f", TextKind::ascii},
        {"\u0080", TextKind::latin1},
        {"Zo\u00eb", TextKind::latin1},
        {"850\u00b5s", TextKind::latin1},
        {"\u00ff", TextKind::latin1},
        {"\u0100", TextKind::wide},
        {"\u00e9\u674e", TextKind::wide},
        {"\U0001f600", TextKind::wide},
        {"\xc3", TextKind::wide},      // a lead byte with nothing after it
        {"\xc3(", TextKind::wide},     // nor a continuation byte
        {"\xb5", TextKind::wide},      // a continuation byte alone
    };
    for (const auto& [text, kind] : cases) {
        CAPTURE(text);
        CHECK(text_kind(text) == kind);
    }
}

TEST_CASE("Latin-1 text narrows to a byte a character and widens back") {
    const std::string utf8 = "a\u0080\u00b5\u00e9\u00ff\x7f";
    char narrow[16];
    const std::size_t size = narrow_to_latin1(utf8.data(), utf8.size(), narrow);
    CHECK(std::string_view(narrow, size) == std::string_view("a\x80\xb5\xe9\xff\x7f", 6));
    CHECK(latin1_to_utf8(std::string_view(narrow, size)) == utf8);
    std::string in_place = utf8;  // narrowed over itself
    in_place.resize(narrow_to_latin1(in_place.data(), in_place.size(), in_place.data()));
    CHECK(in_place == std::string_view(narrow, size));
}

// The kind is the widest of the rows' and the timing line's, and the bytes are one a
// character for ASCII and Latin-1: "µs" alone makes ASCII rows a Latin-1 report.
TEST_CASE("a rendered report knows its kind of text, and is one byte a character up to Latin-1") {
    for (const std::string_view substitute : {"Ben", "Zo\u00eb", "\u674e\u96f7"}) {
        for (const std::string_view reason : {"Sick", "Malade \u00e9"}) {
            for (const std::string duration : {"1.5ms", "850\u00b5s", "2s"}) {
                CAPTURE(substitute);
                CAPTURE(reason);
                CAPTURE(duration);
                RenderSpace space;
                const RenderedReport report = rendered(substitute, reason, duration, space);
                const std::string utf8 = report.utf8();
                CHECK(report.kind == widest_kind(utf8));
                CHECK(utf8.find(std::string(substitute) + ",10A,") != std::string::npos);
                CHECK(utf8.ends_with(duration + "\""));
                if (report.kind == TextKind::wide) {
                    CHECK(report.bytes == utf8);
                } else {
                    CHECK(report.bytes.size() == characters(utf8));
                }
                CHECK(report.bytes.substr(report.head, 31) == "\n\"Time taken to generate subs: ");
            }
        }
    }
}

// A thread renders over what it rendered before, whichever way each report was narrowed.
TEST_CASE("report after report is rendered over one buffer") {
    RenderSpace space;
    const std::string first = rendered("\u674e\u96f7", "Sick", "2s", space).utf8();
    CHECK(rendered("Zo\u00eb", "Sick", "850\u00b5s", space).utf8().ends_with("850\u00b5s\""));
    CHECK(rendered("\u674e\u96f7", "Sick", "2s", space).utf8() == first);
}

// The report a school gives is the rendered report as UTF-8.
TEST_CASE("a school's report is UTF-8 whatever its kind") {
    for (const char* reason : {"Sick", "Malade \u00e9"}) {
        CAPTURE(reason);
        School school;
        Class hall{"Hall"};
        Teacher absent("Asha", Subjects::Maths, false);
        absent.reason_of_absentee = reason;
        school.add_teacher(absent);
        school.add_teacher(Teacher("Ben", Subjects::Maths, true));
        (void)school.register_period(absent, 1, hall);
        school.add_class(hall);
        Result<std::string> report = school.generate_substitutions();
        REQUIRE(report.ok());
        CHECK(report.value().starts_with(std::string(kReportHeader) + "Asha,1,Maths,Ben,Hall," + reason + "\n"));
        CHECK(report.value().find("\n\"Time taken to generate subs: ") != std::string::npos);
    }
}

TEST_CASE("CSV fields are quoted when they must be") {
    const std::pair<const char*, const char*> cases[] = {
        {"plain", "plain"}, {"a,b", "\"a,b\""}, {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""}, {"", ""},
    };
    for (const auto& [field, expected] : cases) {
        std::string out;
        append_csv_field(out, field);
        CHECK(out == expected);
    }
}
