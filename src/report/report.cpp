#include "report/report.hpp"

#include <charconv>

namespace lessoncover::report_detail {

std::string quoted_missing_text(const Plan& plan, const LessonTexts& lessons) {
    std::string lines;
    for (const Uncovered& uncovered : plan.uncovered) {
        lines += "Couldnt find a substitution for ";
        lines += lessons.absent_name(uncovered.lesson);
        lines += " at ";
        char digits[8];
        lines.append(digits, std::to_chars(digits, digits + sizeof digits, lessons.period(uncovered.lesson)).ptr);
        lines += '-';
        append_quoted(lines, lessons.class_name(uncovered.lesson));
        lines += '\n';
    }
    std::string quoted;
    append_quoted(quoted, lines);
    return quoted;
}

}  // namespace lessoncover::report_detail
