#include "planner/day_pins.hpp"

#include <algorithm>
#include <unordered_map>

namespace lessoncover {
namespace {

bool absent_then(const Day& day, std::uint32_t teacher, std::int16_t period) {
    const DayTeacher& listed = day.teachers[teacher];
    if (!listed.present) return true;
    if (!listed.part_day) return false;
    const auto& periods = day.policy.absent_periods;
    return std::find(periods.begin(), periods.end(), std::pair{teacher, period}) != periods.end();
}

bool has_lesson(const Day& day, const DayPin& pin) {
    return std::any_of(day.lessons.begin(), day.lessons.end(), [&](const DayLesson& lesson) {
        return lesson.teacher == pin.absent && lesson.class_id == pin.class_id && lesson.period == pin.period;
    });
}

std::string in_period(std::int16_t period) { return " in period " + std::to_string(period); }

// Why the pin's lesson is not an absent lesson of the day; the day lists none for it.
std::string not_absent_lesson(const Day& day, const DayPin& pin) {
    if (pin.absent == DayPin::kUnknown) return "no such lesson: the absent teacher is not a teacher of the day";
    if (pin.class_id == DayPin::kUnknown) return "no such lesson: no lesson of the day is in that class";
    if (!has_lesson(day, pin)) return "no such lesson: the teacher has none in that class" + in_period(pin.period);
    return "the lesson needs no cover: its teacher is not absent" + in_period(pin.period);
}

}  // namespace

Result<Done, PinRefusal> pin_lessons(const Day& day, DayInput& out) {
    const std::vector<DayPin>& pins = day.policy.pins;
    std::vector<PlanningPin>& planned = out.input.policy.pins;
    planned.clear();
    if (pins.empty()) return Done{};
    const std::vector<LessonLinks>& links = out.input.policy.lessons;
    std::unordered_map<LessonKey, std::uint32_t, LessonKeyHash> absent_lesson;
    for (std::uint32_t lesson = 0; lesson < out.input.lessons.size(); ++lesson) {
        const LessonKey key{out.lesson_absent[lesson], out.lesson_class[lesson], out.input.lessons[lesson].period};
        absent_lesson.emplace(key, lesson);
    }
    std::vector<std::uint32_t> place_of(day.teachers.size());
    for (std::uint32_t place = 0; place < out.list_order.size(); ++place) place_of[out.list_order[place]] = place;
    // The first pin of each lesson, and of each (substitute, period).
    std::unordered_map<std::uint32_t, std::uint32_t> pin_of_lesson;
    std::unordered_map<std::uint64_t, std::uint32_t> pin_of_period;
    const auto set_of = [&](std::uint32_t lesson) {
        return links.empty() || links[lesson].leader == LessonLinks::kNone ? lesson : links[lesson].leader;
    };
    planned.reserve(pins.size());
    for (std::uint32_t index = 0; index < pins.size(); ++index) {
        const DayPin& pin = pins[index];
        const auto refuse = [index](std::string reason) { return PinRefusal{index, std::move(reason)}; };
        const auto found = absent_lesson.find(LessonKey{pin.absent, pin.class_id, pin.period});
        if (found == absent_lesson.end()) return refuse(not_absent_lesson(day, pin));
        const std::uint32_t lesson = found->second;
        const LessonNeed need = links.empty() ? LessonNeed::cover : links[lesson].need;
        if (need == LessonNeed::none_away) return refuse("the lesson needs no cover: its class is away");
        if (need == LessonNeed::none_co_taught) {
            return refuse("the lesson needs no cover: a teacher present then teaches the class too");
        }
        if (pin.substitute == DayPin::kUnknown) return refuse("the substitute is not a teacher of the day");
        if (absent_then(day, pin.substitute, pin.period)) return refuse("the substitute is absent" + in_period(pin.period));
        const auto [same_lesson, first_of_lesson] = pin_of_lesson.emplace(lesson, index);
        if (!first_of_lesson) return refuse("the lesson is pinned already, by pinned[" + std::to_string(same_lesson->second) + "]");
        const auto [same_period, first_in_period] =
            pin_of_period.emplace(period_key(pin.substitute, pin.period), index);
        bool books = true;
        if (!first_in_period) {
            const std::uint32_t other = planned[same_period->second].lesson;
            if (!day.policy.combined_lessons || set_of(other) != set_of(lesson)) {
                return refuse("the substitute has another pin" + in_period(pin.period) + ", pinned[" +
                              std::to_string(same_period->second) + "]");
            }
            books = false;  // one combined set, one cover
        }
        planned.push_back(PlanningPin{lesson, place_of[pin.substitute], books});
    }
    return Done{};
}

}  // namespace lessoncover
