#include "school/registration.hpp"

namespace lessoncover {

Result<Done> register_period(const Teacher& teacher, std::int16_t period, School& school,
                             Class& school_class) {
    const NamedTeacher* found = school.find_teacher(teacher);
    if (found == nullptr) {
        return panic("Teacher not found in existing list. Please add to 'teacher_list.csv'");
    }
    const TeacherRef& handle = found->handle;
    school_class.list_of_periods.push_back(PeriodEntry{handle, period});
    const bool added = handle.lock()->add_period(period, school_class.class_name);
    school_class.list_of_periods.push_back(PeriodEntry{handle, period});
    if (added) school.note_pair_added(*found, period);
    return Done{};
}

}  // namespace lessoncover
