#include "planner/day.hpp"

#include <algorithm>

#include "planner/lesson_links.hpp"

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

// Each present teacher's periods without cover, by place: absent (part of the day) and
// unavailable, for the periods that have codes (the others are never asked about).
void limit_teachers(const Day& day, const std::vector<std::uint32_t>& place_of, const PeriodCodes& codes,
                    DayInput& out) {
    PlanningInput& input = out.input;
    const auto limit = [&](const std::vector<std::pair<std::uint32_t, std::int16_t>>& periods,
                           std::vector<std::uint64_t>& sets) {
        for (const auto& [teacher, period] : periods) {
            const PeriodCodes::Code code = codes.code_of(period);
            if (!day.teachers[teacher].present || code == PeriodCodes::kNoCode) continue;
            if (sets.empty()) sets.assign(input.busy.size(), 0);
            add_code(sets.data() + input.period_words * place_of[teacher], code);
        }
    };
    limit(day.policy.absent_periods, input.policy.absent);
    limit(day.policy.unavailable, input.policy.unavailable);
}

// For each absent lesson, the present teachers with a lesson in its class that day: the
// best plan prefers them, as they know the class.
void know_classes(const Day& day, const std::vector<std::uint32_t>& place_of, DayInput& out) {
    PlanningInput& input = out.input;
    std::vector<std::uint32_t> starts;
    std::vector<std::uint32_t> teachers;  // by class, each present teacher once
    {
        std::vector<std::uint32_t> grouped;
        group_lessons(day.lessons, day.classes.size(), [](const DayLesson& l) { return l.class_id; }, starts, grouped);
        std::vector<std::uint32_t> kept_starts(day.classes.size() + 1, 0);
        std::vector<std::uint32_t> in_class;
        for (std::size_t class_id = 0; class_id < day.classes.size(); ++class_id) {
            in_class.clear();
            for (std::uint32_t at = starts[class_id]; at < starts[class_id + 1]; ++at) {
                const std::uint32_t teacher = day.lessons[grouped[at]].teacher;
                if (day.teachers[teacher].present) in_class.push_back(place_of[teacher]);
            }
            keep_first_occurrences(in_class);
            teachers.insert(teachers.end(), in_class.begin(), in_class.end());
            kept_starts[class_id + 1] = static_cast<std::uint32_t>(teachers.size());
        }
        starts = std::move(kept_starts);
    }
    input.knows_starts.assign(1, 0);
    for (const std::uint32_t class_id : out.lesson_class) {
        input.knows.insert(input.knows.end(), teachers.begin() + starts[class_id], teachers.begin() + starts[class_id + 1]);
        input.knows_starts.push_back(static_cast<std::uint32_t>(input.knows.size()));
    }
}

}  // namespace

void build_day_input(const Day& day, DayInput& out) {
    InterruptionCheck never;
    build_day_input(day, out, never);
}

