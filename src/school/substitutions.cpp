#include "school/substitutions.hpp"

#include <algorithm>
#include <chrono>
#include <new>
#include <utility>

#include "school/duration_text.hpp"

// How the run is laid out, and why.
//
// A school's records are scattered through memory, and on a large school nearly every
// first touch of a record is a cache miss. The run therefore plans from what the school
// keeps without reading records: the absent lessons of its classes, found when each class
// was added, and what the teacher list knows of each teacher (presence, subject, number
// of pairs, busy periods by code). It decides every cover, renders the report from texts
// that never change, and only then gives the covers to the substitutes, queued in the
// school's store for their records. A run that fails before that changes nothing.

namespace lessoncover {
namespace {

// Teachers in list order, as the planner sees them. Periods are coded as the teacher list
// codes them, whose busy periods come from the list; the lessons' periods past the list's
// first 64 get codes of this run after those, and their busy periods are read from the
// records. False when `check` stopped it part way.
bool build_planning_input(School& school, InterruptionCheck& check) {
    GenerationSpace& space = school.generation_space;
    PlanningInput& input = space.input;
    const TeacherList& list = school.teacher_list;
    constexpr std::size_t kListCodes = TeacherList::kPeriodCodes;
    PeriodCodes run_codes;  // codes of this run, from kListCodes up
    if (school.absent_lesson_without_code) {
        for (PlanningLesson& lesson : input.lessons) {
            if (lesson.code >= kListCodes) lesson.code = static_cast<PeriodCodes::Code>(kListCodes + run_codes.code_for(lesson.period));
        }
    }
    input.teachers.resize(list.size());
    input.size_period_sets(school.absent_lesson_without_code ? kListCodes + run_codes.size() : list.period_codes_made());
    space.slots.resize(list.size());
    // One step a teacher, counted ahead: the walk is short work even for a large school.
    if (check.step(static_cast<std::int64_t>(list.size()))) return false;
    list.for_each_placed([&](std::size_t place, TeacherList::Slot slot) {
        input.teachers[place] = PlanningTeacher{static_cast<std::uint32_t>(list.count(slot)),
                                                static_cast<SubjectId>(list.sub(slot)), list.present(slot)};
        input.busy_of(place)[0] = list.busy(slot);
        space.slots[place] = slot;
    });
    input.present_by_subject.resize(kSubjectCount);
    for (std::size_t subject = 0; subject < kSubjectCount; ++subject) {
        input.present_by_subject[subject] = static_cast<std::uint32_t>(list.present_count(static_cast<Subjects>(subject)));
    }
    if (!school.absent_lesson_without_code) return true;
    // The records hold every pair registered or given so far.
    school.store->ready_records();
    std::size_t pairs_read = 0;
    for (std::size_t teacher = 0; teacher < input.teachers.size(); ++teacher) {
        // Asked before the record is locked.
        if (check.step(1 + static_cast<std::int64_t>(std::exchange(pairs_read, 0)))) return false;
        if (!input.teachers[teacher].present) continue;
        const auto record = school.store->handle(space.slots[teacher]).lock();
        pairs_read = record->periods.size();
        for (const PeriodGrade& pair : record->periods) {
            const PeriodCodes::Code code = run_codes.code_of(pair.period);
            if (code != PeriodCodes::kNoCode) add_code(input.busy_of(teacher), kListCodes + code);
        }
    }
    return true;
}

// Gives every decided cover, once rendered, to its substitute: queued in the school's
// store, as new pairs (the substitute held no lesson in that period). The teacher list
// hears of them when the school next reads it (School::note_covers): noting a pair touches
// the substitute's entry, which on a large school lies anywhere in memory. Nothing is read
// from the records. False, with the school as it was, when there is no room for them.
bool apply_covers(School& school) {
    const GenerationSpace& space = school.generation_space;
    const std::vector<Decision>& decisions = space.plan.decisions;
    TeacherStore& store = *school.store;
    const LessonTexts& lessons = school.absent_lesson_texts;
    // The lessons that got a cover, in order, as rendering listed them.
    const std::vector<std::uint32_t>& covered = space.rendering.covered;
    try {
        school.teacher_list.make_room(0, covered.size());
        store.make_room_for_pairs(covered.size());
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (const std::uint32_t lesson : covered) {
        store.queue(space.slots[decisions[lesson].substitute], lessons.period(lesson), school.absent_lesson_grades[lesson]);
    }
    school.covers_to_note = !covered.empty();
    return true;
}

}  // namespace

Result<Done> generate_substitutions(School& school, ReportSink& sink, Interruption* interruption) {
    const auto started = std::chrono::steady_clock::now();
    school.note_covers();  // of the last run
    GenerationSpace& space = school.generation_space;
    InterruptionCheck check(interruption);
    try {
        if (!build_planning_input(school, check)) return interrupted();
        space.planner.decide(space.input, space.plan, check);
        if (check.stopped()) return interrupted();
        // The substitutes' names, from the teacher list, fetched ahead.
        struct NamesFromList {
            const TeacherList& list;
            const std::vector<std::uint32_t>& slots;
            SubstituteName operator()(std::uint32_t teacher) const noexcept {
                const TeacherList::Slot slot = slots[teacher];
                return SubstituteName{list.name(slot), list.name_needs_quotes(slot), list.name_is_ascii(slot)};
            }
            void prefetch(std::uint32_t teacher) const noexcept { list.prefetch_name(slots[teacher]); }
        };
        // The time taken, once the rows are written: in ms from a millisecond up, in µs below.
        const auto timing = [started] {
            return "Time taken to generate subs: " + duration_text(std::chrono::steady_clock::now() - started);
        };
        const std::optional<RenderedReport> rendered = render_report(
            space.plan, school.absent_lesson_texts, NamesFromList{school.teacher_list, space.slots}, timing,
            space.rendering, check);
        if (!rendered) return interrupted();
        if (!sink.take(*rendered)) return out_of_memory("no room for the report");
    } catch (const std::bad_alloc&) {
        return out_of_memory("out of memory while planning cover");
    }
    // The covers stay once written.
    if (check.ask_once_more()) return interrupted();
    if (!apply_covers(school)) return out_of_memory("out of memory while writing covers");
    return Done{};
}

Result<std::string> generate_substitutions(School& school) {
    StringSink sink;
    Result<Done> done = generate_substitutions(school, sink);
    if (!done.ok()) return done.error();
    return std::move(sink.text);
}

}  // namespace lessoncover
