#include "school/substitutions.hpp"

#include <algorithm>
#include <bitset>
#include <chrono>
#include <memory>
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
// that never change, and only then writes the covers into the substitutes' records,
// fetching the records a few covers ahead. A run that fails before that changes nothing.

namespace lessoncover {
namespace {

void prefetch_for_write(const void* address) noexcept { __builtin_prefetch(address, 1); }

// Teachers in list order, as the planner sees them. Busy periods without a code (a school
// with more than 64 distinct periods) are read from the records, for the periods some
// lesson needs. False when `check` stopped it part way.
bool build_planning_input(School& school, InterruptionCheck& check) {
    GenerationSpace& space = school.generation_space;
    PlanningInput& input = space.input;
    const TeacherList& list = school.teacher_list;
    input.teachers.resize(list.size());
    space.slots.resize(list.size());
    // One step a teacher, counted ahead: the walk is short work even for a large school.
    if (check.step(static_cast<std::int64_t>(list.size()))) return false;
    std::size_t place = 0;
    list.for_each_in_order([&](TeacherList::Slot slot) {
        input.teachers[place] = PlanningTeacher{list.busy(slot), static_cast<std::uint32_t>(list.count(slot)),
                                                static_cast<SubjectId>(list.sub(slot)), list.present(slot)};
        space.slots[place] = slot;
        ++place;
    });
    input.present_by_subject.resize(kSubjectCount);
    for (std::size_t subject = 0; subject < kSubjectCount; ++subject) {
        input.present_by_subject[subject] = static_cast<std::uint32_t>(list.present_count(static_cast<Subjects>(subject)));
    }
    input.uncoded_busy.clear();
    if (!school.absent_lesson_without_code) return true;
    auto wanted = std::make_unique<std::bitset<std::size_t{1} << 16>>();
    for (const PlanningLesson& lesson : input.lessons) {
        if (lesson.code == PeriodCodes::kNoCode) wanted->set(static_cast<std::uint16_t>(lesson.period));
    }
    std::size_t pairs_read = 0;
    for (std::size_t teacher = 0; teacher < input.teachers.size(); ++teacher) {
        // Asked before the record is locked.
        if (check.step(1 + static_cast<std::int64_t>(std::exchange(pairs_read, 0)))) return false;
        if (!input.teachers[teacher].present) continue;
        const auto record = list.handle(space.slots[teacher]).lock();
        pairs_read = record->periods.size();
        for (const PeriodGrade& pair : record->periods) {
            if (wanted->test(static_cast<std::uint16_t>(pair.period))) {
                input.uncoded_busy.push_back(PlanningInput::uncoded_key(static_cast<std::uint32_t>(teacher), pair.period));
            }
        }
    }
    std::sort(input.uncoded_busy.begin(), input.uncoded_busy.end());
    input.uncoded_busy.erase(std::unique(input.uncoded_busy.begin(), input.uncoded_busy.end()), input.uncoded_busy.end());
    return true;
}

// Writes every decided cover, once rendered, into its substitute's record. The teacher
// list's entry and the record of the substitute some covers ahead are fetched first, then
// where the pair will go. Should memory run out on the way, the covers written so far are
// taken back and false comes back: the school is as it was.
bool apply_covers(School& school) {
    const GenerationSpace& space = school.generation_space;
    const std::vector<Decision>& decisions = space.plan.decisions;
    TeacherList& list = school.teacher_list;
    const LessonTexts& lessons = school.absent_lesson_texts;
    const auto slot_of = [&](std::size_t lesson) { return space.slots[decisions[lesson].substitute]; };
    // The lessons that got a cover, in order, as rendering listed them.
    const std::vector<std::uint32_t>& covered = space.rendering.covered;
    try {
        list.make_room(0, 0, covered.size());
    } catch (const std::bad_alloc&) {
        return false;
    }
    const std::size_t notes_mark = list.notes_mark();
    std::size_t applied = 0;
    try {
        constexpr std::size_t kAhead = 12;
        for (; applied < covered.size(); ++applied) {
            const std::size_t i = applied;
            if (i + 2 * kAhead < covered.size()) list.prefetch(slot_of(covered[i + 2 * kAhead]));
            if (i + kAhead < covered.size()) {
                const TeacherList::Slot ahead = slot_of(covered[i + kAhead]);
                list.handle(ahead).prefetch_for_write(sizeof(PeriodSet));  // periods come first
                prefetch_for_write(list.next_pair_place(ahead));
                prefetch_for_write(static_cast<const char*>(list.next_pair_place(ahead)) + sizeof(PeriodGrade) - 1);
            }
            const std::size_t lesson = covered[i];
            const TeacherList::Slot slot = slot_of(lesson);
            const void* next_pair_place = nullptr;
            {
                const auto teacher = list.handle(slot).lock();
                teacher->add_period(lessons.period(lesson), lessons.class_name(lesson));  // a new pair
                next_pair_place = teacher->periods.next_place();
            }
            list.note_pair_added(slot, lessons.period(lesson), next_pair_place);
        }
    } catch (const std::bad_alloc&) {
        while (applied-- > 0) {
            const std::size_t lesson = covered[applied];
            const TeacherList::Slot slot = slot_of(lesson);
            const auto teacher = list.handle(slot).lock();
            teacher->periods.remove_newest();
            list.take_back_pair(slot, lessons.period(lesson), teacher->teaches_in(lessons.period(lesson)),
                                teacher->periods.next_place());
        }
        list.forget_notes_since(notes_mark);
        return false;
    }
    return true;
}

}  // namespace

Result<Done> generate_substitutions(School& school, ReportSink& sink, Interruption* interruption) {
    const auto started = std::chrono::steady_clock::now();
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
        const auto rendered = render_report(
            space.plan, school.absent_lesson_texts, NamesFromList{school.teacher_list, space.slots},
            sink,
            [started] {
                std::string timing = "Time taken to generate subs: ";
                timing += duration_text(std::chrono::steady_clock::now() - started);
                return timing;
            },
            space.rendering, check);
        if (check.stopped()) return interrupted();
        if (!rendered) return out_of_memory("no room for the report");
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
