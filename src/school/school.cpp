#include "school/school.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <optional>
#include <unordered_set>

#include "report/csv_field.hpp"
#include "reserve_more.hpp"
#include "school/subject_table.hpp"

namespace lessoncover {
namespace {

struct LessonHash {
    std::size_t operator()(const std::pair<const void*, std::int16_t>& lesson) const noexcept {
        const auto bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(lesson.first)) ^
                          (std::uint64_t{static_cast<std::uint16_t>(lesson.second)} << 48);
        return static_cast<std::size_t>((bits * 0x9e3779b97f4a7c15ULL) >> 16);
    }
};

// A class's entries are gone through in blocks, with one count of steps a block.
constexpr std::size_t kEntryBlock = 1024;

// Appends the absent lessons of a class just added, the first entry of each (record,
// period) pair, and their row parts. False when `check` stopped it part way.
bool append_absent_lessons(School& school, const Class& added, InterruptionCheck& check) {
    using Lesson = std::pair<const void*, std::int16_t>;  // (teacher, period)
    // This class's absent lessons so far; searched directly while few.
    constexpr std::size_t kDirectSearchLimit = 32;
    std::array<Lesson, kDirectSearchLimit> listed;
    std::size_t listed_count = 0;
    std::unordered_set<Lesson, LessonHash> seen;
    const auto repeated = [&](const void* record, std::int16_t period) {
        const Lesson lesson{record, period};
        if (listed_count < kDirectSearchLimit) {
            if (std::find(listed.begin(), listed.begin() + listed_count, lesson) != listed.begin() + listed_count) {
                return true;
            }
            listed[listed_count++] = lesson;
            return false;
        }
        if (seen.empty()) seen.insert(listed.begin(), listed.end());
        return !seen.insert(lesson).second;
    };

    const void* previous_teacher = nullptr;
    std::int16_t previous_period = 0;
    bool grade_made = false;
    TeacherStore::ClassNameId grade = 0;
    const std::vector<PeriodEntry>& entries = added.list_of_periods;
    for (std::size_t start = 0; start < entries.size(); start += kEntryBlock) {
        const std::size_t end = std::min(entries.size(), start + kEntryBlock);
        // Between entries, when no record is locked.
        if (check.step(static_cast<std::int64_t>(end - start))) return false;
        for (std::size_t at = start; at < end; ++at) {
            const PeriodEntry& entry = entries[at];
            const bool own_handle = entry.source == PeriodEntry::kOwnHandle;
            // Who the teacher is, without reading a record: where it is kept. A teacher is
            // in one store at most, and never both there and among the class's own handles.
            const void* identity = own_handle ? added.own_handles[entry.teacher].identity()
                                              : added.sources[entry.source]->identity(entry.teacher);
            // Registration stores each lesson twice in a row (as one entry, or two).
            if (identity == previous_teacher && entry.period == previous_period) continue;
            previous_teacher = identity;
            previous_period = entry.period;

            // Name, subject, presence and reason never change in a school's copy: the store
            // that keeps a teacher knows them without a record, and the record of a handle
            // the class holds tells of that one.
            Subjects sub{};
            TeacherStore::Texts texts;
            if (!own_handle) {
                const TeacherStore& store = *added.sources[entry.source];
                if (store.present(entry.teacher) || repeated(identity, entry.period)) continue;
                sub = store.sub(entry.teacher);
                texts = TeacherStore::Texts{store.name(entry.teacher), store.reason(entry.teacher)};
            } else {
                const auto teacher = added.own_handles[entry.teacher].lock();
                if (teacher->present || repeated(identity, entry.period)) continue;
                sub = teacher->sub;
                texts = TeacherStore::Texts{teacher->name, teacher->reason_of_absentee};
            }
            if (!grade_made) {
                grade = school.store->grade_for(added.class_name);
                grade_made = true;
            }
            school.absent_lesson_texts.append(texts.name, entry.period, display_name(sub), added.class_name,
                                              texts.reason);
            school.absent_lesson_grades.push_back(grade);
            const PeriodCodes::Code code = school.teacher_list.code_for(entry.period);
            school.generation_space.input.lessons.push_back(PlanningLesson{entry.period, code, static_cast<SubjectId>(sub)});
            if (code == PeriodCodes::kNoCode) school.absent_lesson_without_code = true;
        }
    }
    return true;
}

// Keeps the class's entries a block at a time; false when `check` stopped it part way.
bool keep_entries(const std::vector<PeriodEntry>& entries, ClassArchive& classes, InterruptionCheck& check) {
    for (std::size_t start = 0; start < entries.size(); start += kEntryBlock) {
        const std::size_t end = std::min(entries.size(), start + kEntryBlock);
        if (check.step(static_cast<std::int64_t>(end - start))) return false;
        classes.append_entries(std::span(entries).subspan(start, end - start));
    }
    return true;
}

// Copies the class in; a stop asked for by `check` leaves the school as it was, and so
// does running out of memory (std::bad_alloc comes through).
Result<Done> add_class_to(School& school, const Class& school_class, InterruptionCheck& check) {
    school.note_covers();
    // The class kept, its absent lessons and room for what follows; should that fail, or a
    // stop be asked for, the checkpoint takes them back and the school is as it was.
    School::Checkpoint checkpoint(school);
    school.classes.begin(school_class);
    if (!keep_entries(school_class.list_of_periods, school.classes, check) ||
        !append_absent_lessons(school, school_class, check) || check.ask_once_more()) {
        return interrupted();
    }
    school.generation_space.make_room_for_lessons(school.generation_space.input.lessons.size());
    school.teacher_list.make_room_for_sort();
    checkpoint.commit();
    school.teacher_list.sort_by_period_count();
    return Done{};
}

}  // namespace

