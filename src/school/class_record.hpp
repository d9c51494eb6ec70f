// The class record: a class's name and the (teacher, period) entries taught in it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "debug_text.hpp"
#include "interruption.hpp"
#include "result.hpp"
#include "shared_record.hpp"
#include "teacher/teacher.hpp"

namespace lessoncover {

struct PeriodEntry {
    TeacherRef teacher;
    std::int16_t period;
};

struct Class {
    std::string class_name;
    std::vector<PeriodEntry> list_of_periods;  // in order of registration; repeats allowed
};

using ClassRef = SharedRecord<Class>;

// The text str() gives: the quoted name, a blank, and the entries in pretty form.
std::string printed_text(const Class& school_class);
// The same, stopping with `interrupted` when the interruption asks.
Result<std::string> printed_text(const Class& school_class, Interruption& interruption);

void describe(DebugWriter& writer, const Class& school_class);
void describe(DebugWriter& writer, const ClassRef& school_class);

}  // namespace lessoncover
