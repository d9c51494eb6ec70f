// What a report sink is told, and the CSV fields of the report's table.
#include <doctest/doctest.h>

#include <string>
#include <utility>

#include "report/csv_field.hpp"
#include "school/school.hpp"
#include "teacher/teacher.hpp"

using namespace lessoncover;

namespace {

// A sink that keeps what the renderer told it.
class RecordingSink final : public ReportSink {
public:
    char* room(const ReportRoom& asked) override {
        rows_ascii = asked.ascii_but_timing;
        text.resize(asked.capacity);
        return text.data();
    }
    bool finish(std::size_t start, std::size_t size, bool ascii) override {
        timing_start = start;
        all_ascii = ascii;
        text.resize(size);
        return true;
    }
    std::string text;
    bool rows_ascii = false;
    bool all_ascii = false;
    std::size_t timing_start = 0;
};

}  // namespace

// The sink learns where the timing line begins, and which parts are ASCII.
TEST_CASE("a report sink hears where the timing line begins") {
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
        RecordingSink sink;
        REQUIRE(school.generate_substitutions(sink).ok());
        const std::string timing = sink.text.substr(sink.timing_start);
        CHECK(timing.substr(0, 31) == "\n\"Time taken to generate subs: ");
        CHECK(sink.rows_ascii == is_ascii(reason));  // the rows are ASCII as their texts
        CHECK(sink.all_ascii == (is_ascii(reason) && is_ascii(timing)));
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
