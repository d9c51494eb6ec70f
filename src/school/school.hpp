// The school registry: its own copies of teachers and classes, behind shared handles.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "interruption.hpp"
#include "planner/period_codes.hpp"
#include "planner/planning_input.hpp"
#include "report/lesson_texts.hpp"
#include "report/report.hpp"
#include "result.hpp"
#include "school/class_archive.hpp"
#include "school/class_record.hpp"
#include "school/generation_space.hpp"
#include "school/list_order.hpp"
#include "school/teacher_store.hpp"
#include "seeded_hash.hpp"
#include "teacher/teacher.hpp"
#include "teacher/teacher_indices.hpp"

namespace lessoncover {

// The school's teacher list: every teacher add_teacher copied in, once each. add_class sorts
// it, stably, by the number of (period, grade) pairs each teacher holds; teachers added
// after the last sort follow the sorted ones in the order they came. ListOrder keeps that
// order, and the counts.
//
// Besides the order it keeps what the school knows of each teacher without reading the
// record. A school's records are its own copies, which nothing outside the school can
// reach: name, subject, presence and reason never change once copied in, and pairs are
// added only through the school (registration and cover), which reports each added pair
// here. So these stay exactly what the record would say, and sorting or planning need not
// visit the records, which on a large school are spread all over memory.
class TeacherList {
public:
    using Slot = ListOrder::Slot;    // a teacher's slot in the order of add_teacher
    using Place = ListOrder::Place;  // a teacher's place in the sorted order
    static constexpr Slot kNotListed{static_cast<std::uint32_t>(-1)};
    // The first this many periods the list sees get codes, which busy() reads by.
    static constexpr std::size_t kPeriodCodes = 64;

    TeacherList() = default;
    TeacherList(const TeacherList&) = delete;
    TeacherList& operator=(const TeacherList&) = delete;
    TeacherList(TeacherList&&) noexcept = default;
    TeacherList& operator=(TeacherList&&) noexcept = default;

    // Room for `teachers` appended and for `notes` pairs noted, so that those calls cannot
    // fail. Throws std::bad_alloc, and then only room has changed.
    void make_room(std::size_t teachers, std::size_t notes);
    // The same for one note, the common case, kept short.
    void make_room_for_note() {
        codes_.make_room();
        order_.make_room_for_bump();
    }
    // A copy of `teacher`, whose name the school's store keeps as `kept_name`.
    Slot append(const Teacher& teacher, std::string_view kept_name) noexcept;
    // The pair (period, some grade) was added to the teacher (to its record, or queued
    // for it in the school's store).
    void note_pair_added(Slot slot, std::int16_t period) noexcept { note_pair_added(slot, bit_for(period)); }
    // The same for a period whose code's bit is `bit` (0: none).
    void note_pair_added(Slot slot, std::uint64_t bit) noexcept {
        order_.entry(slot).owner_bits |= bit;  // the busy periods
        order_.bump(slot);
    }
    // The code of `period` among the periods the list has seen, made when there is room:
    // see busy().
    PeriodCodes::Code code_for(std::int16_t period) { return codes_.code_for(period); }
    // The bit of the period's code in busy(), made as code_for makes the code; 0 when the
    // period has none.
    std::uint64_t bit_for(std::int16_t period) {
        const PeriodCodes::Code code = codes_.code_for(period);
        return code == PeriodCodes::kNoCode ? 0 : std::uint64_t{1} << code;
    }
    // How many codes code_for has made, and taking back those made since, which no
    // teacher's busy periods use.
    std::size_t period_codes_made() const noexcept { return codes_.size(); }
    void forget_period_codes_from(std::size_t made) noexcept { codes_.forget_codes_from(made); }
    // Room for the sort, so that it cannot fail.
    void make_room_for_sort() { order_.make_room_for_sort(); }
    // Stable sort by the number of pairs each teacher holds now.
    void sort_by_period_count() noexcept { order_.sort(); }

