// What the planner decided: one decision per absent lesson, in the input's order, with the
// rule that chose each substitute, and the facts behind each lesson nobody could take.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace lessoncover {

enum class Rule : std::uint8_t {
    subject,    // the free colleague of the subject with the fewest lessons
    any,        // the first free present teacher in list order
    uncovered,  // nobody was free
    // With a policy (see PlanningPolicy):
    double_lesson,  // the substitute of the same class's lesson in the period before or after
    combined,       // the substitute of the absent teacher's first lesson in the same period
    away,           // not needed: the class is away
    co_taught,      // not needed: a present teacher teaches the class then too
    pinned,         // the substitute the office fixed in advance
    supply,         // supply staff, paid by the cover: after everyone of the school
};
// How many rules there are, for tables by rule: a rule added goes last, and is named here.
inline constexpr std::size_t kRuleCount = static_cast<std::size_t>(Rule::supply) + 1;

std::string_view rule_name(Rule rule) noexcept;

struct Decision {
    static constexpr std::uint32_t kNobody = static_cast<std::uint32_t>(-1);
    std::uint32_t substitute;  // the teacher's place in the input, kNobody when uncovered
    Rule rule;
};

// Why a lesson went uncovered: of the teachers present in that period, how many teach
// then, cover then in this run, may not cover then, or have given as many covers as the
// policy allows. Each present teacher is counted once, in the first group that fits, and
// every one of them fits one; a substitute pinned in that period covers then, whatever
// else it might do. Without a policy the last two are 0.
struct Uncovered {
    std::uint32_t lesson;
    std::uint32_t present_teachers;
    std::uint32_t busy_teaching;
    std::uint32_t busy_covering;
    std::uint32_t busy_unavailable = 0;
    std::uint32_t at_cap = 0;
};

struct Plan {
    std::vector<Decision> decisions;  // by lesson
    std::vector<Uncovered> uncovered;  // in lesson order
    std::size_t covered = 0;
    std::size_t not_needed = 0;

    void clear() {
        decisions.clear();
        uncovered.clear();
        covered = 0;
        not_needed = 0;
    }
};

}  // namespace lessoncover
