#include "planner/lesson_links.hpp"

#include <algorithm>
#include <unordered_map>

namespace lessoncover {

DayAbsences::DayAbsences(const Day& day) : day_(day) {
    part_day_.reserve(day.policy.absent_periods.size());
    for (const auto& [teacher, period] : day.policy.absent_periods) part_day_.push_back(period_key(teacher, period));
    std::sort(part_day_.begin(), part_day_.end());
    part_day_.erase(std::unique(part_day_.begin(), part_day_.end()), part_day_.end());
}

bool DayAbsences::absent_in(std::uint32_t teacher, std::int16_t period) const {
    const DayTeacher& listed = day_.teachers[teacher];
    return !listed.present ||
           (listed.part_day && std::binary_search(part_day_.begin(), part_day_.end(), period_key(teacher, period)));
}

bool link_lessons(const Day& day, const DayAbsences& absences, DayInput& out, InterruptionCheck& check) {
    const DayPolicy& policy = day.policy;
    const std::size_t count = out.input.lessons.size();
    std::vector<LessonLinks>& links = out.input.policy.lessons;
    links.assign(count, LessonLinks{});
    // Who teaches each (class, period) while present then, the first registered.
    std::unordered_map<std::uint64_t, std::uint32_t> taught_by;
    if (policy.co_taught_no_cover) {
        out.co_teacher.assign(count, DayInput::kNoTeacher);
        for (const DayLesson& lesson : day.lessons) {
            if (check.step()) return false;
            if (absences.absent_in(lesson.teacher, lesson.period)) continue;
            taught_by.emplace(period_key(lesson.class_id, lesson.period), lesson.teacher);
        }
    }
    std::unordered_map<std::uint64_t, std::uint32_t> first_of_set;  // by (absent teacher, period)
    std::unordered_map<LessonKey, std::uint32_t, LessonKeyHash> needing;
    for (std::uint32_t index = 0; index < count; ++index) {
        if (check.step()) return false;
        const std::uint32_t absent = out.lesson_absent[index];
        const std::uint32_t class_id = out.lesson_class[index];
        const std::int16_t period = out.input.lessons[index].period;
        LessonLinks& link = links[index];
        if (!policy.class_away.empty() && policy.class_away[class_id] != 0) {
            link.need = LessonNeed::none_away;
            continue;
        }
        if (policy.co_taught_no_cover) {
            const auto found = taught_by.find(period_key(class_id, period));
            if (found != taught_by.end()) {
                link.need = LessonNeed::none_co_taught;
                out.co_teacher[index] = found->second;
                continue;
            }
        }
        if (policy.combined_lessons) {
            const auto [first, made] = first_of_set.emplace(period_key(absent, period), index);
            if (!made) link.leader = first->second;
        }
        if (policy.keep_doubles) needing.emplace(LessonKey{absent, class_id, period}, index);
    }
    if (!policy.keep_doubles) return true;
    for (std::uint32_t index = 0; index < count; ++index) {
        if (check.step()) return false;
        if (links[index].need != LessonNeed::cover) continue;
        const std::uint32_t absent = out.lesson_absent[index];
        const std::uint32_t class_id = out.lesson_class[index];
        const std::int16_t period = out.input.lessons[index].period;
        const auto find = [&](int neighbour) {
            const auto found = needing.find(LessonKey{absent, class_id, static_cast<std::int16_t>(neighbour)});
            return found == needing.end() ? LessonLinks::kNone : found->second;
        };
        if (period > INT16_MIN) links[index].before = find(period - 1);
        if (period < INT16_MAX) links[index].after = find(period + 1);
    }
    return true;
}

}  // namespace lessoncover
