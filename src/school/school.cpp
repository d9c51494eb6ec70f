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

// Keeps the class's entries a block at a time; false when `check` stopped it part way.
bool keep_entries(const std::vector<PeriodEntry>& entries, ClassArchive& classes, InterruptionCheck& check) {
    for (std::size_t start = 0; start < entries.size(); start += kEntryBlock) {
        const std::size_t end = std::min(entries.size(), start + kEntryBlock);
        if (check.step(static_cast<std::int64_t>(end - start))) return false;
        classes.append_entries(std::span(entries).subspan(start, end - start));
    }
    return true;
}

}  // namespace

// Appends the absent lessons of a class just added, the first entry of each (record,
// period) pair, and their row parts. False when `check` stopped it part way.
bool School::append_absent_lessons(const Class& added, InterruptionCheck& check) {
    TeacherList& list = noted_list();
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
    bool class_name_made = false;
    TeacherStore::ClassNameId class_name{0};
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
            const void* identity = own_handle ? added.own_handles[entry.own_handle().value].identity()
                                              : added.sources[entry.source]->identity(entry.slot());
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
                if (store.present(entry.slot()) || repeated(identity, entry.period)) continue;
                sub = store.sub(entry.slot());
                texts = TeacherStore::Texts{store.name(entry.slot()), store.reason(entry.slot())};
            } else {
                const auto teacher = added.own_handles[entry.own_handle().value].lock();
                if (teacher->present || repeated(identity, entry.period)) continue;
                sub = teacher->sub;
                texts = TeacherStore::Texts{teacher->name, teacher->reason_of_absentee};
            }
            if (!class_name_made) {
                class_name = store_->class_name_id(added.class_name);
                class_name_made = true;
            }
            absent_lesson_texts_.append(texts.name, entry.period, display_name(sub), added.class_name, texts.reason);
            absent_lesson_class_names_.push_back(class_name);
            const PeriodCodes::Code code = list.code_for(entry.period);
            generation_space_.input.lessons.push_back(PlanningLesson{entry.period, code, static_cast<SubjectId>(sub)});
            if (code == PeriodCodes::kNoCode) absent_lesson_without_code_ = true;
        }
    }
    return true;
}

// Copies the class in; a stop asked for by `check` leaves the school as it was, and so
// does running out of memory (std::bad_alloc comes through).
Result<Done> School::add_class(const Class& school_class, InterruptionCheck& check) {
    TeacherList& list = noted_list();
    // The class kept, its absent lessons and room for what follows; should that fail, or a
    // stop be asked for, the checkpoint takes them back and the school is as it was.
    Checkpoint checkpoint(*this);
    classes_.begin(school_class);
    if (!keep_entries(school_class.list_of_periods, classes_, check) || !append_absent_lessons(school_class, check) ||
        check.ask_once_more()) {
        return interrupted();
    }
    generation_space_.make_room_for_lessons(generation_space_.input.lessons.size());
    list.make_room_for_sort();
    checkpoint.commit();
    list.sort_by_period_count();
    return Done{};
}

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
      classes_(school.classes_.mark()),
      lessons_(school.generation_space_.input.lessons.size()),
      class_names_(school.absent_lesson_class_names_.size()),
      store_class_names_(school.store_->class_names_made()),
      texts_(school.absent_lesson_texts_.mark()),
      without_code_(school.absent_lesson_without_code_),
      period_codes_(school.noted_list().period_codes_made()) {}

School::Checkpoint::~Checkpoint() {
    if (committed_) return;
    school_.generation_space_.input.lessons.resize(lessons_);
    school_.absent_lesson_class_names_.resize(class_names_);
    school_.store_->forget_class_names_from(store_class_names_);
    school_.absent_lesson_texts_.truncate(texts_);
    school_.absent_lesson_without_code_ = without_code_;
    school_.noted_list().forget_period_codes_from(period_codes_);
    school_.classes_.truncate(classes_);
}

