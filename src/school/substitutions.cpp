// A school's cover generation (School::generate_substitutions): build the planning input
// from the school, decide, render the report, and only then write the covers into the
// substitutes' records.
#include <algorithm>
#include <chrono>
#include <new>
#include <utility>

#include "school/duration_text.hpp"
#include "school/school.hpp"

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

// Teachers in list order, as the planner sees them. Periods are coded as the teacher list
// codes them, whose busy periods come from the list; the lessons' periods past the list's
// first 64 get codes of this run after those, and their busy periods are read from the
// records. False when `check` stopped it part way.
bool School::build_planning_input(InterruptionCheck& check) {
    GenerationSpace& space = generation_space_;
    PlanningInput& input = space.input;
    const TeacherList& list = noted_list();
    constexpr std::size_t kListCodes = TeacherList::kPeriodCodes;
    PeriodCodes run_codes;  // codes of this run, from kListCodes up
    if (absent_lesson_without_code_) {
        for (PlanningLesson& lesson : input.lessons) {
            if (lesson.code >= kListCodes) lesson.code = static_cast<PeriodCodes::Code>(kListCodes + run_codes.code_for(lesson.period));
        }
    }
    input.teachers.resize(list.size());
    input.size_period_sets(absent_lesson_without_code_ ? kListCodes + run_codes.size() : list.period_codes_made());
    space.slots.resize(list.size());
    // One step a teacher, counted ahead: the walk is short work even for a large school.
    if (check.step(static_cast<std::int64_t>(list.size()))) return false;
    list.for_each_placed([&](ListPlace place, TeacherSlot slot) {
        input.teachers[place.value] = PlanningTeacher{static_cast<std::uint32_t>(list.count(slot)),
                                                      static_cast<SubjectId>(list.sub(slot)), list.present(slot)};
        input.busy_of(place.value)[0] = list.busy(slot);
        space.slots[place.value] = slot;
    });
    input.present_by_subject.resize(kSubjectCount);
    for (std::size_t subject = 0; subject < kSubjectCount; ++subject) {
        input.present_by_subject[subject] = static_cast<std::uint32_t>(list.present_count(static_cast<Subjects>(subject)));
    }
    if (!absent_lesson_without_code_) return true;
    // The records hold every pair registered or given so far.
    store_->ready_records();
    std::size_t pairs_read = 0;
    for (std::uint32_t teacher = 0; teacher < input.teachers.size(); ++teacher) {
        // Asked before the record is locked.
        if (check.step(1 + static_cast<std::int64_t>(std::exchange(pairs_read, 0)))) return false;
        if (!input.teachers[teacher].present) continue;
        const auto record = store_->handle(space.slot_of(ListPlace{teacher})).lock();
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
// hears of them when the school next reads it (noted_list): noting a pair touches
// the substitute's entry, which on a large school lies anywhere in memory. Nothing is read
// from the records. False, with the school as it was, when there is no room for them.
bool School::apply_covers() {
    const GenerationSpace& space = generation_space_;
    const std::vector<Decision>& decisions = space.plan.decisions;
    TeacherStore& store = *store_;
    const LessonTexts& lessons = absent_lesson_texts_;
    // The lessons that got a cover, in order, as rendering listed them.
    const std::vector<std::uint32_t>& covered = space.rendering.covered;
    try {
        noted_list().make_room(0, covered.size());
        store.make_room_for_pairs(covered.size());
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (const std::uint32_t lesson : covered) {
        store.queue(space.slot_of(ListPlace{decisions[lesson].substitute}), lessons.period(lesson),
                    absent_lesson_class_names_[lesson]);
    }
    if (!covered.empty()) teachers_.covers_queued();
    return true;
}

Result<Done> School::generate_substitutions(ReportSink& sink, Interruption* interruption) {
    const auto started = std::chrono::steady_clock::now();
    GenerationSpace& space = generation_space_;
    InterruptionCheck check(interruption);
    try {
        // Reads the list with the covers of the last run noted.
        if (!build_planning_input(check)) return interrupted();
        space.planner.decide(space.input, space.plan, check);
        if (check.stopped()) return interrupted();
        // The substitutes' names, from the teacher list, fetched ahead.
        struct NamesFromList {
            const TeacherList& list;
            const GenerationSpace& space;
            SubstituteName operator()(std::uint32_t teacher) const noexcept {
                const TeacherSlot slot = space.slot_of(ListPlace{teacher});
                return SubstituteName{list.name(slot), list.name_needs_quotes(slot), list.name_is_ascii(slot)};
            }
            void prefetch(std::uint32_t teacher) const noexcept { list.prefetch_name(space.slot_of(ListPlace{teacher})); }
        };
        // The time taken, once the rows are written: in ms from a millisecond up, in µs below.
        const auto timing = [started] {
            return "Time taken to generate subs: " + duration_text(std::chrono::steady_clock::now() - started);
        };
        const std::optional<RenderedReport> rendered = render_report(
            space.plan, absent_lesson_texts_, NamesFromList{noted_list(), space}, timing, space.rendering, check);
        if (!rendered) return interrupted();
        if (!sink.take(*rendered)) return out_of_memory("no room for the report");
    } catch (const std::bad_alloc&) {
        return out_of_memory("out of memory while planning cover");
    }
    // The covers stay once written.
    if (check.ask_once_more()) return interrupted();
    if (!apply_covers()) return out_of_memory("out of memory while writing covers");
    return Done{};
}

Result<std::string> School::generate_substitutions() {
    StringSink sink;
    Result<Done> done = generate_substitutions(sink);
    if (!done.ok()) return done.error();
    return std::move(sink.text);
}

}  // namespace lessoncover
