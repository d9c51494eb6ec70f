// Registration of a lesson: who teaches which class in which period.
#pragma once

#include <cstdint>

#include "result.hpp"
#include "school/class_record.hpp"
#include "school/school.hpp"
#include "teacher/teacher.hpp"

namespace lessoncover {

// The pair (period, class name) goes to the school's copy of the teacher, found by name,
// and the entry (that copy, period) to the class, twice. An unknown name changes nothing.
Result<Done> register_period(const Teacher& teacher, std::int16_t period, School& school,
                             Class& school_class);

}  // namespace lessoncover
