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
#include "teacher/teacher_indices.hpp"

namespace lessoncover {

struct GenerationSpace {
    PlanningInput input;             // its lessons are kept as classes are added
    std::vector<TeacherSlot> slots;  // by list place, which is the teacher's place in input.teachers
    CoverPlanner planner;
    Plan plan;
    RenderSpace rendering;  // its covered lessons are also those apply writes

    // The list slot of the teacher at `place`; a planner's teacher number is that place.
    TeacherSlot slot_of(ListPlace place) const noexcept { return slots[place.value]; }

    // Room for one teacher more, of whom `present_teachers` are present.
    void make_room_for_teacher(std::size_t present_teachers) {
        input.teachers.emplace_back();
        slots.emplace_back();
        planner.make_room(present_teachers);
    }
    // Room for a decision, a cover and its name for each of `lessons` lessons.
    void make_room_for_lessons(std::size_t lessons) {
        grow_to(plan.decisions, lessons);
        grow_to(rendering.covered, lessons);
        grow_to(rendering.names, lessons);
    }

private:
    template <class Vector>
    static void grow_to(Vector& vector, std::size_t size) {
        if (vector.size() < size) vector.resize(size);
    }
};

}  // namespace lessoncover
