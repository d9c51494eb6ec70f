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

// What a lesson needs, with a policy.
enum class LessonNeed : std::uint8_t {
    cover,
    none_away,       // its class is away
    none_co_taught,  // a teacher present then teaches the class then too
};

// A lesson's links to others, with a policy: places in PlanningInput::lessons, or kNone.
struct LessonLinks {
    static constexpr std::uint32_t kNone = static_cast<std::uint32_t>(-1);
    std::uint32_t leader = kNone;  // the first lesson of its combined set, when not itself
    std::uint32_t before = kNone;  // the absent teacher's lesson in the class a period before
    std::uint32_t after = kNone;   // ... and a period after
    LessonNeed need = LessonNeed::cover;
};

// Periods in which a teacher in a pool may not cover, by code: absent then (a part-day
// absence) or unavailable then (a duty, a meeting).
struct TeacherLimits {
    std::uint64_t absent = 0;
    std::uint64_t unavailable = 0;
};

// A cover fixed in advance: the lesson goes to the substitute whatever the rules say.
struct PlanningPin {
    std::uint32_t lesson;      // place in PlanningInput::lessons; needs cover
    std::uint32_t substitute;  // place in PlanningInput::teachers; present in the lesson's period
    // False for a further lesson of a combined set pinned to the same substitute: the set
    // is one cover, booked by its first pin.
    bool books = true;
};

// What the office said beyond who is absent. Empty, it changes nothing.
struct PlanningPolicy {
    static constexpr std::uint32_t kNoCap = static_cast<std::uint32_t>(-1);
    std::uint32_t max_covers = kNoCap;  // covers per teacher in this run
    bool keep_doubles = false;          // follow lessons' `before`/`after` links
    bool combined_lessons = false;      // follow lessons' `leader` links
    // By lesson; empty when no lesson needs a link or is not needed.
    std::vector<LessonLinks> lessons;
    // By place in PlanningInput::teachers; empty when nobody is limited. A teacher absent
    // in some periods only is in its pool (present) and limited in those periods.
    std::vector<TeacherLimits> limits;
    // The same for periods without a code, as PlanningInput::uncoded_key; sorted.
    std::vector<std::uint64_t> uncoded_absent;
    std::vector<std::uint64_t> uncoded_unavailable;
    // In the order given; at most one a lesson, and one a substitute and period but for the
    // lessons of one combined set.
    std::vector<PlanningPin> pins;

    void clear() { *this = PlanningPolicy{}; }
};

struct PlanningInput {
    std::vector<PlanningTeacher> teachers;  // in list order
    std::vector<PlanningLesson> lessons;    // in report order
    // For periods without a code that some lesson is in: (teacher << 16) | the period as
    // an unsigned 16-bit number, for every present teacher holding a lesson then; sorted.
    std::vector<std::uint64_t> uncoded_busy;
    // The number of present teachers of each subject; its size is the number of subjects.
    std::vector<std::uint32_t> present_by_subject;
    // Empty for a school's own generation. Prior covers are already in the loads and the
    // list order; lessons in classes that are away are not in `busy`.
    PlanningPolicy policy;

    static std::uint64_t uncoded_key(std::uint32_t teacher, std::int16_t period) noexcept {
        return (std::uint64_t{teacher} << 16) | static_cast<std::uint16_t>(period);
    }
    void clear() {
        teachers.clear();
        lessons.clear();
        uncoded_busy.clear();
        present_by_subject.clear();
        policy.clear();
    }
};

}  // namespace lessoncover
