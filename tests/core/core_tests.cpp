// Checks of the plain C++ core, built without Python: the notation, durations, CSV fields,
// handle printing while a lock is held, and the record lock under contention. Prints "N passed, N failed" and exits non-zero
// on any failure.
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "debug_text.hpp"
#include "record_mutex.hpp"
#include "school/class_record.hpp"
#include "school/duration_text.hpp"
#include "report/csv_field.hpp"
#include "teacher/teacher.hpp"

using namespace lessoncover;

namespace {

int passed = 0;
int failed = 0;

void expect_equal(const std::string& actual, const std::string& expected, const char* what) {
    if (actual == expected) {
        ++passed;
        return;
    }
    ++failed;
    std::printf("FAILED %s\n  expected: %s\n  actual:   %s\n", what, expected.c_str(), actual.c_str());
}

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

void notation_forms() {
    DebugWriter compact(DebugStyle::compact);
    describe_nested(compact);
    expect_equal(std::move(compact).take(),
                 "Outer { items: [-1, (true, \"a\\\"b\")], empty: {}, map: {\"k\": Maths}, bare: Unit }",
                 "compact nested record");

    DebugWriter pretty(DebugStyle::pretty);
    describe_nested(pretty);
    expect_equal(std::move(pretty).take(),
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
                 "}",
                 "pretty nested record");
}

void quoting() {
    expect_equal(quoted("\\\"\t\r\n" + std::string(1, '\0') + "'"), "\"\\\\\\\"\\t\\r\\n\\0'\"",
                 "short escapes");
    expect_equal(quoted("a\u200bb e\u0301 \u00e9 \u2028 \x7f"),
                 "\"a\\u{200b}b e\\u{301} \u00e9 \\u{2028} \\u{7f}\"", "code point escapes");
    expect_equal(quoted("\xff"), "\"\\u{fffd}\"", "malformed byte");
}

void locked_handles_print_as_locked() {
    TeacherRef teacher{Teacher("Asha", Subjects::Maths, true)};
    Class school_class{"10A", {PeriodEntry{teacher, 3}}};
    const auto held = teacher.lock();
    DebugWriter writer(DebugStyle::compact);
    describe(writer, school_class);
    expect_equal(std::move(writer).take(),
                 "Class { class_name: \"10A\", list_of_periods: [(Mutex { data: <locked> }, 3)] }",
                 "a held teacher lock prints <locked>");
}

// Threads that keep taking the same lock, each holding it across a read and a write of a
// plain counter: any increment lost means two held it at once, and a missed wake-up hangs.
void record_mutex_excludes_and_wakes() {
    RecordMutex mutex;
    long long counter = 0;
    constexpr int kThreads = 4;
    constexpr int kRounds = 200'000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < kRounds; ++round) {
                const std::lock_guard held(mutex);
                const long long seen = counter;
                if (round % 1000 == 0) std::this_thread::yield();  // make the others wait
                counter = seen + 1;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    expect_equal(std::to_string(counter), std::to_string(kThreads * kRounds), "record mutex counts every increment");
    expect_equal(mutex.try_lock() ? "free" : "held", "free", "record mutex is free at the end");
}

void durations() {
    using std::chrono::nanoseconds;
    const std::pair<long long, const char*> cases[] = {
        {0, "0ns"},          {420, "420ns"},         {850'000, "850\u00b5s"},
        {1'001, "1.001\u00b5s"}, {12'034'000, "12.034ms"}, {1'500'000'000, "1.5s"},
        {61'000'000'007, "61.000000007s"},
    };
    for (const auto& [ns, text] : cases) expect_equal(duration_text(nanoseconds(ns)), text, "duration");
}

void csv_fields() {
    const std::pair<const char*, const char*> cases[] = {
        {"plain", "plain"}, {"a,b", "\"a,b\""}, {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""}, {"", ""},
    };
    for (const auto& [field, expected] : cases) {
        std::string out;
        append_csv_field(out, field);
        expect_equal(out, expected, "csv field");
    }
}

}  // namespace

int main() {
    notation_forms();
    quoting();
    locked_handles_print_as_locked();
    record_mutex_excludes_and_wakes();
    durations();
    csv_fields();
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