// ------------------------------------------------------------ TeacherList --

void TeacherList::make_room(std::size_t teachers, std::size_t notes) {
    codes_.make_room();
    reserve_more(teachers_, teachers);
    order_.make_room(teachers, notes);
}

TeacherList::NameEntry::NameEntry(std::string_view name) noexcept : text{} {
    if (name.size() <= kShortName) {
        std::memcpy(text.here, name.data(), name.size());
        name_size = static_cast<std::uint8_t>(name.size());
    } else {
        text.kept = {name.data(), name.size()};
        name_size = kLongName;
    }
}

TeacherList::Slot TeacherList::append(const Teacher& teacher, std::string_view kept_name) noexcept {
    NameEntry name_entry(kept_name);
    std::uint64_t busy = 0;
    for (const PeriodGrade& pair : teacher.periods) busy |= bit_for(pair.period);
    const bool quoted = needs_csv_quotes(teacher.name);
    const bool ascii = is_ascii(teacher.name);
    name_entry.name_traits = static_cast<std::uint8_t>((quoted ? kQuotedName : 0) | (ascii ? kAsciiName : 0));
    if (teacher.present) {
        ++present_counts_[static_cast<std::size_t>(teacher.sub)];
        ++present_total_;
    }
    teachers_.push_back(name_entry);
    const Slot slot = order_.add(static_cast<std::uint32_t>(teacher.periods.size()));
    ListOrder::Entry& entry = order_.entry(slot);
    entry.owner_bits = busy;
    entry.owner_byte = static_cast<std::uint8_t>(static_cast<std::uint8_t>(teacher.sub) | (teacher.present ? kPresent : 0));
    return slot;
}

// ----------------------------------------------------------------- School --

School::Checkpoint::Checkpoint(School& school) noexcept
    : school_(school),
      classes_(school.classes.mark()),
      lessons_(school.generation_space.input.lessons.size()),
      grades_(school.absent_lesson_grades.size()),
      store_grades_(school.store->grades_made()),
      texts_(school.absent_lesson_texts.mark()),
      without_code_(school.absent_lesson_without_code),
      period_codes_(school.teacher_list.period_codes_made()) {}

