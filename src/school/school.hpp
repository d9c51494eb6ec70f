// The school registry: its own copies of teachers and classes, behind shared handles.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "result.hpp"
#include "school/class_record.hpp"
#include "seeded_hash.hpp"
#include "teacher/teacher.hpp"

namespace lessoncover {

struct School {
    // Finds teachers by name for registration; may hold aliases not in teacher_list.
    std::unordered_map<std::string, TeacherRef, SeededTextHash, std::equal_to<>> teacher_hashtable;
    // Every handle made by add_teacher, once each, kept sorted by number of periods.
    std::vector<TeacherRef> teacher_list;
    std::vector<ClassRef> class_list;  // in order of add_class

    // Copies the teacher in, unless a teacher of that name is already known.
    void add_teacher(const Teacher& teacher);
    // Copies the class in (sharing its entries' teacher handles) and re-sorts the teachers.
    void add_class(const Class& school_class);
    // Files a copy of `teacher` under `name`, replacing what was there; the list is unchanged.
    void add_to_hashmap(std::string_view name, Teacher teacher);
};

// Stable sort by the number of (period, grade) pairs each teacher holds now.
void sort_by_period_count(std::vector<TeacherRef>& teachers);

// The text str() gives: teachers, classes and the table of present teachers by subject.
std::string printed_text(const School& school);

}  // namespace lessoncover