    std::size_t size() const noexcept { return teachers_.size(); }
    // The number of pairs in the record's periods.
    std::size_t count(Slot slot) const noexcept { return order_.count(slot); }
    // Bit c set when some pair has the period whose code is c. The first 64 periods the
    // list sees get codes; the record alone knows of pairs in the periods after them.
    std::uint64_t busy(Slot slot) const noexcept { return order_.entry(slot).owner_bits; }
    Subjects sub(Slot slot) const noexcept {
        return static_cast<Subjects>(order_.entry(slot).owner_byte & kSubjectMask);
    }
    bool present(Slot slot) const noexcept { return (order_.entry(slot).owner_byte & kPresent) != 0; }
    // The teacher's name, which never changes, and whether the report quotes it. A short
    // name is read from the teacher's entry itself (the view lasts until the next append),
    // a longer one from the school's store.
    std::string_view name(Slot slot) const noexcept { return teachers_[slot.value].name(); }
    bool name_needs_quotes(Slot slot) const noexcept { return (teachers_[slot.value].name_traits & kQuotedName) != 0; }
    bool name_is_ascii(Slot slot) const noexcept { return (teachers_[slot.value].name_traits & kAsciiName) != 0; }
    // The number of present teachers of each subject.
    std::size_t present_count(Subjects subject) const noexcept {
        return present_counts_[static_cast<std::size_t>(subject)];
    }
    std::size_t present_total() const noexcept { return present_total_; }
    // Asks for what name() and its flags read to be fetched into the cache (the entry's
    // one line; a long name's text is fetched when read).
    void prefetch_name(Slot slot) const noexcept { __builtin_prefetch(&teachers_[slot.value]); }
    // Asks for the teacher's entry, which noting a pair writes, to be fetched into the cache.
    void prefetch_facts(Slot slot) const noexcept { order_.prefetch_entry(slot); }
    // The slots in list order, by place.
    std::span<const Slot> order() const { return order_.slots(); }
    // Calls visit(place, slot) once for each teacher, `place` being its place in list
    // order; the calls come in no particular order (ListOrder::for_each_placed).
    template <class Visit>
    void for_each_placed(Visit&& visit) const {
        order_.for_each_placed(std::forward<Visit>(visit));
    }

private:
    // In the byte each order entry keeps for the list: the subject and kPresent; in NameEntry's
    // name_traits: kQuotedName and kAsciiName.
    static constexpr std::uint8_t kSubjectMask = 0x1f;
    static constexpr std::uint8_t kPresent = 0x80;
    static constexpr std::uint8_t kQuotedName = 0x40;
    static constexpr std::uint8_t kAsciiName = 0x20;

    // What the report reads of a teacher, in one aligned 32 bytes: a substitute's entry is
    // one random read, and most names are in it.
    struct alignas(32) NameEntry {
        static constexpr std::size_t kShortName = 24;  // names up to this many bytes are kept here
        static constexpr std::uint8_t kLongName = 0xff;

        explicit NameEntry(std::string_view name) noexcept;
        std::string_view name() const noexcept {
            if (name_size != kLongName) return std::string_view(text.here, name_size);
            return std::string_view(text.kept.data, text.kept.size);
        }

        union {
            char here[kShortName];
            struct {
                const char* data;  // as the school's store keeps it
                std::size_t size;
            } kept;
        } text;
        std::uint8_t name_size;         // the name's size when kept here, else kLongName
        std::uint8_t name_traits = 0;   // kQuotedName, kAsciiName
    };
    static_assert(sizeof(NameEntry) == 32);

    // By slot. What registration, sorting and planning keep up to date for every teacher
    // is in the order's entries, in one array that a walk of the list runs through:
    // noting a pair, asking for presence or moving the teacher in the order touches one
    // cache line of it. The entries keep the busy periods and the subject and presence
    // for the list. The rest, which covers and printing read, lies apart.
    std::vector<NameEntry> teachers_;
    ListOrder order_;
    std::array<std::size_t, kSubjectCount> present_counts_{};
    std::size_t present_total_ = 0;
    PeriodCodes codes_{kPeriodCodes};
};

// The school's table of names: what a school files under each name, the handle and its
// slot in the teacher list when add_teacher filed it (kNotListed when file_unlisted did).
// Open addressing over the entries, each bucket keeping part of the name's hash code, so
// that a search reads an entry only when the codes agree and growing reads no name.
class TeacherNames {
public:
    using EntryId = NameEntryId;  // an entry's place among the entries, in the order filed
    static constexpr EntryId kNotFound{static_cast<std::uint32_t>(-1)};

