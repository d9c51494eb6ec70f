// The days the day fuzzer plans, made from its input: a random school day given as lists,
// now and then with a random policy and pins. Shared by the fuzzer and by the tool that
// writes the same days out for the plain Python model of the rules to plan.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_input.hpp"
#include "planner/day.hpp"
#include "planner/day_pins.hpp"
#include "planner/decide.hpp"

namespace fuzz {

using lessoncover::Day;
using lessoncover::DayInput;

// Texts with each thing the report quotes or passes through: commas, quotes, line breaks,
// non-ASCII letters, long names; and now and then any bytes at all.
inline std::string_view text(Choices& in, std::deque<std::string>& storage, const std::vector<std::string>& pool) {
    switch (in.byte() % 8) {
        case 0: storage.push_back(in.bytes(24)); break;
        case 1: storage.push_back(std::string(1 + in.below(300), static_cast<char>('a' + in.below(26)))); break;
        default: return in.pick(pool);
    }
    return storage.back();
}

inline const std::vector<std::string> kNames = {"Asha", "Ben", "Chen, D", "Dev \"D\"", "Eve\nF", "Zo\xc3\xab", "\xc5\x81ukasz",
                                         "\xe6\x9d\x8e", "Asha", "x\ry", ""};
inline const std::vector<std::string> kSubjects = {"Maths", "Physics", "French, advanced", "Fran\xc3\xa7" "ais", "Art \"A\"",
                                            "Games"};
inline const std::vector<std::string> kClasses = {"10A", "9B", "R\"1", "Lab,2", "x\ry", "\xc3\x9c" "1", "10A ", ""};
inline const std::vector<std::string> kReasons = {"Planned Absense", "Course, off site", "", "Sick \"flu\"", "line\nbreak",
                                           "Kr\xc3\xa4nk"};

inline void make_day(Choices& in, Day& day, std::deque<std::string>& storage) {
    day = Day{};
    for (std::size_t n = 1 + in.below(8); n > 0; --n) day.subjects.push_back(text(in, storage, kSubjects));
    // How many are absent: a quarter, half, one in sixteen or three quarters.
    static constexpr unsigned kAbsentOf16[] = {4, 8, 1, 12};
    const unsigned absent_of_16 = kAbsentOf16[in.byte() % 4];
    const std::size_t teacher_count = in.count(24, 240);
    for (std::size_t t = 0; t < teacher_count; ++t) {
        const std::uint8_t shape = in.byte();
        lessoncover::DayTeacher teacher{};
        teacher.name = text(in, storage, kNames);
        teacher.subject = static_cast<lessoncover::SubjectId>(shape & 0x80 ? in.below(day.subjects.size())
                                                                           : (shape >> 4) % 2 % day.subjects.size());
        teacher.present = (shape & 0x0fU) + absent_of_16 < 16;
        teacher.reason = teacher.present ? std::string_view("Planned Absense") : text(in, storage, kReasons);
        day.teachers.push_back(teacher);
    }
    if (teacher_count == 0) return;
    const std::size_t lesson_count = in.count(40, 480, 16);
    // Mostly periods near each other; or spread over a range wide enough that the absent
    // lessons' periods need sets of period codes more than one word wide.
    static constexpr std::int32_t kSpreads[] = {0, 40, 90, 200};
    const std::uint8_t period_shape = in.byte();
    const std::int32_t spread = kSpreads[period_shape % 4];
    const std::int32_t base = period_shape & 4 ? static_cast<std::int16_t>(in.u16()) : 0;
    // Teachers and wide periods step on from lesson to lesson by themselves, plus what the
    // input adds, so that a day of many lessons needs no more input than a small one.
    const std::size_t teacher_step = 1 + 2 * in.below(8);
    const std::size_t period_step = 1 + 2 * in.below(16);
    std::vector<std::int16_t> recent;
    for (std::size_t l = 0; l < lesson_count; ++l) {
        lessoncover::DayLesson lesson{};
        lesson.teacher = static_cast<std::uint32_t>((l * teacher_step + in.below(teacher_count)) % teacher_count);
        // Class ids in order of first appearance: a lesson is in a known class or the next.
        const std::uint8_t class_choice = in.byte();
        if (day.classes.empty() || class_choice % 6 == 5) {
            lesson.class_id = static_cast<std::uint32_t>(day.classes.size());
            day.classes.push_back(text(in, storage, kClasses));
        } else {
            lesson.class_id = static_cast<std::uint32_t>(class_choice % day.classes.size());
        }
        if (spread == 0 || in.byte() % 4 == 3) {
            lesson.period = in.period(recent);
        } else {
            const auto offset = static_cast<std::int32_t>((l * period_step + in.byte()) % static_cast<std::size_t>(spread));
            lesson.period = static_cast<std::int16_t>(std::clamp(base + offset, -32768, 32767));
        }
        day.lessons.push_back(lesson);
    }
}

// A random policy for `day`: part-day absences, unavailable periods, a cap, prior covers,
// classes away, and the three switches. Periods are taken from the day's lessons, so
// that they matter.
inline void add_policy(Choices& in, Day& day) {
    lessoncover::DayPolicy& policy = day.policy;
    const std::uint8_t switches = in.byte();
    policy.keep_doubles = switches & 1;
    policy.combined_lessons = switches & 2;
    policy.co_taught_no_cover = switches & 4;
    if (switches & 8) policy.max_covers = in.below(4);
    const auto some_period = [&] { return day.lessons[in.below(day.lessons.size())].period; };
    for (std::size_t n = in.below(8); n > 0; --n) {
        const auto teacher = static_cast<std::uint32_t>(in.below(day.teachers.size()));
        lessoncover::DayTeacher& absent = day.teachers[teacher];
        if (absent.part_day) continue;
        absent.present = true;
        absent.part_day = true;
        for (std::size_t k = 1 + in.below(3); k > 0; --k) policy.absent_periods.emplace_back(teacher, some_period());
    }
    for (std::size_t n = in.below(12); n > 0; --n) {
        policy.unavailable.emplace_back(static_cast<std::uint32_t>(in.below(day.teachers.size())), some_period());
    }
    if (switches & 16) {
        policy.prior_covers.assign(day.teachers.size(), 0);
        for (auto& prior : policy.prior_covers) prior = in.below(4);
    }
    if (switches & 32) {
        policy.class_away.assign(day.classes.size(), 0);
        for (std::size_t n = 1 + in.below(3); n > 0; --n) policy.class_away[in.below(day.classes.size())] = 1;
    }
}

// Random pins for `day`, whose input `out` is built: mostly absent lessons of the day with
// any teacher as substitute (sound or not), now and then a name or class the day lacks.
// Those the day takes are in out's policy; false when pin_lessons refused one, which then
// names a pin given.
inline bool add_pins(Choices& in, Day& day, DayInput& out) {
    using lessoncover::DayPin;
    const std::size_t lessons = out.input.lessons.size();
    for (std::size_t k = in.below(5); k > 0 && lessons != 0; --k) {
        const std::size_t lesson = in.below(lessons);
        DayPin pin{out.lesson_absent[lesson], out.lesson_class[lesson], out.input.lessons[lesson].period,
                   static_cast<std::uint32_t>(in.below(day.teachers.size()))};
        switch (in.below(16)) {
            case 0: pin.absent = DayPin::kUnknown; break;
            case 1: pin.class_id = DayPin::kUnknown; break;
            case 2: pin.substitute = DayPin::kUnknown; break;
            case 3: pin.period = static_cast<std::int16_t>(pin.period + 1); break;
            default: break;
        }
        day.policy.pins.push_back(pin);
    }
    const auto pinned = lessoncover::pin_lessons(day, out);
    if (pinned.ok()) return true;
    FUZZ_CHECK(pinned.error().pin < day.policy.pins.size() && !pinned.error().reason.empty());
    return false;
}

// Up to two days planned one after another with one CoverPlanner and one DayInput, as a
// caller that plans again reuses them; each day now and then planned again under a random
// policy. Calls planned(day, out, plan, with_policy) after each plan.
template <class Planned>
void plan_days(Choices& in, Planned&& planned) {
    lessoncover::CoverPlanner planner;
    lessoncover::Plan plan;
    DayInput out;
    for (int round = 0; round < 2 && (round == 0 || in.more()); ++round) {
        std::deque<std::string> storage;
        Day day;
        make_day(in, day, storage);
        lessoncover::build_day_input(day, out);
        planner.decide(out.input, plan);
        planned(day, out, plan, false);
        if (!day.lessons.empty() && in.more() && in.byte() % 4 == 0) {
            add_policy(in, day);
            lessoncover::build_day_input(day, out);
            if (in.more() && in.byte() % 2 == 0 && !add_pins(in, day, out)) {
                day.policy.pins.clear();
                out.input.policy.pins.clear();
            }
            planner.decide(out.input, plan);
            planned(day, out, plan, true);
        }
    }
}

}  // namespace fuzz
