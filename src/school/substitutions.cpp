#include "school/substitutions.hpp"

#include <chrono>
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "debug_text.hpp"
#include "school/duration_text.hpp"
#include "school/subject_table.hpp"

namespace lessoncover {
namespace {

// (absent teacher's record, period) pairs already handled in the class being walked:
// registration stores each lesson twice, and a lesson is planned once.
struct HandledLesson {
    const void* teacher;
    std::int16_t period;
    bool operator==(const HandledLesson&) const = default;
};

struct HandledLessonHash {
    std::size_t operator()(const HandledLesson& lesson) const noexcept {
        const auto address = reinterpret_cast<std::uintptr_t>(lesson.teacher);
        return std::hash<std::uintptr_t>{}(address ^ (std::uintptr_t{static_cast<std::uint16_t>(lesson.period)} << 48));
    }
};

struct AbsentLesson {
    std::string teacher_name;
    std::int16_t period;
    Subjects subject;
    std::string reason;
    const std::string& class_name;
};

class CoverPlanner {
public:
    CoverPlanner(School& school, SubjectTable table) : school_(school), table_(std::move(table)) {}

    void plan_class(const Class& school_class) {
        std::unordered_set<HandledLesson, HandledLessonHash> handled;
        for (const PeriodEntry& entry : school_class.list_of_periods) {
            if (entry.teacher.lock()->present) continue;
            if (!handled.insert(HandledLesson{entry.teacher.identity(), entry.period}).second) continue;
            plan_lesson(entry, school_class.class_name);
        }
    }

    std::string& report() noexcept { return report_; }
    const std::string& missing() const noexcept { return missing_; }

private:
    void plan_lesson(const PeriodEntry& entry, const std::string& class_name) {
        AbsentLesson lesson = [&] {
            const auto absent = entry.teacher.lock();
            return AbsentLesson{absent->name, entry.period, absent->sub, absent->reason_of_absentee,
                                class_name};
        }();
        if (const TeacherRef* substitute = free_colleague(lesson)) {
            cover(lesson, *substitute);
        } else if (const TeacherRef* anyone = free_present_teacher(lesson.period)) {
            cover(lesson, *anyone);
        } else {
            missing_ += "Couldnt find a substitution for ";
            missing_ += lesson.teacher_name;
            missing_ += " at ";
            missing_ += std::to_string(lesson.period);
            missing_ += '-';
            append_quoted(missing_, class_name);
            missing_ += '\n';
        }
    }

    // The free present teacher of the same subject with the fewest periods, the earlier
    // in the school's list on equal counts.
    const TeacherRef* free_colleague(const AbsentLesson& lesson) {
        const std::vector<TeacherRef>* colleagues = table_.find(lesson.subject);
        if (colleagues == nullptr) return nullptr;
        candidates_ = *colleagues;
        sort_by_period_count(candidates_);
        for (const TeacherRef& candidate : candidates_) {
            if (!candidate.lock()->teaches_in(lesson.period)) return &candidate;
        }
        return nullptr;
    }

    const TeacherRef* free_present_teacher(std::int16_t period) const {
        for (const TeacherRef& teacher : school_.teacher_list) {
            const auto locked = teacher.lock();
            if (locked->present && !locked->teaches_in(period)) return &teacher;
        }
        return nullptr;
    }

    void cover(const AbsentLesson& lesson, const TeacherRef& substitute) {
        const auto locked = substitute.lock();
        locked->add_period(lesson.period, lesson.class_name);
        append_csv_field(report_, lesson.teacher_name);
        report_ += ',';
        report_ += std::to_string(lesson.period);
        report_ += ',';
        report_ += display_name(lesson.subject);
        report_ += ',';
        append_csv_field(report_, locked->name);
        report_ += ',';
        append_csv_field(report_, lesson.class_name);
        report_ += ',';
        append_csv_field(report_, lesson.reason);
        report_ += '\n';
    }

    School& school_;
    SubjectTable table_;
    std::vector<TeacherRef> candidates_;
    std::string report_{kReportHeader};
    std::string missing_;
};

}  // namespace

void append_csv_field(std::string& out, std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

std::string generate_substitutions(School& school) {
    const auto started = std::chrono::steady_clock::now();
    CoverPlanner planner(school, SubjectTable::build(school.teacher_list));
    for (const ClassRef& class_handle : school.class_list) {
        const auto school_class = class_handle.lock();
        planner.plan_class(*school_class);
    }
    std::string timing = "Time taken to generate subs: ";
    timing += duration_text(std::chrono::steady_clock::now() - started);

    std::string out = std::move(planner.report());
    out += '\n';
    append_quoted(out, planner.missing());
    out += '\n';
    append_quoted(out, timing);
    return out;
}

}  // namespace lessoncover
