#include "school/school.hpp"

#include <algorithm>

#include "school/subject_table.hpp"

namespace lessoncover {

void School::add_teacher(const Teacher& teacher) {
    if (teacher_hashtable.contains(std::string_view(teacher.name))) return;
    TeacherRef copy{Teacher(teacher)};
    teacher_list.push_back(copy);
    teacher_hashtable.emplace(teacher.name, std::move(copy));
}

void School::add_class(const Class& school_class) {
    class_list.emplace_back(Class(school_class));
    sort_by_period_count(teacher_list);
}

void School::add_to_hashmap(std::string_view name, Teacher teacher) {
    TeacherRef handle{std::move(teacher)};
    auto found = teacher_hashtable.find(name);
    if (found != teacher_hashtable.end()) {
        found->second = std::move(handle);
    } else {
        teacher_hashtable.emplace(std::string(name), std::move(handle));
    }
}

void sort_by_period_count(std::vector<TeacherRef>& teachers) {
    // Each count is read once under its teacher's lock; the sort then needs no locks.
    std::vector<std::pair<std::size_t, TeacherRef>> counted;
    counted.reserve(teachers.size());
    for (TeacherRef& teacher : teachers) {
        const std::size_t count = teacher.lock()->periods.size();
        counted.emplace_back(count, std::move(teacher));
    }
    std::stable_sort(counted.begin(), counted.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < counted.size(); ++i) teachers[i] = std::move(counted[i].second);
}

std::string printed_text(const School& school) {
    DebugWriter teachers(DebugStyle::pretty);
    teachers.begin_list();
    for (const TeacherRef& teacher : school.teacher_list) describe(teachers, teacher);
    teachers.end();

    DebugWriter classes(DebugStyle::pretty);
    classes.begin_list();
    for (const ClassRef& school_class : school.class_list) describe(classes, school_class);
    classes.end();

    DebugWriter table(DebugStyle::compact);
    SubjectTable::build(school.teacher_list).describe(table);

    std::string out = "List of teachers: ";
    out += teachers.text_so_far();
    out += "\nList of classes:";
    out += classes.text_so_far();
    out += "\nTeacher_hashtable ";
    out += table.text_so_far();
    return out;
}

}  // namespace lessoncover
