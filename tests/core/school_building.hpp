// What the core's checks build schools with: one large enough that adding its class,
// printing it and generating take many steps of an interruption check, the smallest with
// a cover to give, and reports compared without their timing lines.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "school/class_record.hpp"
#include "school/school.hpp"
#include "teacher/teacher.hpp"

namespace lessoncover {

// `teachers` teachers, a third absent, and a class with lessons of each in half of `periods`
// periods.
inline void build_school(School& school, Class& hall, int teachers, int periods) {
    for (int i = 0; i < teachers; ++i) {
        std::string name = "T";  // appended, not "T" + ...: GCC 12 warns falsely of that at -O3
        name += std::to_string(i);
        Teacher teacher(std::move(name), i % 2 == 0 ? Subjects::Maths : Subjects::Physics, i % 3 != 0);
        school.add_teacher(teacher);
        for (std::int16_t period = 0; period < periods; ++period) {
            if ((i + period) % 2 == 0) continue;
            (void)school.register_period(teacher, period, hall);
        }
    }
}

// The smallest school with a cover to give: Asha, absent, and Ben, present, both of Maths.
// Gives Asha, whose lessons the caller registers.
inline Teacher add_asha_and_ben(School& school) {
    Teacher absent("Asha", Subjects::Maths, false);
    school.add_teacher(absent);
    school.add_teacher(Teacher("Ben", Subjects::Maths, true));
    return absent;
}

// A report without its timing line, which differs from run to run.
inline std::string without_timing(const std::string& report) { return report.substr(0, report.rfind('\n')); }

}  // namespace lessoncover
