// Long operations stopped by their interruption, asking only while no record is locked;
// short ones never ask.
#include <doctest/doctest.h>

#include <cstdint>
#include <string>
#include <utility>

#include "interruption.hpp"
#include "school/class_record.hpp"
#include "school/school.hpp"
#include "school_building.hpp"
#include "teacher/teacher.hpp"

using namespace lessoncover;

namespace {

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
        for (std::uint32_t slot = 0; slot < school_.store().made_records(); ++slot) {
            if (!free(school_.store().handle(TeacherSlot{slot}))) ++asked_under_a_lock;
        }
        for (const PeriodEntry& entry : outside_.list_of_periods) {
            if (entry.source != PeriodEntry::kOwnHandle &&
                entry.slot().value >= outside_.sources[entry.source]->made_records()) {
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

bool interrupted_error(const auto& result) { return !result.ok() && result.error().kind == ErrorKind::interrupted; }

// Stopped at its second question, asked under no lock.
void check_interrupted(bool stopped, const ScriptedInterruption& interruption) {
    CHECK(stopped);
    CHECK(interruption.asked == 2);
    CHECK(interruption.asked_under_a_lock == 0);
}

}  // namespace

TEST_CASE("long operations stop when asked") {
    School school, twin;
    Class hall{"Hall"}, twin_hall{"Hall"};
    // Some 24,000 entries: far more steps than one check's worth.
    build_school(school, hall, 300, 40);
    build_school(twin, twin_hall, 300, 40);

    {
        INFO("printing: each text once in full (asked, never told to stop), then stopped");
        ScriptedInterruption never(school, hall, 0);
        CHECK(printed_text(hall, never).value() == printed_text(hall));
        CHECK(never.asked > 2);  // a long class print asks
        CHECK(never.asked_under_a_lock == 0);
        ScriptedInterruption second(school, hall, 2);
        check_interrupted(interrupted_error(printed_text(hall, second)), second);
    }
    const std::string before = school.printed_text();
    {
        INFO("adding the class: stopped, the school is as it was");
        ScriptedInterruption second(school, hall, 2);
        check_interrupted(interrupted_error(school.add_class(hall, second)), second);
        CHECK(school.printed_text() == before);
        ScriptedInterruption never(school, hall, 0);
        CHECK(school.add_class(hall, never).ok());
        CHECK(never.asked_under_a_lock == 0);
        twin.add_class(twin_hall);
        CHECK(school.printed_text() == twin.printed_text());  // the class added as on the twin
    }
    {
        INFO("printing the school, classes and all");
        ScriptedInterruption never(school, hall, 0);
        CHECK(school.printed_text(never).value() == twin.printed_text());
        CHECK(never.asked_under_a_lock == 0);
        ScriptedInterruption second(school, hall, 2);
        check_interrupted(interrupted_error(school.printed_text(second)), second);
    }
    {
        INFO("generation: stopped, no cover is written");
        StringSink report;
        ScriptedInterruption second(school, hall, 2);
        check_interrupted(interrupted_error(school.generate_substitutions(report, &second)), second);
        const std::string expected = without_timing(twin.generate_substitutions().value());
        ScriptedInterruption never(school, hall, 0);
        StringSink first;
        CHECK(school.generate_substitutions(first, &never).ok());
        CHECK(without_timing(first.text) == expected);  // none written by the stopped run
        CHECK(never.asked_under_a_lock == 0);
        CHECK(school.printed_text() == twin.printed_text());  // the covers written as on the twin
    }
}

// A short call runs none of the caller's code: nothing is asked.
TEST_CASE("short operations never ask") {
    School school;
    Class hall{"Hall"};
    const Teacher absent = add_asha_and_ben(school);
    (void)school.register_period(absent, 1, hall);
    ScriptedInterruption asked(school, hall, 1);
    CHECK(printed_text(hall, asked).ok());
    CHECK(school.add_class(hall, asked).ok());
    CHECK(school.printed_text(asked).ok());
    StringSink report;
    CHECK(school.generate_substitutions(report, &asked).ok());
    CHECK(asked.asked == 0);
}
