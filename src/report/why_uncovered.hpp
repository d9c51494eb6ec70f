// Why a lesson went without cover, and why one needed none, in the words the plan's
// records give: facts the planner counted, put into one sentence each.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "planner/plan.hpp"

namespace lessoncover {

// The teachers present in a period, each counted once in the first group that fits (see
// Uncovered). Wider than the planner's counts: a record made by hand may say anything.
struct BusyCounts {
    std::int64_t present;
    std::int64_t teaching;
    std::int64_t covering;
    std::int64_t unavailable;
    std::int64_t at_cap;
};

BusyCounts busy_counts(const Uncovered& uncovered) noexcept;

// "all 5 present teachers are busy in period 2: 3 teach, 2 cover, 1 unavailable", "the
// only present teacher is busy in period 3: teaches", "no teacher is present".
std::string why_uncovered(std::int64_t period, const BusyCounts& counts);

// "class 10A is away" for Rule::away; "Ben also teaches 10A in period 3" for
// Rule::co_taught, `co_teacher` naming the colleague.
std::string why_not_needed(Rule rule, std::int64_t period, std::string_view class_name,
                           std::string_view co_teacher);

}  // namespace lessoncover
