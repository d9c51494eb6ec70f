// The memory generation works in. A school keeps it between runs and grows it as teachers
// and absent lessons are added, writing it as it grows, so that a run finds its working
// memory in place rather than asking the system for fresh pages while it plans.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "teacher/subjects.hpp"

namespace lessoncover {

struct AbsentLesson;

// A present teacher of the school's list, who may cover lessons. Kept small: a large
// school has many, and they are written once and read at random.
struct Candidate {
    std::uint64_t small_periods;  // bit p: busy in period p, covers of this run included
    std::size_t count;            // pairs held, covers of this run included
    std::uint32_t slot;           // in the teacher list
    Subjects sub;
};

// A decided cover, written into the records and the report after planning.
struct Cover {
    const AbsentLesson* lesson;
    std::uint32_t substitute;  // the slot in the teacher list
    bool quoted_name = false;  // whether the report quotes the substitute's name
    std::string_view name;     // the substitute's, noted when the cover goes into the record
};

struct GenerationSpace {
    std::vector<Candidate> candidates;  // room for every present teacher of the list
    std::vector<Cover> covers;          // room for a cover of every absent lesson
};

}  // namespace lessoncover
