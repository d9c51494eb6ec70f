// libFuzzer harness: a school day given as lists, through build_day_input and
// CoverPlanner::decide.
//
// The planning input made from a random Day is checked against the day built the plain
// way (the school order stably sorted by distinct (period, class) pairs; the absent
// lessons class by class, each (teacher, period) once per class; codes for the periods of
// absent lessons in the order they come, the sets as wide as those need), the report texts of each absent
// lesson are read back as an RFC 4180 row, and the plan is checked against the model in
// plan_model.hpp. Up to two days are planned per input with one CoverPlanner and one
// DayInput, as a caller that plans again reuses them. Now and then a day is planned again
// under a random policy, and the plan is checked against what every policy promises.
// Each day is also planned by the best plan, which keeps the same promises and covers at
// least as many lessons as the rules did; on days of an odd number of lessons, teachers
// without lessons are supply staff then.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <deque>
#include <map>
#include <numeric>
#include <set>
#include <string>
#include <tuple>

#include "fuzz_day.hpp"
#include "fuzz_input.hpp"
#include "plan_model.hpp"
#include "planner/day.hpp"
#include "planner/best_plan.hpp"
#include "planner/day_pins.hpp"
#include "planner/decide.hpp"
#include "report/text_kind.hpp"

namespace {

using lessoncover::Day;
using lessoncover::DayInput;
using lessoncover::PeriodCodes;
using lessoncover::PlanningInput;


// Reads `row` as one RFC 4180 record ending in a line break. A field is quoted exactly
// when it holds a comma, a double quote, CR or LF.
std::vector<std::string> read_csv_row(std::string_view row) {
    std::vector<std::string> fields;
    std::size_t pos = 0;
    while (true) {
        std::string field;
        if (pos < row.size() && row[pos] == '"') {
            ++pos;
            while (true) {
                FUZZ_CHECK(pos < row.size());
                if (row[pos] == '"') {
                    if (pos + 1 < row.size() && row[pos + 1] == '"') {
                        field += '"';
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                field += row[pos++];
            }
            FUZZ_CHECK(field.find_first_of(",\"\r\n") != std::string::npos);
        } else {
            const std::size_t end = std::min(row.find_first_of(",\n", pos), row.size());
            field.assign(row.substr(pos, end - pos));
            FUZZ_CHECK(field.find_first_of("\"\r") == std::string::npos);
            pos = end;
        }
        fields.push_back(std::move(field));
        FUZZ_CHECK(pos < row.size());
        if (row[pos++] == '\n') break;
    }
    FUZZ_CHECK(pos == row.size());
    return fields;
}

void check_day_input(const Day& day, const DayInput& out) {
    const PlanningInput& input = out.input;
    const std::size_t teacher_count = day.teachers.size();

    // The absent lessons, and the codes of their periods in the order they come.
    struct Absent {
        std::uint32_t teacher, class_id;
        std::int16_t period;
    };
    // Sorting flat lists rather than filling sets: the checks cost less than the work they
    // check, so the fuzzer runs more days.
    using Found = std::tuple<std::uint32_t, std::uint32_t, std::int16_t, std::uint32_t>;  // class, teacher, period, index
    std::vector<Found> found;
    for (std::uint32_t index = 0; index < day.lessons.size(); ++index) {
        const auto& lesson = day.lessons[index];
        if (!day.teachers[lesson.teacher].present) found.emplace_back(lesson.class_id, lesson.teacher, lesson.period, index);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::pair<std::uint32_t, std::uint32_t>> firsts;  // (class, index) of each first occurrence
    for (std::size_t i = 0; i < found.size(); ++i) {
        const auto& [class_id, teacher, period, index] = found[i];
        if (i == 0 || std::get<0>(found[i - 1]) != class_id || std::get<1>(found[i - 1]) != teacher ||
            std::get<2>(found[i - 1]) != period) {
            firsts.emplace_back(class_id, index);
        }
    }
    std::sort(firsts.begin(), firsts.end());
    std::vector<Absent> absent;
    for (const auto& [class_id, index] : firsts) {
        absent.push_back(Absent{day.lessons[index].teacher, class_id, day.lessons[index].period});
    }
    std::vector<std::pair<std::int16_t, PeriodCodes::Code>> codes;  // sorted by period
    auto code_of = [&](std::int16_t period) -> const PeriodCodes::Code* {
        const auto at = std::lower_bound(codes.begin(), codes.end(), std::pair{period, PeriodCodes::Code{0}});
        return at != codes.end() && at->first == period ? &at->second : nullptr;
    };
    for (const Absent& lesson : absent) {
        if (code_of(lesson.period) != nullptr) continue;
        const auto code = static_cast<PeriodCodes::Code>(codes.size());
        codes.insert(std::lower_bound(codes.begin(), codes.end(), std::pair{lesson.period, PeriodCodes::Code{0}}),
                     std::pair{lesson.period, code});
    }

    // Each teacher's distinct (period, class) pairs, busy codes and place in the list.
    std::vector<std::tuple<std::uint32_t, std::int16_t, std::uint32_t>> held;  // teacher, period, class
    held.reserve(day.lessons.size());
    for (const auto& lesson : day.lessons) held.emplace_back(lesson.teacher, lesson.period, lesson.class_id);
    std::sort(held.begin(), held.end());
    held.erase(std::unique(held.begin(), held.end()), held.end());
    std::vector<std::uint32_t> held_from(teacher_count + 1, 0);  // teacher t's pairs: held_from[t]..held_from[t+1]
    for (const auto& pair : held) ++held_from[std::get<0>(pair) + 1];
    for (std::size_t t = 0; t < teacher_count; ++t) held_from[t + 1] += held_from[t];
    auto load_of = [&](std::uint32_t t) { return held_from[t + 1] - held_from[t]; };
    std::vector<std::uint32_t> order(teacher_count);
    std::iota(order.begin(), order.end(), 0U);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return load_of(a) < load_of(b); });
    std::vector<std::uint32_t> place_of(teacher_count);
    for (std::uint32_t place = 0; place < teacher_count; ++place) place_of[order[place]] = place;

    FUZZ_CHECK(out.list_order == order);
    FUZZ_CHECK(input.teachers.size() == teacher_count);
    std::vector<std::uint32_t> present_by_subject(day.subjects.size());
    FUZZ_CHECK(input.period_codes == codes.size());
    FUZZ_CHECK(input.period_words == lessoncover::period_words_for(codes.size()));
    FUZZ_CHECK(input.busy.size() == input.period_words * teacher_count);
    for (std::uint32_t place = 0; place < teacher_count; ++place) {
        const std::uint32_t t = order[place];
        std::vector<std::uint64_t> busy(input.period_words, 0);
        for (std::uint32_t at = held_from[t]; at < held_from[t + 1]; ++at) {
            const PeriodCodes::Code* code = code_of(std::get<1>(held[at]));
            if (code != nullptr) lessoncover::add_code(busy.data(), *code);
        }
        const lessoncover::PlanningTeacher& listed = input.teachers[place];
        FUZZ_CHECK(std::equal(busy.begin(), busy.end(), input.busy_of(place)));
        FUZZ_CHECK(listed.load == load_of(t));
        FUZZ_CHECK(listed.subject == day.teachers[t].subject);
        FUZZ_CHECK(static_cast<bool>(listed.present) == day.teachers[t].present);
        present_by_subject[day.teachers[t].subject] += day.teachers[t].present;
    }
    FUZZ_CHECK(input.present_by_subject == present_by_subject);

    FUZZ_CHECK(input.lessons.size() == absent.size());
    FUZZ_CHECK(out.lesson_absent.size() == absent.size() && out.lesson_class.size() == absent.size());
    FUZZ_CHECK(out.texts.size() == absent.size());
    lessoncover::TextKind kind = lessoncover::TextKind::ascii;  // of every text kept, row by row
    for (std::size_t i = 0; i < absent.size(); ++i) {
        const Absent& expected = absent[i];
        const lessoncover::DayTeacher& teacher = day.teachers[expected.teacher];
        const lessoncover::PlanningLesson& lesson = input.lessons[i];
        FUZZ_CHECK(lesson.period == expected.period);
        FUZZ_CHECK(code_of(expected.period) != nullptr && lesson.code == *code_of(expected.period));
        FUZZ_CHECK(lesson.subject == teacher.subject);
        FUZZ_CHECK(out.lesson_absent[i] == expected.teacher);
        FUZZ_CHECK(out.lesson_class[i] == expected.class_id);

        const std::string_view class_name = day.classes[expected.class_id];
        const std::string_view subject = day.subjects[teacher.subject];
        FUZZ_CHECK(out.texts.period(i) == expected.period);
        FUZZ_CHECK(out.texts.class_name(i) == class_name);
        FUZZ_CHECK(out.texts.absent_name(i) == teacher.name);
        const std::string row = std::string(out.texts.row_before(i)) + "Sub" + std::string(out.texts.row_after(i));
        char digits[8];
        const std::string period(digits, std::to_chars(digits, digits + sizeof digits, expected.period).ptr);
        const std::vector<std::string> fields = {std::string(teacher.name), period, std::string(subject), "Sub",
                                                 std::string(class_name), std::string(teacher.reason)};
        FUZZ_CHECK(read_csv_row(row) == fields);
        for (const std::string_view text : {std::string_view(teacher.name), subject, class_name,
                                            std::string_view(teacher.reason)})
            kind = std::max(kind, lessoncover::text_kind(text));
    }
    FUZZ_CHECK(out.texts.kind() == kind);
}


// What a plan under a policy must hold, checked from the day itself.
void check_policy_plan(const Day& day, const DayInput& out, const lessoncover::Plan& plan) {
    using lessoncover::Decision;
    using lessoncover::Rule;
    const lessoncover::DayPolicy& policy = day.policy;
    const std::set<std::pair<std::uint32_t, std::int16_t>> absent_then(policy.absent_periods.begin(),
                                                                        policy.absent_periods.end());
    const std::set<std::pair<std::uint32_t, std::int16_t>> unavailable(policy.unavailable.begin(),
                                                                       policy.unavailable.end());
    const auto away = [&](std::uint32_t class_id) { return !policy.class_away.empty() && policy.class_away[class_id]; };
    const auto present_then = [&](std::uint32_t t, std::int16_t period) {
        return day.teachers[t].present && !(day.teachers[t].part_day && absent_then.contains({t, period}));
    };
    std::set<std::pair<std::uint32_t, std::int16_t>> teaching;  // in a class that is not away
    std::set<std::pair<std::uint32_t, std::int16_t>> taught;    // (class, period) by a teacher present then
    for (const auto& lesson : day.lessons) {
        if (!away(lesson.class_id)) teaching.emplace(lesson.teacher, lesson.period);
        if (present_then(lesson.teacher, lesson.period)) taught.emplace(lesson.class_id, lesson.period);
    }
    FUZZ_CHECK(plan.decisions.size() == out.input.lessons.size());
    FUZZ_CHECK(plan.covered + plan.uncovered.size() + plan.not_needed == plan.decisions.size());
    std::map<std::uint32_t, std::uint32_t> covers_given;
    std::set<std::pair<std::uint32_t, std::int16_t>> covering;
    std::map<std::pair<std::uint32_t, std::int16_t>, std::uint32_t> first_of_set;  // (absent, period) -> substitute
    std::size_t uncovered = 0;
    // Pins are booked before any rule runs.
    std::map<std::uint32_t, std::uint32_t> pinned;  // lesson -> substitute's place
    for (const lessoncover::PlanningPin& pin : out.input.policy.pins) {
        pinned.emplace(pin.lesson, pin.substitute);
        if (!pin.books) continue;
        const std::uint32_t substitute = out.list_order[pin.substitute];
        FUZZ_CHECK(covering.emplace(substitute, out.input.lessons[pin.lesson].period).second);
        ++covers_given[substitute];
    }
    for (std::size_t i = 0; i < plan.decisions.size(); ++i) {
        const Decision& decision = plan.decisions[i];
        const std::int16_t period = out.input.lessons[i].period;
        const std::uint32_t absent = out.lesson_absent[i];
        const std::uint32_t class_id = out.lesson_class[i];
        FUZZ_CHECK(!present_then(absent, period));
        if (decision.rule == Rule::away) {
            FUZZ_CHECK(away(class_id));
            continue;
        }
        FUZZ_CHECK(!away(class_id));
        if (decision.rule == Rule::co_taught) {
            FUZZ_CHECK(policy.co_taught_no_cover && taught.contains({class_id, period}));
            continue;
        }
        FUZZ_CHECK(!policy.co_taught_no_cover || !taught.contains({class_id, period}));
        const std::uint32_t substitute =
            decision.substitute == Decision::kNobody ? Decision::kNobody : out.list_order[decision.substitute];
        const auto [set, first] = first_of_set.emplace(std::pair{absent, period}, substitute);
        const auto pin = pinned.find(static_cast<std::uint32_t>(i));
        FUZZ_CHECK((decision.rule == Rule::pinned) == (pin != pinned.end()));
        if (decision.rule == Rule::pinned) {
            // Wherever the office put it, but never where the teacher is absent.
            FUZZ_CHECK(decision.substitute == pin->second && present_then(substitute, period));
            continue;
        }
        if (decision.rule == Rule::combined || (policy.combined_lessons && !first)) {
            FUZZ_CHECK(policy.combined_lessons && !first && set->second == substitute);
        }
        if (decision.rule == Rule::uncovered) {
            FUZZ_CHECK(decision.substitute == Decision::kNobody);
            const lessoncover::Uncovered& why = plan.uncovered[uncovered++];
            FUZZ_CHECK(why.lesson == i);
            FUZZ_CHECK(why.busy_teaching + why.busy_covering + why.busy_unavailable + why.at_cap == why.present_teachers);
            continue;
        }
        FUZZ_CHECK(decision.substitute != Decision::kNobody);
        if (decision.rule == Rule::combined) continue;
        FUZZ_CHECK(present_then(substitute, period));
        FUZZ_CHECK(!teaching.contains({substitute, period}) && !unavailable.contains({substitute, period}));
        FUZZ_CHECK(covering.emplace(substitute, period).second);
        FUZZ_CHECK(++covers_given[substitute] <= policy.max_covers);
        if (decision.rule == Rule::double_lesson) {
            FUZZ_CHECK(policy.keep_doubles);
            bool beside = false;
            for (std::size_t j = 0; j < i; ++j) {
                beside = beside || (out.lesson_absent[j] == absent && out.lesson_class[j] == class_id &&
                                    std::abs(out.input.lessons[j].period - period) == 1 &&
                                    plan.decisions[j].substitute == decision.substitute);
            }
            FUZZ_CHECK(beside);
        }
    }
    FUZZ_CHECK(uncovered == plan.uncovered.size());
}

// The day planned by the best plan: it keeps every promise a plan keeps, supply staff's
// covers say so, and it covers at least as many lessons as `greedy`, a plan of the same
// day by the rules (one plan the best one had to choose from).
void check_best_plan(const Day& day, const lessoncover::Plan& greedy) {
    Day best_day = day;
    best_day.policy.strategy = lessoncover::Strategy::best;
    if (day.lessons.size() % 2 == 1) {
        best_day.policy.supply.assign(day.teachers.size(), 1);
        for (const auto& lesson : day.lessons) best_day.policy.supply[lesson.teacher] = 0;
    }
    DayInput out;
    lessoncover::build_day_input(best_day, out);
    FUZZ_CHECK(lessoncover::pin_lessons(best_day, out).ok());
    lessoncover::BestPlanner planner;
    lessoncover::Plan best;
    planner.decide(out.input, best);
    check_policy_plan(best_day, out, best);
    FUZZ_CHECK(best.covered >= greedy.covered);
    for (const lessoncover::Decision& decision : best.decisions) {
        if (decision.substitute == lessoncover::Decision::kNobody || !out.input.teachers[decision.substitute].supply) continue;
        FUZZ_CHECK(decision.rule == lessoncover::Rule::supply || decision.rule == lessoncover::Rule::pinned ||
                   decision.rule == lessoncover::Rule::combined);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Choices in(data, size);
    fuzz::plan_days(in, [](const Day& day, const DayInput& out, const lessoncover::Plan& plan, bool with_policy) {
        if (with_policy) {
            check_policy_plan(day, out, plan);
        } else {
            check_day_input(day, out);
            fuzz::check_plan(out.input, plan);
        }
        check_best_plan(day, plan);
    });
    return 0;
}