bool build_day_input(const Day& day, DayInput& out, InterruptionCheck& check) {
    PlanningInput& input = out.input;
    input.clear();
    out.texts.clear();
    out.list_order.clear();
    out.lesson_absent.clear();
    out.lesson_class.clear();
    out.co_teacher.clear();
    const std::size_t teacher_count = day.teachers.size();
    const DayPolicy& policy = day.policy;
    const DayAbsences absences(day);

    // The absent lessons: class by class, each (teacher, period) once per class.
    std::vector<std::uint32_t> starts;
    std::vector<std::uint32_t> grouped;
    group_lessons(day.lessons, day.classes.size(), [](const DayLesson& l) { return l.class_id; }, starts, grouped);
    PeriodCodes codes;  // the absent lessons' periods get codes: only they are asked about
    std::vector<std::pair<std::uint32_t, std::int16_t>> in_class;
    for (std::size_t class_id = 0; class_id < day.classes.size(); ++class_id) {
        if (check.step(1 + static_cast<std::int64_t>(starts[class_id + 1] - starts[class_id]))) return false;
        in_class.clear();
        for (std::uint32_t at = starts[class_id]; at < starts[class_id + 1]; ++at) {
            const DayLesson& lesson = day.lessons[grouped[at]];
            if (absences.absent_in(lesson.teacher, lesson.period)) {
                in_class.emplace_back(lesson.teacher, lesson.period);
            }
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

    if (policy.keep_doubles || policy.combined_lessons || policy.co_taught_no_cover || !policy.class_away.empty()) {
        if (!link_lessons(day, absences, out, check)) return false;
    }
    input.policy.strategy = policy.strategy;
    input.policy.max_covers = policy.max_covers;
    input.policy.keep_doubles = policy.keep_doubles;
    input.policy.combined_lessons = policy.combined_lessons;

    // Each teacher's distinct (period, class) pairs: their number, and their periods that
    // have codes. A lesson of a class that is away counts, but leaves its teacher free.
    group_lessons(day.lessons, teacher_count, [](const DayLesson& l) { return l.teacher; }, starts, grouped);
    std::vector<std::uint32_t> loads(teacher_count, 0);
    std::vector<std::pair<std::uint32_t, PeriodCodes::Code>> busy;  // (teacher, code)
    std::vector<std::pair<std::int16_t, std::uint32_t>> pairs;
    const std::uint8_t* const class_away = policy.class_away.empty() ? nullptr : policy.class_away.data();
    const std::uint32_t* const prior_covers = policy.prior_covers.empty() ? nullptr : policy.prior_covers.data();
    for (std::size_t teacher = 0; teacher < teacher_count; ++teacher) {
        if (check.step(1 + static_cast<std::int64_t>(starts[teacher + 1] - starts[teacher]))) return false;
        pairs.clear();
        for (std::uint32_t at = starts[teacher]; at < starts[teacher + 1]; ++at) {
            const DayLesson& lesson = day.lessons[grouped[at]];
            pairs.emplace_back(lesson.period, lesson.class_id);
        }
        keep_first_occurrences(pairs);
        loads[teacher] = static_cast<std::uint32_t>(pairs.size());
        if (prior_covers != nullptr) loads[teacher] += prior_covers[teacher];
        for (const auto& [period, class_id] : pairs) {
            if (class_away != nullptr && class_away[class_id] != 0) continue;
            const PeriodCodes::Code code = codes.code_of(period);
            if (code != PeriodCodes::kNoCode) busy.emplace_back(static_cast<std::uint32_t>(teacher), code);
        }
    }

    // List order: the school's order, stably sorted by number of pairs (and prior covers).
    std::vector<std::uint64_t> by_load(teacher_count);
    for (std::size_t teacher = 0; teacher < teacher_count; ++teacher) {
        by_load[teacher] = (std::uint64_t{loads[teacher]} << 32) | teacher;
    }
    std::sort(by_load.begin(), by_load.end());
    std::vector<std::uint32_t> place_of(teacher_count);
    input.teachers.resize(teacher_count);
    out.list_order.resize(teacher_count);
    input.present_by_subject.assign(day.subjects.size(), 0);
    const auto is_supply = [&](std::size_t teacher) { return !policy.supply.empty() && policy.supply[teacher] != 0; };
    for (std::size_t place = 0; place < teacher_count; ++place) {
        const auto teacher = static_cast<std::uint32_t>(by_load[place] & 0xffffffffU);
        const DayTeacher& listed = day.teachers[teacher];
        input.teachers[place] = PlanningTeacher{loads[teacher], listed.subject, listed.present, is_supply(teacher)};
        out.list_order[place] = teacher;
        place_of[teacher] = static_cast<std::uint32_t>(place);
        if (listed.present && !is_supply(teacher)) ++input.present_by_subject[listed.subject];
    }
    for (std::size_t teacher = 0; teacher < teacher_count; ++teacher) {
        if (day.teachers[teacher].present && is_supply(teacher)) input.supply_order.push_back(place_of[teacher]);
    }
    if (!policy.prior_covers.empty()) {
        input.prior.resize(teacher_count);
        for (std::size_t teacher = 0; teacher < teacher_count; ++teacher) {
            input.prior[place_of[teacher]] = policy.prior_covers[teacher];
        }
    }
    input.size_period_sets(codes.size());
    for (const auto& [teacher, code] : busy) add_code(input.busy_of(place_of[teacher]), code);
    limit_teachers(day, place_of, codes, out);
    if (policy.strategy == Strategy::best) know_classes(day, place_of, out);
    return true;
}

}  // namespace lessoncover
