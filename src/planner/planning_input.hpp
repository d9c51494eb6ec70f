// What the planner decides from: a compact picture of the day, made by whoever holds the
// school (a School from its records, the companion planner from its lists). Nothing in it
// points into records, so deciding reads no record and takes no lock.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "planner/period_codes.hpp"

namespace lessoncover {

// 0..19 are the twenty known subjects, by their Subjects value; further numbers are
// subjects of the caller's own.
using SubjectId = std::uint32_t;

// A teacher of the school, in list order.
struct PlanningTeacher {
    std::uint64_t busy;  // bit c: holds a lesson in the period whose code is c
    // (period, class) pairs held: what the subject rule ranks by. Each pair takes far more
    // than a byte of memory, so no teacher holds 2^32 of them.
    std::uint32_t load;
    SubjectId subject : 31;
    SubjectId present : 1;
};

// A lesson of an absent teacher that needs a decision, in report order.
struct PlanningLesson {
    std::int16_t period;
    PeriodCodes::Code code;  // the period's, or kNoCode
    SubjectId subject;       // the absent teacher's
};

struct PlanningInput {
    std::vector<PlanningTeacher> teachers;  // in list order
    std::vector<PlanningLesson> lessons;    // in report order
    // For periods without a code that some lesson is in: (teacher << 16) | the period as
    // an unsigned 16-bit number, for every present teacher holding a lesson then; sorted.
    std::vector<std::uint64_t> uncoded_busy;
    // The number of present teachers of each subject; its size is the number of subjects.
    std::vector<std::uint32_t> present_by_subject;

    static std::uint64_t uncoded_key(std::uint32_t teacher, std::int16_t period) noexcept {
        return (std::uint64_t{teacher} << 16) | static_cast<std::uint16_t>(period);
    }
    void clear() {
        teachers.clear();
        lessons.clear();
        uncoded_busy.clear();
        present_by_subject.clear();
    }
};

}  // namespace lessoncover
