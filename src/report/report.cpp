#include "report/report.hpp"

#include <charconv>

namespace lessoncover::report_detail {

// Each line is escaped as it is made: the escaped lines, one after another, are the
// escaped text of all of them.
std::string quoted_missing_text(const Plan& plan, const LessonTexts& lessons, InterruptionCheck& check) {
    std::string quoted = "\"";
    std::string line;
    for (const Uncovered& uncovered : plan.uncovered) {
        if (check.step()) break;
        line = "Couldnt find a substitution for ";
        line += lessons.absent_name(uncovered.lesson);
        line += " at ";
        char digits[8];
        line.append(digits, std::to_chars(digits, digits + sizeof digits, lessons.period(uncovered.lesson)).ptr);
        line += '-';
        append_quoted(line, lessons.class_name(uncovered.lesson));
        line += '\n';
        append_escaped(quoted, line);
    }
    quoted += '"';
    return quoted;
}

}  // namespace lessoncover::report_detail
