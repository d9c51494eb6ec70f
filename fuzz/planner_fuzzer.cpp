// libFuzzer harness: CoverPlanner::decide on random planning inputs, checked lesson by
// lesson against the plain model in plan_model.hpp.
//
// An input describes up to three days planned one after another by one CoverPlanner, as
// a school that plans again reuses it. Each day has up to ~500 teachers (so a subject's
// pool spans several 64-bit words), up to ~80 distinct periods over the whole int16
// range, of which at most 64 have codes and the rest are planned from the sorted
// uncoded_busy keys, and loads up to 2^32 - 1. Now and then the day's counts of present
// teachers by subject are made wrong on purpose: decide must refuse it with
// std::invalid_argument, and the planner must plan the next day correctly all the same.
#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <stdexcept>

#include "fuzz_input.hpp"
#include "plan_model.hpp"
#include "planner/decide.hpp"

namespace {

using lessoncover::PeriodCodes;
using lessoncover::PlanningInput;

struct Period {
    std::int16_t number;
    PeriodCodes::Code code;
};

// The day's distinct periods: the first `coded` get distinct codes in a shuffled order,
// the rest none.
std::vector<Period> make_periods(fuzz::Choices& in) {
    const std::size_t wanted = 1 + in.count(11, 79);
    std::vector<std::int16_t> recent;
    std::vector<Period> periods;
    for (std::size_t attempt = 0; attempt < 2 * wanted && periods.size() < wanted; ++attempt) {
        const std::int16_t number = in.period(recent);
        if (std::none_of(periods.begin(), periods.end(), [&](const Period& p) { return p.number == number; })) {
            periods.push_back(Period{number, PeriodCodes::kNoCode});
        }
    }
    std::array<PeriodCodes::Code, PeriodCodes::kMaxCodes> codes;
    std::iota(codes.begin(), codes.end(), PeriodCodes::Code{0});
    if (!in.one_in(4)) {
        for (std::size_t i = codes.size() - 1; i > 0; --i) std::swap(codes[i], codes[in.below(i + 1)]);
    }
    // Mostly every period that can have a code has one; sometimes fewer do.
    std::size_t coded = std::min(periods.size(), PeriodCodes::kMaxCodes);
    if (in.one_in(4)) coded = in.below(coded + 1);
    for (std::size_t i = 0; i < coded; ++i) periods[i].code = codes[i];
    return periods;
}

void make_input(fuzz::Choices& in, PlanningInput& input) {
    input.clear();
    const std::size_t subjects = 1 + in.count(5, 40);
    const std::vector<Period> periods = make_periods(in);

    const std::size_t teacher_count = in.count(24, 520);
    input.teachers.resize(teacher_count);
    for (auto& teacher : input.teachers) {
        const std::uint8_t shape = in.byte();
        teacher.subject = static_cast<lessoncover::SubjectId>(shape & 0x80 ? in.below(subjects) : (shape & 0x40 ? 1 % subjects : 0));
        teacher.present = (shape & 0x30) != 0x30;
        teacher.load = (shape & 0x0f) == 0x0f ? in.u32() : shape & 0x07;
        // Busy in a few of the coded periods; now and then in codes no lesson is in.
        std::uint64_t busy = 0;
        for (std::size_t n = in.byte() % 4; n > 0; --n) {
            const Period& period = periods[in.below(periods.size())];
            if (period.code != PeriodCodes::kNoCode) busy |= std::uint64_t{1} << period.code;
        }
        if (in.one_in(16)) busy |= in.u64();
        teacher.busy = busy;
    }

    // Present teachers holding lessons in periods without a code.
    if (std::any_of(periods.begin(), periods.end(), [](const Period& p) { return p.code == PeriodCodes::kNoCode; }) &&
        teacher_count > 0) {
        for (std::size_t n = in.count(16, 600); n > 0; --n) {
            const auto teacher = static_cast<std::uint32_t>(in.below(teacher_count));
            const Period& period = periods[in.below(periods.size())];
            if (period.code == PeriodCodes::kNoCode && input.teachers[teacher].present) {
                input.uncoded_busy.push_back(PlanningInput::uncoded_key(teacher, period.number));
            }
        }
        std::sort(input.uncoded_busy.begin(), input.uncoded_busy.end());
        input.uncoded_busy.erase(std::unique(input.uncoded_busy.begin(), input.uncoded_busy.end()),
                                 input.uncoded_busy.end());
    }

    // Lessons mostly in the first few periods, so that they compete for substitutes.
    const std::size_t lesson_count = in.count(32, 700);
    input.lessons.resize(lesson_count);
    for (auto& lesson : input.lessons) {
        const std::uint8_t shape = in.byte();
        const Period& period = periods[shape & 0x80 ? in.below(periods.size()) : (shape & 0x0f) % periods.size()];
        lesson.period = period.number;
        lesson.code = period.code;
        lesson.subject = static_cast<lessoncover::SubjectId>(shape & 0x40 ? in.below(subjects) : (shape >> 4) % std::min<std::size_t>(subjects, 2));
    }

    input.present_by_subject.assign(subjects, 0);
    for (const auto& teacher : input.teachers) {
        if (teacher.present) ++input.present_by_subject[teacher.subject];
    }
}

// Makes the counts of present teachers by subject disagree with the teachers.
bool spoil(fuzz::Choices& in, PlanningInput& input) {
    auto& counts = input.present_by_subject;
    switch (in.byte() % 4) {
        case 0: ++counts[in.below(counts.size())]; return true;
        case 1: {
            const std::size_t subject = in.below(counts.size());
            if (counts[subject] == 0) return false;
            --counts[subject];
            return true;
        }
        case 2: {
            // One subject fewer: a present teacher of the last one has no pool.
            if (counts.back() == 0) return false;
            counts.pop_back();
            return true;
        }
        default: counts.push_back(1); return true;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Choices in(data, size);
    lessoncover::CoverPlanner planner;
    PlanningInput input;
    lessoncover::Plan plan;
    for (int day = 0; day < 3 && (day == 0 || in.more()); ++day) {
        make_input(in, input);
        if (in.one_in(8)) planner.make_room(in.count(8, 600));
        if (in.one_in(24) && !input.present_by_subject.empty() && spoil(in, input)) {
            bool refused = false;
            try {
                planner.decide(input, plan);
            } catch (const std::invalid_argument&) {
                refused = true;
            }
            FUZZ_CHECK(refused);
            continue;
        }
        planner.decide(input, plan);
        fuzz::check_plan(input, plan);
    }
    return 0;
}
