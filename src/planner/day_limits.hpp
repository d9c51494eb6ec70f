// The bounds of what a day may say, stated once for every reader of a day to check and to
// show: the periods a lesson may have, and the covers a teacher may have given before.
#pragma once

#include <cstdint>
#include <limits>

#include "planner/day.hpp"

namespace lessoncover {

// A period is whatever a lesson's period holds.
using Period = decltype(DayLesson::period);
inline constexpr Period kPeriodMin = std::numeric_limits<Period>::min();
inline constexpr Period kPeriodMax = std::numeric_limits<Period>::max();

// The largest number of covers a teacher may be said to have given before: with its
// lessons it still fits the planner's 32-bit count (see DayPolicy::prior_covers).
inline constexpr std::uint32_t kMostPriorCovers = 0x7fffffffU;

}  // namespace lessoncover
