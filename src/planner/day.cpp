#include "planner/day.hpp"

#include <algorithm>
#include <bitset>
#include <memory>

namespace lessoncover {
namespace {

// The indexes of `lessons` grouped by key(lesson) in key order, each group in lesson
// order: a counting sort. starts[k]..starts[k+1] is group k.
template <class Key>
void group_lessons(const std::vector<DayLesson>& lessons, std::size_t keys, Key key, std::vector<std::uint32_t>& starts,
                   std::vector<std::uint32_t>& grouped) {
    starts.assign(keys + 1, 0);
    for (const DayLesson& lesson : lessons) ++starts[key(lesson) + 1];
    for (std::size_t k = 0; k < keys; ++k) starts[k + 1] += starts[k];
    grouped.resize(lessons.size());
    std::vector<std::uint32_t> next(starts.begin(), starts.end() - 1);
    for (std::size_t i = 0; i < lessons.size(); ++i) grouped[next[key(lessons[i])]++] = static_cast<std::uint32_t>(i);
}

// Removes repeats from `items`, keeping first occurrences in order.
template <class Item>
void keep_first_occurrences(std::vector<Item>& items) {
    constexpr std::size_t kDirectLimit = 32;
    if (items.size() <= kDirectLimit) {
        std::size_t kept = 0;
        for (const Item& item : items) {
            if (std::find(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(kept), item) ==
                items.begin() + static_cast<std::ptrdiff_t>(kept)) {
                items[kept++] = item;
            }
        }
        items.resize(kept);
        return;
    }
    std::vector<std::pair<Item, std::size_t>> sorted;
    sorted.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) sorted.emplace_back(items[i], i);
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::size_t> firsts;
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        if (i == 0 || !(sorted[i].first == sorted[i - 1].first)) firsts.push_back(sorted[i].second);
    }
    std::sort(firsts.begin(), firsts.end());
    std::vector<Item> kept;
    kept.reserve(firsts.size());
    for (const std::size_t first : firsts) kept.push_back(items[first]);
    items = std::move(kept);
}

}  // namespace

void build_day_input(const Day& day, DayInput& out) {
    PlanningInput& input = out.input;
    input.clear();
    out.texts.clear();
    out.list_order.clear();
    out.lesson_absent.clear();
    out.lesson_class.clear();
    const std::size_t teacher_count = day.teachers.size();

    // The absent lessons: class by class, each (teacher, period) once per class.
    std::vector<std::uint32_t> starts;
    std::vector<std::uint32_t> grouped;
    group_lessons(day.lessons, day.classes.size(), [](const DayLesson& l) { return l.class_id; }, starts, grouped);
    PeriodCodes codes;  // the absent lessons' periods get codes first: only they are asked about
    std::vector<std::pair<std::uint32_t, std::int16_t>> in_class;
    for (std::size_t class_id = 0; class_id < day.classes.size(); ++class_id) {
        in_class.clear();
        for (std::uint32_t at = starts[class_id]; at < starts[class_id + 1]; ++at) {
            const DayLesson& lesson = day.lessons[grouped[at]];
            if (!day.teachers[lesson.teacher].present) in_class.emplace_back(lesson.teacher, lesson.period);
        }
        keep_first_occurrences(in_class);
        for (const auto& [teacher_index, period] : in_class) {
            const DayTeacher& teacher = day.teachers[teacher_index];
            input.lessons.push_back(PlanningLesson{period, codes.code_for(period), teacher.subject});
            out.texts.append(teacher.name, period, day.subjects[teacher.subject], day.classes[class_id], teacher.reason);
            out.lesson_absent.push_back(teacher_index);
            out.lesson_class.push_back(static_cast<std::uint32_t>(class_id));
        }
    }

    // Each teacher's distinct (period, class) pairs: their number and busy periods.
    group_lessons(day.lessons, teacher_count, [](const DayLesson& l) { return l.teacher; }, starts, grouped);
    std::vector<std::uint32_t> loads(teacher_count, 0);
    std::vector<std::uint64_t> busy(teacher_count, 0);
    std::unique_ptr<std::bitset<std::size_t{1} << 16>> uncoded_wanted;
    for (const PlanningLesson& lesson : input.lessons) {
        if (lesson.code != PeriodCodes::kNoCode) continue;
        if (uncoded_wanted == nullptr) uncoded_wanted = std::make_unique<std::bitset<std::size_t{1} << 16>>();
        uncoded_wanted->set(static_cast<std::uint16_t>(lesson.period));
    }
    std::vector<std::pair<std::int16_t, std::uint32_t>> pairs;
    std::vector<std::pair<std::uint32_t, std::int16_t>> uncoded;  // (teacher, period)
    for (std::size_t teacher = 0; teacher < teacher_count; ++teacher) {
        pairs.clear();
        for (std::uint32_t at = starts[teacher]; at < starts[teacher + 1]; ++at) {
            const DayLesson& lesson = day.lessons[grouped[at]];
            pairs.emplace_back(lesson.period, lesson.class_id);
        }
        keep_first_occurrences(pairs);
        loads[teacher] = static_cast<std::uint32_t>(pairs.size());
        for (const auto& [period, class_id] : pairs) {
            const PeriodCodes::Code code = codes.code_of(period);
            if (code != PeriodCodes::kNoCode) {
                busy[teacher] |= std::uint64_t{1} << code;
            } else if (uncoded_wanted != nullptr && uncoded_wanted->test(static_cast<std::uint16_t>(period))) {
                uncoded.emplace_back(static_cast<std::uint32_t>(teacher), period);
            }
        }
    }

    // List order: the school's order, stably sorted by number of pairs.
    std::vector<std::uint64_t> by_load(teacher_count);
    for (std::size_t teacher = 0; teacher < teacher_count; ++teacher) {
        by_load[teacher] = (std::uint64_t{loads[teacher]} << 32) | teacher;
    }
    std::sort(by_load.begin(), by_load.end());
    std::vector<std::uint32_t> place_of(teacher_count);
    input.teachers.resize(teacher_count);
    out.list_order.resize(teacher_count);
    input.present_by_subject.assign(day.subjects.size(), 0);
    for (std::size_t place = 0; place < teacher_count; ++place) {
        const auto teacher = static_cast<std::uint32_t>(by_load[place] & 0xffffffffU);
        const DayTeacher& listed = day.teachers[teacher];
        input.teachers[place] = PlanningTeacher{busy[teacher], loads[teacher], listed.subject, listed.present};
        out.list_order[place] = teacher;
        place_of[teacher] = static_cast<std::uint32_t>(place);
        if (listed.present) ++input.present_by_subject[listed.subject];
    }
    for (const auto& [teacher, period] : uncoded) {
        if (day.teachers[teacher].present) input.uncoded_busy.push_back(PlanningInput::uncoded_key(place_of[teacher], period));
    }
    std::sort(input.uncoded_busy.begin(), input.uncoded_busy.end());
    input.uncoded_busy.erase(std::unique(input.uncoded_busy.begin(), input.uncoded_busy.end()), input.uncoded_busy.end());
}

}  // namespace lessoncover
