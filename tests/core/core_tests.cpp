// Checks of the plain C++ core, built without Python: the notation, durations, what a
// report sink is told, CSV fields, handle printing while a lock is held, the record lock
// under contention, and long operations stopped by their interruption. Prints "N passed,
// N failed" and exits non-zero on any failure.
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "debug_text.hpp"
#include "interruption.hpp"
#include "record_mutex.hpp"
#include "school/class_record.hpp"
#include "school/duration_text.hpp"
#include "school/registration.hpp"
#include "school/school.hpp"
#include "school/substitutions.hpp"
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
    Class school_class{"10A"};
    school_class.append_own(teacher, 3);
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
    // Whether the text is ASCII is known without making it, on both sides of each unit.
    for (const long long ns : {-5LL, 0LL, 999LL, 1'000LL, 999'999LL, 1'000'000LL, 1'000'000'000LL}) {
        const std::string text = duration_text(nanoseconds(ns));
        expect_equal(duration_text_is_ascii(nanoseconds(ns)) ? "ascii" : "not ascii",
                     is_ascii(text) ? "ascii" : "not ascii", text.c_str());
    }
}

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

// The sink learns where the timing line begins, and which parts are ASCII.
void report_sink_hears_the_timing_line() {
    for (const char* reason : {"Sick", "Malade \u00e9"}) {
        School school;
        Class hall{"Hall"};
        Teacher absent("Asha", Subjects::Maths, false);
        absent.reason_of_absentee = reason;
        school.add_teacher(absent);
        school.add_teacher(Teacher("Ben", Subjects::Maths, true));
        (void)register_period(absent, 1, school, hall);
        school.add_class(hall);
        RecordingSink sink;
        expect_equal(generate_substitutions(school, sink).ok() ? "planned" : "failed", "planned", "recorded run");
        const std::string timing = sink.text.substr(sink.timing_start);
        expect_equal(timing.substr(0, 31), "\n\"Time taken to generate subs: ", "the timing line's part");
        expect_equal(sink.rows_ascii ? "ascii" : "not ascii", is_ascii(reason) ? "ascii" : "not ascii",
                     "rows ascii as their texts");
        expect_equal(sink.all_ascii ? "ascii" : "not ascii",
                     is_ascii(reason) && is_ascii(timing) ? "ascii" : "not ascii", "all ascii as the text");
    }
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

// Says stop at its `stop_at`-th question (never when 0), and notes each question asked
// while a record of the school is locked: a Python handler asked then could deadlock on it.
class ScriptedInterruption final : public Interruption {
public:
    ScriptedInterruption(const School& school, const Class& outside, int stop_at)
        : school_(school), outside_(outside), stop_at_(stop_at) {}

    bool requested() override {
        ++asked;
        const auto free = [](const auto& handle) { return handle.try_lock().has_value(); };
        // Records are made as they are needed: only those made can be locked.
        for (std::size_t slot = 0; slot < school_.store->made_records(); ++slot) {
            if (!free(school_.store->handle(static_cast<TeacherStore::Slot>(slot)))) ++asked_under_a_lock;
        }
        for (const PeriodEntry& entry : outside_.list_of_periods) {
            if (entry.source != PeriodEntry::kOwnHandle &&
                entry.teacher >= outside_.sources[entry.source]->made_records()) {
                continue;
            }
            if (!free(outside_.teacher(entry))) ++asked_under_a_lock;
        }
        return asked == stop_at_;
    }

    int asked = 0;
    int asked_under_a_lock = 0;

private:
    const School& school_;
    const Class& outside_;
    int stop_at_;
};

// A school of 300 teachers, a third absent, and a class with lessons of each in 40
// periods: some 24,000 entries, far more steps than one check's worth.
void build_school(School& school, Class& hall) {
    for (int i = 0; i < 300; ++i) {
        Teacher teacher("T" + std::to_string(i), i % 2 == 0 ? Subjects::Maths : Subjects::Physics, i % 3 != 0);
        school.add_teacher(teacher);
        for (std::int16_t period = 0; period < 40; ++period) {
            if ((i + period) % 2 == 0) continue;
            (void)register_period(teacher, period, school, hall);
        }
    }
}

std::string without_timing(const std::string& report) { return report.substr(0, report.rfind('\n')); }

void expect_interrupted(bool stopped, const ScriptedInterruption& interruption, const char* what) {
    expect_equal(stopped ? "interrupted" : "went on", "interrupted", what);
    expect_equal(std::to_string(interruption.asked), "2", what);
    expect_equal(std::to_string(interruption.asked_under_a_lock), "0", what);
}

bool interrupted_error(const auto& result) { return !result.ok() && result.error().kind == ErrorKind::interrupted; }

void long_operations_stop_when_asked() {
    School school, twin;
    Class hall{"Hall"}, twin_hall{"Hall"};
    build_school(school, hall);
    build_school(twin, twin_hall);

    {  // printing: each text once in full (asked, never told to stop), then stopped
        ScriptedInterruption never(school, hall, 0);
        expect_equal(printed_text(hall, never).value(), printed_text(hall), "a class printed when never stopped");
        expect_equal(never.asked > 2 ? "asked" : "not asked", "asked", "a long class print asks");
        expect_equal(std::to_string(never.asked_under_a_lock), "0", "a class print asks under no lock");
        ScriptedInterruption second(school, hall, 2);
        expect_interrupted(interrupted_error(printed_text(hall, second)), second, "a class print stops");
    }
    const std::string before = printed_text(school);
    {  // adding the class: stopped, the school is as it was
        ScriptedInterruption second(school, hall, 2);
        expect_interrupted(interrupted_error(school.add_class(hall, second)), second, "add_class stops");
        expect_equal(printed_text(school), before, "a stopped add_class changes nothing");
        ScriptedInterruption never(school, hall, 0);
        expect_equal(school.add_class(hall, never).ok() ? "added" : "failed", "added", "add_class when never stopped");
        expect_equal(std::to_string(never.asked_under_a_lock), "0", "add_class asks under no lock");
        twin.add_class(twin_hall);
        expect_equal(printed_text(school), printed_text(twin), "the class added as on the twin");
    }
    {  // printing the school, classes and all
        ScriptedInterruption never(school, hall, 0);
        expect_equal(printed_text(school, never).value(), printed_text(twin), "a school printed when never stopped");
        expect_equal(std::to_string(never.asked_under_a_lock), "0", "a school print asks under no lock");
        ScriptedInterruption second(school, hall, 2);
        expect_interrupted(interrupted_error(printed_text(school, second)), second, "a school print stops");
    }
    {  // generation: stopped, no cover is written
        StringSink report;
        ScriptedInterruption second(school, hall, 2);
        expect_interrupted(interrupted_error(generate_substitutions(school, report, &second)), second,
                           "generation stops");
        const std::string expected = without_timing(generate_substitutions(twin).value());
        ScriptedInterruption never(school, hall, 0);
        StringSink first;
        expect_equal(generate_substitutions(school, first, &never).ok() ? "planned" : "failed", "planned",
                     "generation when never stopped");
        expect_equal(without_timing(first.text), expected, "no cover written by the stopped generation");
        expect_equal(std::to_string(never.asked_under_a_lock), "0", "generation asks under no lock");
        expect_equal(printed_text(school), printed_text(twin), "the covers written as on the twin");
    }
}

// A short call runs none of the caller's code: nothing is asked.
void short_operations_never_ask() {
    School school;
    Class hall{"Hall"};
    Teacher absent("Asha", Subjects::Maths, false);
    school.add_teacher(absent);
    school.add_teacher(Teacher("Ben", Subjects::Maths, true));
    (void)register_period(absent, 1, school, hall);
    ScriptedInterruption asked(school, hall, 1);
    expect_equal(printed_text(hall, asked).ok() ? "printed" : "stopped", "printed", "a short class print");
    expect_equal(school.add_class(hall, asked).ok() ? "added" : "stopped", "added", "a short add_class");
    expect_equal(printed_text(school, asked).ok() ? "printed" : "stopped", "printed", "a short school print");
    StringSink report;
    expect_equal(generate_substitutions(school, report, &asked).ok() ? "planned" : "stopped", "planned",
                 "a short generation");
    expect_equal(std::to_string(asked.asked), "0", "short calls ask nothing");
}

}  // namespace

int main() {
    notation_forms();
    quoting();
    locked_handles_print_as_locked();
    record_mutex_excludes_and_wakes();
    durations();
    report_sink_hears_the_timing_line();
    csv_fields();
    long_operations_stop_when_asked();
    short_operations_never_ask();
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
