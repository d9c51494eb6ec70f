#include "teacher/teacher.hpp"

#include <charconv>

namespace lessoncover {

void Teacher::add_period(std::int16_t period, std::string_view grade) {
    PeriodGrade pair{period, std::string(grade)};
    periods.insert(std::move(pair));
}

bool Teacher::teaches_in(std::int16_t period) const noexcept {
    for (const PeriodGrade& pair : periods) {
        if (pair.period == period) return true;
    }
    return false;
}

std::string printed_text(const Teacher& teacher) {
    std::string out = "Teacher:\n    {\n        name:";
    out += teacher.name;
    out += " \n        periods: [";
    bool first = true;
    for (const PeriodGrade& pair : teacher.periods) {
        if (!first) out += ", ";
        first = false;
        char digits[8];
        auto end = std::to_chars(digits, digits + sizeof digits, pair.period).ptr;
        std::string item(digits, end);
        item += ':';
        item += pair.grade;
        append_quoted(out, item);
    }
    out += "] \n        subject: ";
    out += display_name(teacher.sub);
    out += "\n        present: ";
    out += teacher.present ? "true" : "false";
    out += "\n    }\n";
    return out;
}

void describe(DebugWriter& writer, const Teacher& teacher) {
    writer.begin_record("Teacher");
    writer.field("name");
    writer.text(teacher.name);
    writer.field("periods");
    writer.begin_set();
    for (const PeriodGrade& pair : teacher.periods) {
        writer.begin_pair();
        writer.integer(pair.period);
        writer.text(pair.grade);
        writer.end();
    }
    writer.end();
    writer.field("sub");
    writer.word(display_name(teacher.sub));
    writer.field("present");
    writer.boolean(teacher.present);
    writer.field("reason_of_absentee");
    writer.text(teacher.reason_of_absentee);
    writer.end();
}

void describe(DebugWriter& writer, const TeacherRef& teacher) {
    describe_handle(writer, teacher, [](DebugWriter& w, const Teacher& t) { describe(w, t); });
}

}  // namespace lessoncover
