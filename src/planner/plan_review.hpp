// A plan of a day looked at as the office looks at it: its figures (how many lessons are
// covered, by whom, how evenly) and, for each cover, why that teacher. Both strategies are
// reviewed alike, so their plans compare figure by figure.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "planner/day.hpp"
#include "planner/plan.hpp"

namespace lessoncover {

// A cover counts as the cap counts it: the lessons of a combined set are one cover, and
// pinned covers are covers. A teacher's load is its prior covers and its covers today.
struct PlanFigures {
    std::uint64_t covered = 0;         // lessons covered, each lesson of a combined set too
    std::uint64_t subject = 0;         // covers by school staff of the absent teacher's subject
    std::uint64_t supply = 0;          // covers by supply staff
    std::uint64_t doubles_kept = 0;    // an absent teacher's lessons of one class in periods p
                                       // and p + 1, both covered by one substitute
    std::uint64_t largest_load = 0;    // over the teachers who cover today; 0 when nobody does
    std::uint64_t sum_of_squares = 0;  // of the loads of every teacher present (part of) the day
    std::uint64_t knows_class = 0;     // covers by a teacher with a lesson in that class that day
                                       // (for a combined set, in any of its classes)
};

class PlanReview {
public:
    PlanReview(const Day& day, const DayInput& built, const Plan& plan);

    const PlanFigures& figures() const noexcept { return figures_; }
    // Why lesson `lesson` (covered) went to its substitute, in a few words: a view of a
    // text of its own or of `text`, which it overwrites.
    std::string_view why(std::uint32_t lesson, std::string& text) const;

private:
    bool knows(std::uint32_t teacher, std::uint32_t class_id) const;  // day teacher, class id

    const Day& day_;
    const DayInput& built_;
    const Plan& plan_;
    std::vector<std::uint32_t> covers_today_;  // by day teacher
    // By lesson: what its substitute held when the greedy rules chose it (lessons, prior
    // covers and covers booked before); 0 where no rule ranked by it.
    std::vector<std::uint64_t> held_when_chosen_;
    // The class of each lesson of a substitute, by teacher: class_starts_[t]..[t + 1].
    std::vector<std::uint32_t> class_starts_;
    std::vector<std::uint32_t> taught_classes_;
    PlanFigures figures_;
};

}  // namespace lessoncover
