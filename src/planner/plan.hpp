// What the planner decided: one decision per absent lesson, in the input's order, with the
// rule that chose each substitute, and the facts behind each lesson nobody could take.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace lessoncover {

enum class Rule : std::uint8_t {
    subject,    // the free colleague of the subject with the fewest lessons
    any,        // the first free present teacher in list order
    uncovered,  // nobody was free
};

std::string_view rule_name(Rule rule) noexcept;

struct Decision {
    static constexpr std::uint32_t kNobody = static_cast<std::uint32_t>(-1);
    std::uint32_t substitute;  // the teacher's place in the input, kNobody when uncovered
    Rule rule;
};

// Why a lesson went uncovered: of the teachers present, how many teach in that period
// and how many cover in it in this run. Every present teacher does one or the other.
struct Uncovered {
    std::uint32_t lesson;
    std::uint32_t present_teachers;
    std::uint32_t busy_teaching;
    std::uint32_t busy_covering;
};

struct Plan {
    std::vector<Decision> decisions;  // by lesson
    std::vector<Uncovered> uncovered;  // in lesson order
    std::size_t covered = 0;

    void clear() {
        decisions.clear();
        uncovered.clear();
        covered = 0;
    }
};

}  // namespace lessoncover
