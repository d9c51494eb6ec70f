// The present teachers of a school grouped by subject, as a school prints them under
// "Teacher_hashtable". (Generation keeps its own candidate pools: see src/planner.)
#pragma once

#include <array>
#include <optional>
#include <span>
#include <vector>

#include "debug_text.hpp"
#include "interruption.hpp"
#include "teacher/teacher.hpp"

namespace lessoncover {

// Every subject of a listed teacher has an entry, empty when all its teachers are absent.
// Subjects are few and dense, so the table is indexed by subject rather than hashed.
class SubjectTable {
public:
    // Teachers present now, each subject's list in the order of `teachers`; counted on
    // `check`, and cut short when it stops.
    static SubjectTable build(std::span<const TeacherRef> teachers, InterruptionCheck& check);

    // A map from subject display name to the list of teacher handles.
    void describe(DebugWriter& writer) const;

private:
    std::array<std::optional<std::vector<TeacherRef>>, kSubjectCount> by_subject_;
};

}  // namespace lessoncover
