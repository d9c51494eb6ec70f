#include "school/registration.hpp"

namespace lessoncover {

Result<Done> register_period(const Teacher& teacher, std::int16_t period, School& school,
                             Class& school_class) {
    const auto found = school.teacher_hashtable.find(std::string_view(teacher.name));
    if (found == school.teacher_hashtable.end()) {
        return panic("Teacher not found in existing list. Please add to 'teacher_list.csv'");
    }
    const TeacherRef& handle = found->second;
    school_class.list_of_periods.push_back(PeriodEntry{handle, period});
    handle.lock()->add_period(period, school_class.class_name);
    school_class.list_of_periods.push_back(PeriodEntry{handle, period});
    return Done{};
}

}  // namespace lessoncover
