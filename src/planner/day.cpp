#include "planner/day.hpp"

#include <algorithm>
#include <bitset>
#include <memory>
#include <unordered_map>

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

void sort_unique(std::vector<std::uint64_t>& keys) {
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
}

// Keys of (teacher, period) pairs, as PlanningInput::uncoded_key, sorted.
std::vector<std::uint64_t> sorted_keys(const std::vector<std::pair<std::uint32_t, std::int16_t>>& pairs) {
    std::vector<std::uint64_t> keys;
    keys.reserve(pairs.size());
    for (const auto& [teacher, period] : pairs) keys.push_back(PlanningInput::uncoded_key(teacher, period));
    sort_unique(keys);
    return keys;
}

bool contains(const std::vector<std::uint64_t>& sorted, std::uint64_t key) {
    return std::binary_search(sorted.begin(), sorted.end(), key);
}

// Whether the day's teacher is absent in the period: all day, or in one of its part-day
// periods, `absent_keys` (as sorted_keys gives them).
bool absent_in(const Day& day, const std::vector<std::uint64_t>& absent_keys, std::uint32_t teacher,
               std::int16_t period) {
    const DayTeacher& listed = day.teachers[teacher];
    return !listed.present || (listed.part_day && contains(absent_keys, PlanningInput::uncoded_key(teacher, period)));
}

// What a policy says of each absent lesson: whether it needs cover, the first lesson of its
// combined set, its neighbours for a double; and who co-teaches it.
bool link_lessons(const Day& day, const std::vector<std::uint64_t>& absent_keys, DayInput& out,
                  InterruptionCheck& check) {
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
            if (absent_in(day, absent_keys, lesson.teacher, lesson.period)) continue;
            taught_by.emplace(PlanningInput::uncoded_key(lesson.class_id, lesson.period), lesson.teacher);
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
            const auto found = taught_by.find(PlanningInput::uncoded_key(class_id, period));
            if (found != taught_by.end()) {
                link.need = LessonNeed::none_co_taught;
                out.co_teacher[index] = found->second;
                continue;
            }
        }
        if (policy.combined_lessons) {
            const auto [first, made] = first_of_set.emplace(PlanningInput::uncoded_key(absent, period), index);
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

// Each teacher's periods without cover, by place: absent (part of the day) and unavailable.
void limit_teachers(const Day& day, const std::vector<std::uint32_t>& place_of, const PeriodCodes& codes,
                    const std::bitset<std::size_t{1} << 16>* uncoded_wanted, DayInput& out) {
    PlanningPolicy& policy = out.input.policy;
    if (day.policy.absent_periods.empty() && day.policy.unavailable.empty()) return;
    policy.limits.assign(day.teachers.size(), TeacherLimits{});
    const auto limit = [&](const std::vector<std::pair<std::uint32_t, std::int16_t>>& periods,
                           std::uint64_t TeacherLimits::*mask, std::vector<std::uint64_t>& uncoded) {
        for (const auto& [teacher, period] : periods) {
            if (!day.teachers[teacher].present) continue;
            const PeriodCodes::Code code = codes.code_of(period);
            if (code != PeriodCodes::kNoCode) {
                policy.limits[place_of[teacher]].*mask |= std::uint64_t{1} << code;
            } else if (uncoded_wanted != nullptr && uncoded_wanted->test(static_cast<std::uint16_t>(period))) {
                uncoded.push_back(PlanningInput::uncoded_key(place_of[teacher], period));
            }
        }
        sort_unique(uncoded);
    };
    limit(day.policy.absent_periods, &TeacherLimits::absent, policy.uncoded_absent);
    limit(day.policy.unavailable, &TeacherLimits::unavailable, policy.uncoded_unavailable);
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
    // Teachers absent in some periods only, as (teacher, period) keys.
    const std::vector<std::uint64_t> absent_keys = sorted_keys(policy.absent_periods);

    // The absent lessons: class by class, each (teacher, period) once per class.
    std::vector<std::uint32_t> starts;
    std::vector<std::uint32_t> grouped;
    group_lessons(day.lessons, day.classes.size(), [](const DayLesson& l) { return l.class_id; }, starts, grouped);
    PeriodCodes codes;  // the absent lessons' periods get codes first: only they are asked about
    std::vector<std::pair<std::uint32_t, std::int16_t>> in_class;
    for (std::size_t class_id = 0; class_id < day.classes.size(); ++class_id) {
        if (check.step(1 + static_cast<std::int64_t>(starts[class_id + 1] - starts[class_id]))) return false;
        in_class.clear();
        for (std::uint32_t at = starts[class_id]; at < starts[class_id + 1]; ++at) {
            const DayLesson& lesson = day.lessons[grouped[at]];
            if (absent_in(day, absent_keys, lesson.teacher, lesson.period)) {
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
        if (!link_lessons(day, absent_keys, out, check)) return false;
    }
    input.policy.max_covers = policy.max_covers;
    input.policy.keep_doubles = policy.keep_doubles;
    input.policy.combined_lessons = policy.combined_lessons;

    // Each teacher's distinct (period, class) pairs: their number and busy periods. A
    // lesson of a class that is away counts, but leaves its teacher free.
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
            if (code != PeriodCodes::kNoCode) {
                busy[teacher] |= std::uint64_t{1} << code;
            } else if (uncoded_wanted != nullptr && uncoded_wanted->test(static_cast<std::uint16_t>(period))) {
                uncoded.emplace_back(static_cast<std::uint32_t>(teacher), period);
            }
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
    sort_unique(input.uncoded_busy);
    limit_teachers(day, place_of, codes, uncoded_wanted.get(), out);
    return true;
}

}  // namespace lessoncover
