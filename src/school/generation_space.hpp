// The memory a school's generation works in. A school keeps it between runs and grows it
// as teachers and absent lessons are added, so that a run finds its working memory in
// place rather than asking the system for fresh pages while it plans.
#pragma once

#include <cstdint>
#include <vector>

#include "planner/decide.hpp"
#include "planner/plan.hpp"
#include "planner/planning_input.hpp"
#include "report/report.hpp"

namespace lessoncover {

struct GenerationSpace {
    PlanningInput input;                  // its lessons are kept as classes are added
    std::vector<std::uint32_t> slots;     // by place in input.teachers: the teacher list's slot
    CoverPlanner planner;
    Plan plan;
    RenderSpace rendering;  // its covered lessons are also those apply writes
};

}  // namespace lessoncover
