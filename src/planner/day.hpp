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
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "planner/planning_input.hpp"
#include "report/lesson_texts.hpp"

namespace lessoncover {

struct DayTeacher {
    std::string_view name;
    std::string_view reason;  // the reason of absence, for an absent teacher
    SubjectId subject;
    bool present;
};

struct DayLesson {
    std::uint32_t teacher;   // in Day::teachers
    std::uint32_t class_id;  // in Day::class_names
    std::int16_t period;
};

// Texts are views: what they view must outlive the Day and what is planned from it.
struct Day {
    std::vector<DayTeacher> teachers;       // in school order
    std::vector<DayLesson> lessons;         // in registration order
    std::vector<std::string_view> classes;  // by class id; ids in order of first appearance
    std::vector<std::string_view> subjects; // display names by subject id
};

// The planning input of a day and what the report and the plan's readers need beside it.
struct DayInput {
    PlanningInput input;
    LessonTexts texts;                         // by absent lesson
    std::vector<std::uint32_t> list_order;     // by place in input.teachers: the day's teacher
    std::vector<std::uint32_t> lesson_absent;  // by absent lesson: the day's teacher
    std::vector<std::uint32_t> lesson_class;   // by absent lesson: the class id
};

// Builds the planning input of `day` into `out`. The day must be sound: every lesson's
// teacher and class within range, every teacher's subject below day.subjects.size().
void build_day_input(const Day& day, DayInput& out);

}  // namespace lessoncover
