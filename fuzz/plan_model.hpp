// The rules of cover written the plain way, to check what CoverPlanner::decide made of a
// planning input: a model that walks the lessons in order, scans every teacher for each
// one and books covers as it goes, beside the invariants any plan must keep.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "fuzz_input.hpp"
#include "planner/plan.hpp"
#include "planner/planning_input.hpp"

namespace fuzz {

inline void check_plan(const lessoncover::PlanningInput& input, const lessoncover::Plan& plan) {
    using lessoncover::Decision;
    using lessoncover::PeriodCodes;
    using lessoncover::PlanningInput;
    using lessoncover::Rule;

    const std::size_t teacher_count = input.teachers.size();
    std::vector<std::uint64_t> load(teacher_count);
    std::vector<std::uint64_t> busy_codes(teacher_count);
    std::uint32_t present = 0;
    for (std::size_t t = 0; t < teacher_count; ++t) {
        load[t] = input.teachers[t].load;
        busy_codes[t] = input.teachers[t].busy;
        present += input.teachers[t].present;
    }
    FUZZ_CHECK(std::is_sorted(input.uncoded_busy.begin(), input.uncoded_busy.end()));
    // Covers given in periods without a code, as uncoded keys: kept sorted.
    std::vector<std::uint64_t> covering_uncoded;
    std::array<std::uint32_t, PeriodCodes::kMaxCodes> covers_by_code{};
    std::map<std::uint16_t, std::uint32_t> covers_by_uncoded_period;
    // Every cover given, as (teacher, period): none twice.
    std::set<std::pair<std::size_t, std::int16_t>> booked;

    FUZZ_CHECK(plan.decisions.size() == input.lessons.size());
    std::size_t uncovered_seen = 0;
    for (std::size_t index = 0; index < input.lessons.size(); ++index) {
        const lessoncover::PlanningLesson& lesson = input.lessons[index];
        const bool coded = lesson.code != PeriodCodes::kNoCode;
        auto key = [&](std::size_t t) { return PlanningInput::uncoded_key(static_cast<std::uint32_t>(t), lesson.period); };
        auto teaches = [&](std::size_t t) {
            return coded ? ((input.teachers[t].busy >> lesson.code) & 1U) != 0
                         : std::binary_search(input.uncoded_busy.begin(), input.uncoded_busy.end(), key(t));
        };
        auto busy = [&](std::size_t t) {
            return coded ? ((busy_codes[t] >> lesson.code) & 1U) != 0
                         : teaches(t) || std::binary_search(covering_uncoded.begin(), covering_uncoded.end(), key(t));
        };

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
            std::fprintf(stderr, "lesson %zu (period %d, code %d, subject %u): decided %u by rule %d, expected %zu by %d\n",
                         index, lesson.period, lesson.code, lesson.subject, decision.substitute,
                         static_cast<int>(decision.rule), expected, static_cast<int>(rule));
            FUZZ_CHECK(!"the decision follows the rules");
        }

        if (rule == Rule::uncovered) {
            FUZZ_CHECK(uncovered_seen < plan.uncovered.size());
            const lessoncover::Uncovered& why = plan.uncovered[uncovered_seen++];
            std::uint32_t teaching = 0;
            for (std::size_t t = 0; t < teacher_count; ++t) teaching += input.teachers[t].present && teaches(t);
            const std::uint32_t covering =
                coded ? covers_by_code[lesson.code] : covers_by_uncoded_period[static_cast<std::uint16_t>(lesson.period)];
            FUZZ_CHECK(why.lesson == index);
            FUZZ_CHECK(why.present_teachers == present);
            FUZZ_CHECK(why.busy_teaching == teaching);
            FUZZ_CHECK(why.busy_covering == covering);
            FUZZ_CHECK(why.busy_teaching + why.busy_covering == why.present_teachers);
            continue;
        }

        // A substitute is present, does not teach then and covers nothing else then.
        FUZZ_CHECK(expected < teacher_count && input.teachers[expected].present);
        FUZZ_CHECK(!teaches(expected));
        FUZZ_CHECK(booked.emplace(expected, lesson.period).second);
        load[expected] += 1;
        if (coded) {
            busy_codes[expected] |= std::uint64_t{1} << lesson.code;
            ++covers_by_code[lesson.code];
        } else {
            covering_uncoded.insert(std::upper_bound(covering_uncoded.begin(), covering_uncoded.end(), key(expected)),
                                    key(expected));
            ++covers_by_uncoded_period[static_cast<std::uint16_t>(lesson.period)];
        }
    }
    FUZZ_CHECK(uncovered_seen == plan.uncovered.size());
    FUZZ_CHECK(plan.covered == input.lessons.size() - plan.uncovered.size());
}

}  // namespace fuzz
