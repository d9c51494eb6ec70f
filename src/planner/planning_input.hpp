// What the planner decides from: a compact picture of the day, made by whoever holds the
// school (a School from its records, the companion planner from its lists). Nothing in it
// points into records, so deciding reads no record and takes no lock.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "planner/period_codes.hpp"
#include "planner/period_set.hpp"

namespace lessoncover {

// 0..19 are the twenty known subjects, by their Subjects value; further numbers are
// subjects of the caller's own.
using SubjectId = std::uint32_t;

// A teacher of the school, in list order; its busy periods are in PlanningInput::busy.
struct PlanningTeacher {
    // (period, class) pairs held: what the subject rule ranks by. Each pair takes far more
    // than a byte of memory, so no teacher holds 2^32 of them.
    std::uint32_t load;
    SubjectId subject : 30;
    SubjectId present : 1;
    // Supply staff: outside the subject pools and the list order, tried last, in
    // PlanningInput::supply_order.
    SubjectId supply : 1 = 0;
};

// A lesson of an absent teacher that needs a decision, in report order.
struct PlanningLesson {
    std::int16_t period;
    PeriodCodes::Code code;  // the period's, below PlanningInput::period_codes
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

// A cover fixed in advance: the lesson goes to the substitute whatever the rules say.
struct PlanningPin {
    std::uint32_t lesson;      // place in PlanningInput::lessons; needs cover
    std::uint32_t substitute;  // place in PlanningInput::teachers; present in the lesson's period
    // False for a further lesson of a combined set pinned to the same substitute: the set
    // is one cover, booked by its first pin.
    bool books = true;
};

// How the covers are chosen: the rules one lesson after another (decide.hpp), or the plan
// that is best over the whole day (best_plan.hpp).
enum class Strategy : std::uint8_t { greedy, best };

// What the office said beyond who is absent. Empty, it changes nothing.
struct PlanningPolicy {
    static constexpr std::uint32_t kNoCap = static_cast<std::uint32_t>(-1);
    std::uint32_t max_covers = kNoCap;  // covers per teacher in this run
    bool keep_doubles = false;          // follow lessons' `before`/`after` links
    bool combined_lessons = false;      // follow lessons' `leader` links
    // By lesson; empty when no lesson needs a link or is not needed.
    std::vector<LessonLinks> lessons;
    // Periods in which a present teacher may not cover, as sets of period codes laid out as
    // PlanningInput::busy; each empty when nobody is limited so. A teacher absent in some
    // periods only is in its pool (present) and absent in those; unavailable is a duty, a
    // meeting.
    std::vector<std::uint64_t> absent;
    std::vector<std::uint64_t> unavailable;
    // In the order given; at most one a lesson, and one a substitute and period but for the
    // lessons of one combined set.
    std::vector<PlanningPin> pins;
    Strategy strategy = Strategy::greedy;

    void clear() { *this = PlanningPolicy{}; }
};

struct PlanningInput {
    // Codes are given per input. Only the periods of lessons are ever asked about, so a day
    // codes those alone; a school's input also has the codes its teacher list keeps up to
    // date (the first 64 periods it saw). Every lesson's code is below period_codes.
    std::size_t period_codes = 0;
    std::size_t period_words = 1;           // period_words_for(period_codes)
    std::vector<PlanningTeacher> teachers;  // in list order
    // By teacher, period_words words each: the periods in which it holds a lesson.
    std::vector<std::uint64_t> busy;
    std::vector<PlanningLesson> lessons;    // in report order
    // The number of present teachers of each subject, supply staff left out; its size is
    // the number of subjects.
    std::vector<std::uint32_t> present_by_subject;
    // The present supply staff, as places in `teachers`, in the order the school gave them.
    std::vector<std::uint32_t> supply_order;
    // By teacher, the covers given before this day; empty for none. The loads and the list
    // order count them already; the best plan weighs them apart, as covers.
    std::vector<std::uint32_t> prior;
    // For the best plan, by lesson: knows_starts[l]..knows_starts[l + 1] in `knows` are the
    // present teachers (places) with a lesson in that lesson's class that day. Empty else.
    std::vector<std::uint32_t> knows_starts;
    std::vector<std::uint32_t> knows;
    // Empty for a school's own generation. Prior covers are already in the loads and the
    // list order; lessons in classes that are away are not in `busy`.
    PlanningPolicy policy;

    const std::uint64_t* busy_of(std::size_t teacher) const noexcept { return busy.data() + period_words * teacher; }
    std::uint64_t* busy_of(std::size_t teacher) noexcept { return busy.data() + period_words * teacher; }
    // Sizes the sets for `codes` codes, every teacher's empty.
    void size_period_sets(std::size_t codes) {
        period_codes = codes;
        period_words = period_words_for(codes);
        busy.assign(period_words * teachers.size(), 0);
    }
    void clear() {
        period_codes = 0;
        period_words = 1;
        teachers.clear();
        busy.clear();
        lessons.clear();
        present_by_subject.clear();
        supply_order.clear();
        prior.clear();
        knows_starts.clear();
        knows.clear();
        policy.clear();
    }
};

}  // namespace lessoncover