    std::uint64_t hash(std::string_view name) const noexcept { return siphash13(key_, name); }
    // The entry filed under `name`, or kNotFound.
    EntryId find(std::string_view name, std::uint64_t hash) const noexcept {
        if (buckets_.empty()) return kNotFound;
        const std::size_t mask = buckets_.size() - 1;
        const auto tag = static_cast<std::uint32_t>(hash >> 32);
        for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
            const Bucket bucket = buckets_[at];
            if (bucket.entry == 0) return kNotFound;
            if (bucket.tag == tag && name_of(bucket.entry - 1) == name) return EntryId{bucket.entry - 1};
        }
    }
    EntryId find(std::string_view name) const noexcept { return find(name, hash(name)); }
    // Room for one entry more under a name of `name_bytes`, so that the adding cannot fail.
    void make_room(std::size_t name_bytes);
    // Files a teacher of the list under a name not filed yet; room was made.
    EntryId add_listed(std::string_view name, std::uint64_t hash, TeacherList::Slot slot) noexcept;
    // Files a handle that is in no list under a name not filed yet; room was made.
    EntryId add_unlisted(std::string_view name, std::uint64_t hash, TeacherRef handle) noexcept;
    // Files `handle` under the entry's name in place of what was there. Throws
    // std::bad_alloc, and then nothing changed.
    void replace(EntryId entry, TeacherRef handle);

    // The entry's slot in the list, or TeacherList::kNotListed.
    TeacherList::Slot slot(EntryId entry) const noexcept { return entries_[entry.value].slot; }
    // The handle of an entry that is in no list.
    const TeacherRef& unlisted_handle(EntryId entry) const noexcept {
        return unlisted_[entries_[entry.value].unlisted];
    }
    std::size_t size() const noexcept { return entries_.size(); }

private:
    static constexpr std::uint32_t kListed = static_cast<std::uint32_t>(-1);
    struct Entry {
        std::uint64_t hash;
        std::size_t name_start;  // in names_
        std::size_t name_size;
        TeacherList::Slot slot;
        std::uint32_t unlisted;  // place in unlisted_, or kListed
    };
    struct Bucket {
        std::uint32_t entry;  // place plus one, 0 when free
        std::uint32_t tag;    // the hash code's upper half
    };
    std::string_view name_of(std::size_t place) const noexcept {
        return std::string_view(names_).substr(entries_[place].name_start, entries_[place].name_size);
    }
    EntryId add(std::string_view name, std::uint64_t hash, TeacherList::Slot slot, std::uint32_t unlisted) noexcept;
    void put(std::uint32_t entry, std::uint64_t hash) noexcept;

    HashKey key_ = fresh_hash_key();
    std::vector<Entry> entries_;
    std::string names_;                // every name filed, side by side
    std::vector<TeacherRef> unlisted_;  // handles filed by file_unlisted
    std::vector<Bucket> buckets_;      // a power of two, at most three quarters full
};

// A number no other school of the process has had; a moved-from school gets a fresh one.
// Schools are never copied (their teacher list cannot be).
class SchoolId {
public:
    SchoolId() noexcept : value_(next()) {}
    SchoolId(const SchoolId&) = delete;
    SchoolId& operator=(const SchoolId&) = delete;
    SchoolId(SchoolId&& other) noexcept : value_(other.value_) { other.value_ = next(); }
    SchoolId& operator=(SchoolId&& other) noexcept {
        value_ = other.value_;
        other.value_ = next();
        return *this;
    }
    std::uint64_t value() const noexcept { return value_; }

private:
    static std::uint64_t next() noexcept;
    std::uint64_t value_;
};

// The school registry: the teachers and classes given to it, kept as its own copies, and
// the cover it plans for them.
//
// The lessons of absent teachers in the school's classes are found when each class is
// added: the first entry of each (teacher, period) pair in a class, which is the one
// generation plans (the repeats change nothing). The school's copy of a class never
// changes, and every teacher a class can name is a school's copy, whose name, subject,
// presence and reason are fixed when it is copied in; so each lesson's report texts are
// made then, once (LessonTexts), and its planning entry kept in the generation space.
class School {
public:
    School() = default;
    School(School&&) noexcept = default;
    School& operator=(School&&) noexcept = default;

    // Copies the teacher in, unless a teacher of that name is already known.
    void add_teacher(const Teacher& teacher);
    // Copies the class in (sharing its entries' teacher handles) and re-sorts the teachers.
    void add_class(const Class& school_class);
    // The same, stopping with `interrupted` when the interruption asks; the school is then
    // as it was.
    Result<Done> add_class(const Class& school_class, Interruption& interruption);
    // Files a copy of `teacher` under `name`, replacing what was there; the list is unchanged.
    void file_unlisted(std::string_view name, Teacher teacher);

    // The pair (period, class name) goes to the school's copy of the teacher, found by name,
    // and the entry (that copy, period) to the class, twice. An unknown name changes nothing.
    // (registration.cpp)
    Result<Done> register_period(const Teacher& teacher, std::int16_t period, Class& school_class);

