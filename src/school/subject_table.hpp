// The present teachers of a school grouped by subject: where generation finds its
// candidates, and what a school prints under "Teacher_hashtable".
#pragma once

#include <array>
#include <optional>
#include <span>
#include <vector>

#include "debug_text.hpp"
#include "teacher/teacher.hpp"

namespace lessoncover {

// Every subject of a listed teacher has an entry, empty when all its teachers are absent.
// Subjects are few and dense, so the table is indexed by subject rather than hashed.
class SubjectTable {
public:
    // Teachers present now, each subject's list in the order of `teachers`.
    static SubjectTable build(std::span<const TeacherRef> teachers);

    // The subject's present teachers, or nothing when no listed teacher has that subject.
    const std::vector<TeacherRef>* find(Subjects subject) const noexcept;

    bool empty() const noexcept;

    // A map from subject display name to the list of teacher handles.
    void describe(DebugWriter& writer) const;

private:
    std::array<std::optional<std::vector<TeacherRef>>, kSubjectCount> by_subject_;
};

}  // namespace lessoncover