std::uint64_t SchoolId::next() noexcept {
    static std::atomic<std::uint64_t> last{0};
    return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

void School::note_covers(TeacherList& list) noexcept {
    const GenerationSpace& space = generation_space_;
    const std::vector<Decision>& decisions = space.plan.decisions;
    const std::vector<std::uint32_t>& covered = space.rendering.covered;
    const auto substitute = [&](std::uint32_t lesson) { return space.slot_of(ListPlace{decisions[lesson].substitute}); };
    // Substitutes' entries fetched this many covers ahead. benchmarks.cover_notes --size D,
    // medians of 15 interleaved rounds: 8 → 77.2 µs, 16 → 75.7 µs, 32 → 80.5 µs.
    constexpr std::size_t kAhead = 16;
    for (std::size_t i = 0; i < covered.size(); ++i) {
        if (i + kAhead < covered.size()) list.prefetch_facts(substitute(covered[i + kAhead]));
        const std::uint32_t lesson = covered[i];
        list.note_pair_added(substitute(lesson), absent_lesson_texts_.period(lesson));
    }
}

void School::add_teacher(const Teacher& teacher) {
    TeacherList& list = noted_list();
    const std::uint64_t hash = names_.hash(teacher.name);
    if (names_.find(teacher.name, hash) != TeacherNames::kNotFound) return;
    // The pairs it brought along, copied (a teacher added to a school has none, mostly).
    std::optional<PeriodSet> pairs;
    if (!teacher.periods.empty()) pairs.emplace(teacher.periods);
    // Room first; then the store, the list and the name, which cannot fail.
    generation_space_.make_room_for_teacher(list.present_total() + (teacher.present ? 1 : 0));
    list.make_room(1, 0);
    store_->make_room_for_teacher(teacher);
    names_.make_room(teacher.name.size());
    const TeacherSlot slot{static_cast<std::uint32_t>(list.size())};
    const NameEntryId entry = names_.add_listed(teacher.name, hash, slot);
    const TeacherStore::Texts kept = store_->append(teacher, std::move(pairs));
    list.append(teacher, kept.name);
    // The Python object's memo, as register_period would find it.
    teacher.lookup_memo.school_id = id_.value();
    teacher.lookup_memo.entry = entry;
    teacher.lookup_memo.slot = slot;
}

void School::add_class(const Class& school_class) {
    InterruptionCheck never;
    (void)add_class(school_class, never);  // never stopped
}

Result<Done> School::add_class(const Class& school_class, Interruption& interruption) {
    InterruptionCheck check(&interruption);
    return add_class(school_class, check);
}

void School::file_unlisted(std::string_view name, Teacher teacher) {
    TeacherRef handle{std::move(teacher)};
    const std::uint64_t hash = names_.hash(name);
    const NameEntryId found = names_.find(name, hash);
    if (found != TeacherNames::kNotFound) {
        names_.replace(found, std::move(handle));
        id_ = SchoolId();  // every memo of this school is out of date
        return;
    }
    names_.make_room(name.size());
    names_.add_unlisted(name, hash, std::move(handle));
}

School::Found School::find_teacher(const Teacher& teacher) const {
    LookupMemo& memo = teacher.lookup_memo;
    if (memo.school_id == id_.value()) return Found{memo.entry, memo.slot};
    const NameEntryId found = names_.find(teacher.name);
    if (found == TeacherNames::kNotFound) return Found{found, TeacherList::kNotListed};
    const TeacherSlot slot = names_.slot(found);
    memo.school_id = id_.value();
    memo.entry = found;
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
    for (std::size_t entry = 0; entry < entries_.size(); ++entry) {
        put(static_cast<std::uint32_t>(entry + 1), entries_[entry].hash);
    }
}

TeacherNames::EntryId TeacherNames::add_listed(std::string_view name, std::uint64_t hash,
                                              TeacherList::Slot slot) noexcept {
    return add(name, hash, slot, kListed);
}

TeacherNames::EntryId TeacherNames::add_unlisted(std::string_view name, std::uint64_t hash,
                                                TeacherRef handle) noexcept {
    unlisted_.push_back(std::move(handle));
    return add(name, hash, TeacherList::kNotListed, static_cast<std::uint32_t>(unlisted_.size() - 1));
}

TeacherNames::EntryId TeacherNames::add(std::string_view name, std::uint64_t hash, TeacherList::Slot slot,
                                       std::uint32_t unlisted) noexcept {
    entries_.push_back(Entry{hash, names_.size(), name.size(), slot, unlisted});
    names_.append(name);  // room was made
    put(static_cast<std::uint32_t>(entries_.size()), hash);
    return EntryId{static_cast<std::uint32_t>(entries_.size() - 1)};
}

void TeacherNames::replace(EntryId replaced, TeacherRef handle) {
    Entry& entry = entries_[replaced.value];
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

Result<std::string> School::text(InterruptionCheck& check) {
    // The records show every pair registered so far.
    store_->ready_records();
    const TeacherList& list = noted_list();
    std::vector<TeacherRef> teachers_in_order;
    teachers_in_order.reserve(list.size());
    for (const TeacherSlot slot : list.order()) teachers_in_order.push_back(store_->handle(slot));

    DebugWriter teachers(DebugStyle::pretty, &check);
    teachers.begin_list();
    for (const TeacherRef& teacher : teachers_in_order) {
        if (teachers.stop_here()) return interrupted();
        describe(teachers, teacher);
    }
    teachers.end();

    DebugWriter classes(DebugStyle::pretty, &check);
    classes.begin_list();
    for (std::size_t index = 0; index < classes_.size(); ++index) {
        if (classes.stop_here()) return interrupted();
        describe_as_held(classes, classes_.restore(index));
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

std::string School::printed_text() {
    return made_without_stopping([&](InterruptionCheck& check) { return text(check); });
}

Result<std::string> School::printed_text(Interruption& interruption) {
    return made_unless_stopped(interruption, [&](InterruptionCheck& check) { return text(check); });
}

}  // namespace lessoncover
