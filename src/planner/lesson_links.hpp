// What a policy says of each absent lesson of a day, before any cover is chosen: the
// facts the rules of CoverPlanner::decide read, found in one place.
//   - away: its class is away; it needs no cover.
//   - co-taught (with co_taught_no_cover): a teacher present in its period teaches its
//     class then too (the first such lesson registered is named); it needs no cover.
//   - combined (with combined_lessons): of the absent teacher's lessons in one period
//     that need cover, the first leads the set; the others follow it.
//   - double (with keep_doubles): the absent teacher's lessons in the same class a period
//     before and after, among those that need cover.
#pragma once

#include <cstdint>
#include <vector>

#include "interruption.hpp"
#include "planner/day.hpp"

namespace lessoncover {

// Who of a day is absent when: all day, or in the periods of a part-day absence.
class DayAbsences {
public:
    explicit DayAbsences(const Day& day);
    bool absent_in(std::uint32_t teacher, std::int16_t period) const;

private:
    const Day& day_;
    std::vector<std::uint64_t> part_day_;  // period_key of each part-day absence, sorted
};

// Writes out.input.policy.lessons (and out.co_teacher with co_taught_no_cover) for the
// absent lessons of `out`, built from `day`; false when `check` stopped it part way.
bool link_lessons(const Day& day, const DayAbsences& absences, DayInput& out, InterruptionCheck& check);

}  // namespace lessoncover
