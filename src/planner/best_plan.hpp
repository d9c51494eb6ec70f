// The best plan of a day: not one lesson after another, as CoverPlanner decides, but the
// plan that is best over the whole day, compared level by level (each level counts only
// among the plans best on the levels before it):
//   1. the most lessons covered;
//   2. with keep_doubles, the most doubles kept (both halves by one substitute);
//   3. the fewest covers by supply staff;
//   4. the most covers by school staff of the absent teacher's subject;
//   5. the smallest largest load (prior covers and covers today) of a teacher who covers;
//   6. the smallest sum of the squares of the loads;
//   7. the most covers by a teacher who teaches that class that day;
//   8. ties broken by the order in which the flow reads the input (lessons in report
//      order, teachers in list order): the same input always gives the same plan, though
//      not always the tied teacher first in list order.
// It keeps the same hard limits as the rules: free in the period, one cover a period, the
// cap, pins first, a combined set as one cover, lessons that need no cover left alone.
//
// How: without doubles, levels 1, 3, 4, 6 and 7 are one minimum-cost maximum flow (see
// best_flow.hpp) from each lesson, through a hub per (period, subject) and per period for
// anyone (and straight arcs to teachers who know the class), to a node per teacher and
// period (one cover a period), to the teacher (cap, and a convex cost per cover for the
// squares), to the sink. Level 5 is a search for the smallest bound on the loads under
// which levels 1-4 stay as good. Doubles couple two periods, which no flow can say: the
// flow's plan is improved by moves that keep every lesson covered and keep more doubles,
// those doubles are then fixed, and the flow plans the rest again. That is a local search,
// not a proof: level 2 is as good as no single move can better.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "interruption.hpp"
#include "planner/best_flow.hpp"
#include "planner/plan.hpp"
#include "planner/planning_input.hpp"

namespace lessoncover {

class BestPlanner {
public:
    void decide(const PlanningInput& input, Plan& plan);
    // The same, counting the work on `check`: when it stops, the plan is left empty.
    void decide(const PlanningInput& input, Plan& plan, InterruptionCheck& check);

private:
    static constexpr std::uint32_t kNone = static_cast<std::uint32_t>(-1);
    static constexpr std::uint32_t kNoBound = static_cast<std::uint32_t>(-1);

    // A cover to plan: a lesson, or the first lesson of a combined set and its followers.
    struct Unit {
        std::uint32_t lesson;
        PeriodCodes::Code code;
        SubjectId subject;
        std::uint32_t size;         // lessons covered with it
        std::uint32_t knows_start;  // its teachers who know one of its classes, in knows_
        std::uint32_t knows_end;
    };

    // What a flow gives: the substitute of each unit (kNone), and how good it is.
    struct Solved {
        std::int64_t units = 0;
        LexCost cost;
        std::uint32_t largest_load = 0;  // of a teacher who covers; read without every level
    };

    void read_day(const PlanningInput& input);
    bool free_in(std::uint32_t teacher, std::size_t code) const;
    bool solve(std::uint32_t bound, bool every_level, Solved& solved, InterruptionCheck& check);
    bool plan_units(InterruptionCheck& check);
    bool keep_doubles(InterruptionCheck& check);
    std::uint32_t substitute_of(std::uint32_t lesson) const;
    std::int64_t doubles_around(std::initializer_list<std::uint32_t> lessons) const;
    void write_plan(Plan& plan);

    const PlanningInput* input_ = nullptr;
    std::size_t words_ = 1;
    std::vector<Unit> units_;
    std::vector<std::uint32_t> unit_of_lesson_;  // by lesson: its unit, or kNone
    std::vector<std::uint32_t> knows_;
    std::vector<std::uint64_t> busy_;        // by teacher, as PlanningInput::busy: not free to cover
    std::vector<std::uint32_t> fixed_of_lesson_;  // by lesson: a substitute fixed before the flow
    std::vector<std::uint32_t> fixed_covers_;     // by teacher: covers fixed before the flow
    std::vector<std::uint32_t> substitute_;       // by unit, kNone when uncovered
    std::vector<std::uint32_t> double_kept_;      // by lesson: the neighbour that keeps it a double
    LexFlow flow_;
    std::vector<LexFlow::Arc> unit_arcs_;  // scratch
    std::vector<std::pair<std::uint32_t, LexFlow::Arc>> sink_arcs_;  // scratch: (teacher, its arc to the sink)
};

}  // namespace lessoncover