    // Plans cover for every absent lesson of the school's classes and writes the report into
    // `sink`: the CSV rows, then the lessons nobody could cover and the time taken, each in
    // quoted form. Once the report is written, each cover is added to the substitute's
    // periods and stays there. When planning or the report runs out of memory (or the sink
    // cannot take the report), the error comes back and the school is as it was; so it is when the
    // interruption, asked now and then until the covers are written, says to stop.
    // (substitutions.cpp)
    Result<Done> generate_substitutions(ReportSink& sink, Interruption* interruption = nullptr);
    // The same, with the report returned as UTF-8 text.
    Result<std::string> generate_substitutions();

    // The text str() gives: teachers, classes and the table of present teachers by subject.
    // Not const: the records printed are made, and given their queued pairs, first.
    std::string printed_text();
    // The same, stopping with `interrupted` when the interruption asks.
    Result<std::string> printed_text(Interruption& interruption);

    // The teacher list as it stands, every cover given so far counted.
    const TeacherList& teacher_list() noexcept { return noted_list(); }
    // The teachers' records and the pairs queued for them, for whoever only looks.
    const TeacherStore& store() const noexcept { return *store_; }

private:
    // What adding a class changes before it can fail: the class kept, its absent lessons,
    // their class names and texts, and the period codes they made. Destroyed before
    // commit(), it takes all of that back, and the school is as it was when it was made.
    // Nothing else may change the school while it stands.
    class Checkpoint {
    public:
        explicit Checkpoint(School& school) noexcept;
        Checkpoint(const Checkpoint&) = delete;
        Checkpoint& operator=(const Checkpoint&) = delete;
        ~Checkpoint();
        // The change stays.
        void commit() noexcept { committed_ = true; }

    private:
        School& school_;
        ClassArchive::Mark classes_;
        std::size_t lessons_;
        std::size_t class_names_;
        std::size_t store_class_names_;
        LessonTexts::Mark texts_;
        bool without_code_;
        std::size_t period_codes_;
        bool committed_ = false;
    };

    // The teacher list, and whether the covers of the last generation, queued in the
    // store, are still to be noted in it (room for the notes was made). Only noted()
    // reaches the list, and it has them noted first: nothing reads a count or a busy
    // period that leaves them out.
    class CoveredList {
    public:
        template <class NoteCovers>
        TeacherList& noted(NoteCovers&& note_covers) noexcept {
            if (covers_to_note_) {
                covers_to_note_ = false;
                note_covers(list_);
            }
            return list_;
        }
        void covers_queued() noexcept { covers_to_note_ = true; }

    private:
        TeacherList list_;
        bool covers_to_note_ = false;
    };

    // Where the school found a teacher by name: the entry filed under its name, or
    // TeacherNames::kNotFound, with its list slot. The record remembers both: entries are
    // never removed, and when file_unlisted replaces a name's handle the school takes a new
    // id, which no memo holds.
    struct Found {
        NameEntryId entry;
        TeacherSlot slot;
    };
    Found find_teacher(const Teacher& teacher) const;

    TeacherList& noted_list() noexcept {
        return teachers_.noted([this](TeacherList& list) noexcept { note_covers(list); });
    }
    // Notes the covers of the last generation in the list.
    void note_covers(TeacherList& list) noexcept;

    Result<Done> add_class(const Class& school_class, InterruptionCheck& check);
    bool append_absent_lessons(const Class& added, InterruptionCheck& check);
    bool build_planning_input(InterruptionCheck& check);
    bool apply_covers();
    Result<std::string> text(InterruptionCheck& check);

    // Finds teachers by name for registration; may hold handles in no list.
    TeacherNames names_;
    CoveredList teachers_;
    // The list's teachers by slot (their records made when first needed), shared with the
    // classes whose lessons name them, and the pairs registration and cover queued for them.
    TeacherStoreRef store_ = std::make_shared<TeacherStore>();
    ClassArchive classes_;  // in order of add_class
    // Of every class, in class then entry order; their planning entries are
    // generation_space_.input.lessons. Absent names point into the stores that keep them.
    LessonTexts absent_lesson_texts_;
    std::vector<TeacherStore::ClassNameId> absent_lesson_class_names_;  // as the store keeps them
    bool absent_lesson_without_code_ = false;  // whether some lesson's period has no code
    GenerationSpace generation_space_;
    SchoolId id_;
};

}  // namespace lessoncover
