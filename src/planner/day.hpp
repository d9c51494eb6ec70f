// A school day given as lists (teachers, lessons, absences), planned as a school built
// from it in this order would plan it:
//   1. the teachers in order, absentees marked absent with their reason, each added;
//   2. every lesson registered, in order;
//   3. the classes added in order of first appearance, after all registration;
//   4. one generation.
// So the list order is the teachers' order stably sorted by their number of distinct
// (period, class) pairs, and the absent lessons are those of absent teachers, class by
// class in order of first appearance and within a class in registration order, each
// (teacher, period) once per class.
//
// A policy adds to this: lessons of classes away and co-taught lessons are marked as not
// needing cover, a teacher absent part of the day has absent lessons only in those periods
// and is present in the others, prior covers count as pairs in the list order, and the
// links for combined lessons and doubles are found.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "interruption.hpp"
#include "planner/planning_input.hpp"
#include "report/lesson_texts.hpp"

namespace lessoncover {

struct DayTeacher {
    std::string_view name;
    std::string_view reason;  // the reason of absence, for an absent teacher
    SubjectId subject;
    bool present;  // false: absent all day
    bool part_day = false;  // present, but absent in its periods of DayPolicy::absent_periods
};

struct DayLesson {
    std::uint32_t teacher;   // in Day::teachers
    std::uint32_t class_id;  // in Day::class_names
    std::int16_t period;
};

// A lesson of the day by what names it: its teacher, class and period; a key of maps from
// the lessons to their places.
struct LessonKey {
    std::uint32_t teacher;
    std::uint32_t class_id;
    std::int16_t period;
    bool operator==(const LessonKey&) const = default;
};

struct LessonKeyHash {
    std::size_t operator()(const LessonKey& key) const noexcept {
        const std::uint64_t mixed = ((std::uint64_t{key.teacher} << 32) | key.class_id) * 0x9E3779B97F4A7C15ULL;
        return static_cast<std::size_t>(mixed ^ (mixed >> 29) ^ static_cast<std::uint16_t>(key.period));
    }
};

// A number and a period in one key: a teacher's or a class's period, for sets and maps.
constexpr std::uint64_t period_key(std::uint32_t number, std::int16_t period) noexcept {
    return (std::uint64_t{number} << 16) | static_cast<std::uint16_t>(period);
}

// A cover fixed in advance, as the office gave it: names and classes the day may not have
// are kUnknown, refused when the pins are checked (see day_pins.hpp).
struct DayPin {
    static constexpr std::uint32_t kUnknown = static_cast<std::uint32_t>(-1);
    std::uint32_t absent;      // in Day::teachers
    std::uint32_t class_id;    // in Day::classes
    std::int16_t period;
    std::uint32_t substitute;  // in Day::teachers
};

// What the office said beyond who is absent; empty, it changes nothing.
struct DayPolicy {
    std::uint32_t max_covers = PlanningPolicy::kNoCap;
    bool keep_doubles = false;
    bool combined_lessons = false;
    bool co_taught_no_cover = false;
    // By teacher, empty for none. A teacher's lessons and prior covers sum below 2^32.
    std::vector<std::uint32_t> prior_covers;
    std::vector<std::pair<std::uint32_t, std::int16_t>> unavailable;     // (teacher, period)
    std::vector<std::pair<std::uint32_t, std::int16_t>> absent_periods;  // of part_day teachers
    std::vector<std::uint8_t> class_away;  // by class id, empty for none
    std::vector<DayPin> pins;              // in the order given
    std::vector<std::uint8_t> supply;      // by teacher, empty for none: supply staff
    Strategy strategy = Strategy::greedy;
};

// Texts are views: what they view must outlive the Day and what is planned from it.
struct Day {
    std::vector<DayTeacher> teachers;       // in school order
    std::vector<DayLesson> lessons;         // in registration order
    std::vector<std::string_view> classes;  // by class id; ids in order of first appearance
    std::vector<std::string_view> subjects; // display names by subject id
    DayPolicy policy;
};

// The planning input of a day and what the report and the plan's readers need beside it.
struct DayInput {
    PlanningInput input;
    LessonTexts texts;                         // by absent lesson
    std::vector<std::uint32_t> list_order;     // by place in input.teachers: the day's teacher
    std::vector<std::uint32_t> lesson_absent;  // by absent lesson: the day's teacher
    std::vector<std::uint32_t> lesson_class;   // by absent lesson: the class id
    // By absent lesson, with co-taught lessons not covered: the day's teacher who teaches the
    // class then too (the first such lesson registered), or kNoTeacher.
    static constexpr std::uint32_t kNoTeacher = static_cast<std::uint32_t>(-1);
    std::vector<std::uint32_t> co_teacher;
};

// Builds the planning input of `day` into `out`. The day must be sound: every lesson's
// teacher and class within range, every teacher's subject below day.subjects.size(), the
// policy's teachers and classes within range.
void build_day_input(const Day& day, DayInput& out);
// The same, counting a step a lesson and a teacher on `check`: false, with `out` part
// built, when it stopped.
bool build_day_input(const Day& day, DayInput& out, InterruptionCheck& check);

}  // namespace lessoncover