School::Checkpoint::~Checkpoint() {
    if (committed_) return;
    school_.generation_space.input.lessons.resize(lessons_);
    school_.absent_lesson_grades.resize(grades_);
    school_.store->forget_grades_from(store_grades_);
    school_.absent_lesson_texts.truncate(texts_);
    school_.absent_lesson_without_code = without_code_;
    school_.teacher_list.forget_period_codes_from(period_codes_);
    school_.classes.truncate(classes_);
}

std::uint64_t SchoolId::next() noexcept {
    static std::atomic<std::uint64_t> last{0};
    return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

void School::note_pending_covers() noexcept {
    covers_to_note = false;
    const GenerationSpace& space = generation_space;
    const std::vector<Decision>& decisions = space.plan.decisions;
    const std::vector<std::uint32_t>& covered = space.rendering.covered;
    constexpr std::size_t kAhead = 16;  // substitutes' entries fetched this many covers ahead
    for (std::size_t i = 0; i < covered.size(); ++i) {
        if (i + kAhead < covered.size()) teacher_list.prefetch_facts(space.slots[decisions[covered[i + kAhead]].substitute]);
        const std::uint32_t lesson = covered[i];
        teacher_list.note_pair_added(space.slots[decisions[lesson].substitute], absent_lesson_texts.period(lesson));
    }
}

void School::add_teacher(const Teacher& teacher) {
    note_covers();
    const std::uint64_t hash = teacher_hashtable.hash(teacher.name);
    if (teacher_hashtable.find(teacher.name, hash) != TeacherNames::kNotFound) return;
    // The pairs it brought along, copied (a teacher added to a school has none, mostly).
    std::optional<PeriodSet> pairs;
    if (!teacher.periods.empty()) pairs.emplace(teacher.periods);
    // Room first; then the store, the list and the name, which cannot fail.
    generation_space.make_room_for_teacher(teacher_list.present_total() + (teacher.present ? 1 : 0));
    teacher_list.make_room(1, 0);
    store->make_room_for_teacher(teacher);
    teacher_hashtable.make_room(teacher.name.size());
    const auto slot = static_cast<TeacherList::Slot>(teacher_list.size());
    const std::size_t place = teacher_hashtable.add_listed(teacher.name, hash, slot);
    const TeacherStore::Texts kept = store->append(teacher, std::move(pairs));
    teacher_list.append(teacher, kept.name);
    // The Python object's memo, as register_period would find it.
    teacher.lookup_memo.school_id = id.value();
    teacher.lookup_memo.entry = static_cast<std::uint32_t>(place);
    teacher.lookup_memo.slot = slot;
}

void School::add_class(const Class& school_class) {
    InterruptionCheck never;
    (void)add_class_to(*this, school_class, never);  // never stopped
}

Result<Done> School::add_class(const Class& school_class, Interruption& interruption) {
    InterruptionCheck check(&interruption);
    return add_class_to(*this, school_class, check);
}

void School::add_to_hashmap(std::string_view name, Teacher teacher) {
    TeacherRef handle{std::move(teacher)};
    const std::uint64_t hash = teacher_hashtable.hash(name);
    const std::size_t found = teacher_hashtable.find(name, hash);
    if (found != TeacherNames::kNotFound) {
        teacher_hashtable.replace(found, std::move(handle));
        id = SchoolId();  // every memo of this school is out of date
        return;
    }
    teacher_hashtable.make_room(name.size());
    teacher_hashtable.add_unlisted(name, hash, std::move(handle));
}

School::Found School::find_teacher(const Teacher& teacher) const {
    LookupMemo& memo = teacher.lookup_memo;
    if (memo.school_id == id.value()) return Found{memo.entry, memo.slot};
    const std::size_t found = teacher_hashtable.find(teacher.name);
    if (found == TeacherNames::kNotFound) return Found{found, TeacherList::kNotListed};
    const TeacherList::Slot slot = teacher_hashtable.slot(found);
    memo.school_id = id.value();
    memo.entry = static_cast<std::uint32_t>(found);
    memo.slot = slot;
    return Found{found, slot};
}

// ---------------------------------------------------------- TeacherNames --

void TeacherNames::make_room(std::size_t name_bytes) {
    reserve_more(entries_, 1);
    reserve_more(unlisted_, 1);
    reserve_more(names_, name_bytes);
    // At most three quarters full: the codes in the buckets keep probes cheap.
    if (4 * (entries_.size() + 1) <= 3 * buckets_.size()) return;
    std::vector<Bucket> grown(buckets_.empty() ? 16 : 2 * buckets_.size(), Bucket{0, 0});
    buckets_.swap(grown);
    for (std::size_t place = 0; place < entries_.size(); ++place) {
        put(static_cast<std::uint32_t>(place + 1), entries_[place].hash);
    }
}

std::size_t TeacherNames::add_listed(std::string_view name, std::uint64_t hash, TeacherList::Slot slot) noexcept {
    return add(name, hash, slot, kListed);
}

std::size_t TeacherNames::add_unlisted(std::string_view name, std::uint64_t hash, TeacherRef handle) noexcept {
    unlisted_.push_back(std::move(handle));
    return add(name, hash, TeacherList::kNotListed, static_cast<std::uint32_t>(unlisted_.size() - 1));
}

std::size_t TeacherNames::add(std::string_view name, std::uint64_t hash, TeacherList::Slot slot,
                              std::uint32_t unlisted) noexcept {
    entries_.push_back(Entry{hash, names_.size(), name.size(), slot, unlisted});
    names_.append(name);  // room was made
    put(static_cast<std::uint32_t>(entries_.size()), hash);
    return entries_.size() - 1;
}

void TeacherNames::replace(std::size_t place, TeacherRef handle) {
    Entry& entry = entries_[place];
    if (entry.unlisted != kListed) {
        unlisted_[entry.unlisted] = std::move(handle);  // the old handle goes
        return;
    }
    reserve_more(unlisted_, 1);
    unlisted_.push_back(std::move(handle));
    entry.unlisted = static_cast<std::uint32_t>(unlisted_.size() - 1);
    entry.slot = TeacherList::kNotListed;
}

void TeacherNames::put(std::uint32_t entry, std::uint64_t hash) noexcept {
    const std::size_t mask = buckets_.size() - 1;
    std::size_t at = hash & mask;
    while (buckets_[at].entry != 0) at = (at + 1) & mask;
    buckets_[at] = Bucket{entry, static_cast<std::uint32_t>(hash >> 32)};
}

namespace {

Result<std::string> school_text(const School& school, InterruptionCheck& check) {
    // The records show every pair registered so far.
    school.store->ready_records();
    std::vector<TeacherRef> teachers_in_order;
    teachers_in_order.reserve(school.teacher_list.size());
    for (const TeacherList::Slot slot : school.teacher_list.order()) {
        teachers_in_order.push_back(school.store->handle(slot));
    }

    DebugWriter teachers(DebugStyle::pretty, &check);
    teachers.begin_list();
    for (const TeacherRef& teacher : teachers_in_order) {
        if (teachers.stop_here()) return interrupted();
        describe(teachers, teacher);
    }
    teachers.end();

    DebugWriter classes(DebugStyle::pretty, &check);
    classes.begin_list();
    for (std::size_t index = 0; index < school.classes.size(); ++index) {
        if (classes.stop_here()) return interrupted();
        describe_as_held(classes, school.classes.restore(index));
    }
    classes.end();

    DebugWriter table(DebugStyle::compact, &check);
    SubjectTable::build(teachers_in_order, check).describe(table);
    if (check.stopped()) return interrupted();

    std::string out = "List of teachers: ";
    out += teachers.text_so_far();
    out += "\nList of classes:";
    out += classes.text_so_far();
    out += "\nTeacher_hashtable ";
    out += table.text_so_far();
    return out;
}

}  // namespace

std::string printed_text(const School& school) {
    return made_without_stopping([&](InterruptionCheck& check) { return school_text(school, check); });
}

Result<std::string> printed_text(const School& school, Interruption& interruption) {
    return made_unless_stopped(interruption, [&](InterruptionCheck& check) { return school_text(school, check); });
}

}  // namespace lessoncover
