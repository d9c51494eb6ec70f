// The debug notation: compact and pretty forms of nested values, quoting, and a teacher
// printed while its lock is held.
#include <doctest/doctest.h>

#include <string>

#include "debug_text.hpp"
#include "school/class_record.hpp"
#include "teacher/teacher.hpp"

using namespace lessoncover;

namespace {

void describe_nested(DebugWriter& writer) {
    writer.begin_record("Outer");
    writer.field("items");
    writer.begin_list();
    writer.integer(-1);
    writer.begin_pair();
    writer.boolean(true);
    writer.text("a\"b");
    writer.end();
    writer.end();
    writer.field("empty");
    writer.begin_set();
    writer.end();
    writer.field("map");
    writer.begin_map();
    writer.map_key("k");
    writer.word("Maths");
    writer.end();
    writer.field("bare");
    writer.begin_record("Unit");
    writer.end();
    writer.end();
}

}  // namespace

TEST_CASE("a nested record in compact form") {
    DebugWriter compact(DebugStyle::compact);
    describe_nested(compact);
    CHECK(std::move(compact).take() ==
          "Outer { items: [-1, (true, \"a\\\"b\")], empty: {}, map: {\"k\": Maths}, bare: Unit }");
}

TEST_CASE("a nested record in pretty form") {
    DebugWriter pretty(DebugStyle::pretty);
    describe_nested(pretty);
    CHECK(std::move(pretty).take() ==
          "Outer {\n"
          "    items: [\n"
          "        -1,\n"
          "        (\n"
          "            true,\n"
          "            \"a\\\"b\",\n"
          "        ),\n"
          "    ],\n"
          "    empty: {},\n"
          "    map: {\n"
          "        \"k\": Maths,\n"
          "    },\n"
          "    bare: Unit,\n"
          "}");
}

TEST_CASE("quoting escapes") {
    CHECK(quoted("\\\"\t\r\n" + std::string(1, '\0') + "'") == "\"\\\\\\\"\\t\\r\\n\\0'\"");  // short escapes
    CHECK(quoted("a\u200bb e\u0301 \u00e9 \u2028 \x7f") ==
          "\"a\\u{200b}b e\\u{301} \u00e9 \\u{2028} \\u{7f}\"");  // code point escapes
    CHECK(quoted("\xff") == "\"\\u{fffd}\"");                   // a malformed byte
}

TEST_CASE("a held teacher lock prints <locked>") {
    TeacherRef teacher{Teacher("Asha", Subjects::Maths, true)};
    Class school_class{"10A"};
    school_class.append_own(teacher, 3);
    const auto held = teacher.lock();
    DebugWriter writer(DebugStyle::compact);
    describe(writer, school_class);
    CHECK(std::move(writer).take() ==
          "Class { class_name: \"10A\", list_of_periods: [(Mutex { data: <locked> }, 3)] }");
}
