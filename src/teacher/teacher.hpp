// The teacher record: a name, a subject, presence, the reason of absence and the set of
// (period, grade) pairs the teacher teaches.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

#include "debug_text.hpp"
#include "seeded_hash.hpp"
#include "shared_record.hpp"
#include "teacher/subjects.hpp"

namespace lessoncover {

inline constexpr std::string_view kDefaultAbsenceReason = "Planned Absense";

struct PeriodGrade {
    std::int16_t period;
    std::string grade;

    bool operator==(const PeriodGrade&) const = default;
};

struct PeriodGradeHash {
    HashKey key = fresh_hash_key();

    std::size_t operator()(const PeriodGrade& pair) const noexcept {
        return static_cast<std::size_t>(
            siphash13(key, pair.grade, static_cast<std::uint16_t>(pair.period), 2));
    }
};

using PeriodSet = std::unordered_set<PeriodGrade, PeriodGradeHash>;

struct Teacher {
    std::string name;
    PeriodSet periods;
    Subjects sub;
    bool present;
    std::string reason_of_absentee;

    Teacher(std::string name, Subjects sub, bool present)
        : name(std::move(name)), sub(sub), present(present),
          reason_of_absentee(kDefaultAbsenceReason) {}

    // Adding a pair that is already there changes nothing.
    void add_period(std::int16_t period, std::string_view grade);

    // Busy in `period` whatever the grade.
    bool teaches_in(std::int16_t period) const noexcept;
};

using TeacherRef = SharedRecord<Teacher>;

// The text str() gives: name, periods as "P:grade" items, subject and presence.
std::string printed_text(const Teacher& teacher);

void describe(DebugWriter& writer, const Teacher& teacher);
void describe(DebugWriter& writer, const TeacherRef& teacher);

}  // namespace lessoncover
