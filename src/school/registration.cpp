#include "school/registration.hpp"

#include "reserve_more.hpp"

namespace lessoncover {

Result<Done> register_period(const Teacher& teacher, std::int16_t period, School& school,
                             Class& school_class) {
    const NamedTeacher* found = school.find_teacher(teacher);
    if (found == nullptr) {
        return panic("Teacher not found in existing list. Please add to 'teacher_list.csv'");
    }
    const TeacherRef& handle = found->handle;
    // Room first, so that once the pair is in the record nothing is left to fail.
    reserve_more(school_class.list_of_periods, 2);
    if (found->slot != TeacherList::kNotListed) school.teacher_list.make_room_for_note();
    bool added = false;
    const void* next_pair_place = nullptr;
    {
        const auto record = handle.lock();
        added = record->add_period(period, school_class.class_name);
        next_pair_place = record->periods.next_place();
    }
    school_class.list_of_periods.push_back(PeriodEntry{handle, period});
    school_class.list_of_periods.push_back(PeriodEntry{handle, period});
    if (added) school.note_pair_added(*found, period, next_pair_place);
    return Done{};
}

}  // namespace lessoncover
