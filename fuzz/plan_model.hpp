// The rules of cover written the plain way, to check what CoverPlanner::decide made of a
// planning input: a model that walks the lessons in order, scans every teacher for each
// one and books covers as it goes, beside the invariants any plan must keep.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "fuzz_input.hpp"
#include "planner/period_set.hpp"
#include "planner/plan.hpp"
#include "planner/planning_input.hpp"

namespace fuzz {

inline void check_plan(const lessoncover::PlanningInput& input, const lessoncover::Plan& plan) {
    using lessoncover::Decision;
    using lessoncover::Rule;

    const std::size_t teacher_count = input.teachers.size();
    std::vector<std::uint64_t> load(teacher_count);
    std::uint32_t present = 0;
    for (std::size_t t = 0; t < teacher_count; ++t) {
        load[t] = input.teachers[t].load;
        present += input.teachers[t].present;
    }
    // Each teacher's covers of this run, as (teacher, code).
    std::set<std::pair<std::size_t, std::size_t>> covering;
    std::map<std::size_t, std::uint32_t> covers_by_code;
    // Every cover given, as (teacher, period): none twice.
    std::set<std::pair<std::size_t, std::int16_t>> booked;

    FUZZ_CHECK(plan.decisions.size() == input.lessons.size());
    std::size_t uncovered_seen = 0;
    for (std::size_t index = 0; index < input.lessons.size(); ++index) {
        const lessoncover::PlanningLesson& lesson = input.lessons[index];
        FUZZ_CHECK(lesson.code < input.period_codes);
        auto teaches = [&](std::size_t t) { return lessoncover::has_code(input.busy_of(t), lesson.code); };
        auto busy = [&](std::size_t t) { return teaches(t) || covering.contains({t, lesson.code}); };

        std::size_t expected = Decision::kNobody;
        Rule rule = Rule::subject;
        for (std::size_t t = 0; t < teacher_count; ++t) {
            if (!input.teachers[t].present || input.teachers[t].subject != lesson.subject || busy(t)) continue;
            if (expected == Decision::kNobody || load[t] < load[expected]) expected = t;
        }
        if (expected == Decision::kNobody) {
            rule = Rule::any;
            for (std::size_t t = 0; t < teacher_count && expected == Decision::kNobody; ++t) {
                if (input.teachers[t].present && !busy(t)) expected = t;
            }
        }
        if (expected == Decision::kNobody) rule = Rule::uncovered;

        const Decision& decision = plan.decisions[index];
        if (decision.rule != rule || decision.substitute != expected) {
            std::fprintf(stderr, "lesson %zu (period %d, code %u, subject %u): decided %u by rule %d, expected %zu by %d\n",
                         index, lesson.period, lesson.code, lesson.subject, decision.substitute,
                         static_cast<int>(decision.rule), expected, static_cast<int>(rule));
            FUZZ_CHECK(!"the decision follows the rules");
        }

        if (rule == Rule::uncovered) {
            FUZZ_CHECK(uncovered_seen < plan.uncovered.size());
            const lessoncover::Uncovered& why = plan.uncovered[uncovered_seen++];
            std::uint32_t teaching = 0;
            for (std::size_t t = 0; t < teacher_count; ++t) teaching += input.teachers[t].present && teaches(t);
            const std::uint32_t covers = covers_by_code[lesson.code];
            FUZZ_CHECK(why.lesson == index);
            FUZZ_CHECK(why.present_teachers == present);
            FUZZ_CHECK(why.busy_teaching == teaching);
            FUZZ_CHECK(why.busy_covering == covers);
            FUZZ_CHECK(why.busy_teaching + why.busy_covering == why.present_teachers);
            continue;
        }

        // A substitute is present, does not teach then and covers nothing else then.
        FUZZ_CHECK(expected < teacher_count && input.teachers[expected].present);
        FUZZ_CHECK(!teaches(expected));
        FUZZ_CHECK(booked.emplace(expected, lesson.period).second);
        load[expected] += 1;
        covering.emplace(expected, lesson.code);
        ++covers_by_code[lesson.code];
    }
    FUZZ_CHECK(uncovered_seen == plan.uncovered.size());
    FUZZ_CHECK(plan.covered == input.lessons.size() - plan.uncovered.size());
}

}  // namespace fuzz
