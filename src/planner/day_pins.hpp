// A day's pinned covers checked against the day and turned into the planner's pins. A pin
// may put its substitute where the rules never would (teaching, unavailable, at the cap):
// the office checks that and may overrule it. What a pin cannot do is name a lesson that
// needs no cover, a substitute who is not there, or clash with another pin.
#pragma once

#include <cstdint>
#include <string>

#include "planner/day.hpp"
#include "result.hpp"

namespace lessoncover {

// Why a pin was refused: its place in DayPolicy::pins and the reason, which names no
// teacher or class (the caller shows the pin as it was given).
struct PinRefusal {
    std::uint32_t pin;
    std::string reason;
};

// Checks each of day.policy.pins, in order, and writes them to out.input.policy.pins; `out`
// is the day's built input (build_day_input). Refuses a pin whose lesson is not an absent
// lesson of the day that needs cover, whose substitute is not a teacher or is absent in
// the lesson's period, that pins a lesson pinned before, or whose substitute has an earlier
// pin in that period (unless, with lessons combined, for a lesson of the same set).
Result<Done, PinRefusal> pin_lessons(const Day& day, DayInput& out);

}  // namespace lessoncover
