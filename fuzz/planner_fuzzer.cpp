// libFuzzer harness: CoverPlanner::decide on random planning inputs, checked lesson by
// lesson against the plain model in plan_model.hpp.
//
// An input describes up to three days planned one after another by one CoverPlanner, as
// a school that plans again reuses it. Each day has up to ~500 teachers (so a subject's
// pool spans several 64-bit words), up to ~200 distinct periods over the whole int16
// range (so sets of period codes span up to four words, and sometimes more codes than
// periods, as a school's codes include periods no lesson is in), and loads up to
// 2^32 - 1. Now and then the day is spoilt on purpose (counts of present teachers by
// subject, or a lesson's code): decide must refuse it with std::invalid_argument, and the
// planner must plan the next day correctly all the same.
#include <algorithm>
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

// The day's distinct periods, each with a distinct code below `codes`, in a shuffled order.
std::vector<Period> make_periods(fuzz::Choices& in, std::size_t& codes) {
    const std::size_t wanted = 1 + (in.one_in(4) ? in.count(60, 199) : in.count(11, 79));
    std::vector<std::int16_t> recent;
    std::vector<Period> periods;
    for (std::size_t attempt = 0; attempt < 2 * wanted && periods.size() < wanted; ++attempt) {
        const std::int16_t number = in.period(recent);
        if (std::none_of(periods.begin(), periods.end(), [&](const Period& p) { return p.number == number; })) {
            periods.push_back(Period{number, 0});
        }
    }
    codes = periods.size() + (in.one_in(4) ? in.count(4, 70) : 0);
    std::vector<PeriodCodes::Code> order(codes);
    std::iota(order.begin(), order.end(), PeriodCodes::Code{0});
    if (!in.one_in(4)) {
        for (std::size_t i = order.size() - 1; i > 0; --i) std::swap(order[i], order[in.below(i + 1)]);
    }
    for (std::size_t i = 0; i < periods.size(); ++i) periods[i].code = order[i];
    return periods;
}

void make_input(fuzz::Choices& in, PlanningInput& input) {
    input.clear();
    const std::size_t subjects = 1 + in.count(5, 40);
    std::size_t codes = 0;
    const std::vector<Period> periods = make_periods(in, codes);

    const std::size_t teacher_count = in.count(24, 520);
    input.teachers.resize(teacher_count);
    input.size_period_sets(codes);
    for (std::size_t teacher = 0; teacher < teacher_count; ++teacher) {
        lessoncover::PlanningTeacher& listed = input.teachers[teacher];
        const std::uint8_t shape = in.byte();
        listed.subject = static_cast<lessoncover::SubjectId>(shape & 0x80 ? in.below(subjects) : (shape & 0x40 ? 1 % subjects : 0));
        listed.present = (shape & 0x30) != 0x30;
        listed.load = (shape & 0x0f) == 0x0f ? in.u32() : shape & 0x07;
        // Busy in a few of the periods; now and then in codes no lesson is in.
        for (std::size_t n = in.byte() % 4; n > 0; --n) {
            lessoncover::add_code(input.busy_of(teacher), periods[in.below(periods.size())].code);
        }
        if (in.one_in(16)) lessoncover::add_code(input.busy_of(teacher), in.below(codes));
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

// Makes the counts of present teachers by subject disagree with the teachers, or a lesson's
// code fall outside the day's codes.
bool spoil(fuzz::Choices& in, PlanningInput& input) {
    auto& counts = input.present_by_subject;
    switch (in.byte() % 5) {
        case 4: {
            if (input.lessons.empty()) return false;
            input.lessons[in.below(input.lessons.size())].code = static_cast<PeriodCodes::Code>(input.period_codes + in.byte());
            return true;
        }
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
