// The teachers of a school's list, by list slot, and the pairs registration and cover have
// given them but not yet written into their records.
//
// A teacher's record is made only when somebody needs it (printing, a registration the
// list cannot settle, a class naming too many stores). Until then the store keeps what
// add_teacher copied: the name and reason, side by side in blocks that never move, the
// subject, the presence, and the rare pairs a teacher brought along. On a large school
// most records are never needed, and each would take a few hundred bytes somewhere in
// memory.
//
// Registration and cover add pairs that are known to be new (the teacher list tells which
// periods a teacher already holds); such a pair is queued here, a few bytes at the end of
// one array, instead of being written into a record. Whoever reads a record makes the
// records ready first (ready_records), writing the queue out in the order the pairs came,
// so each record ends up with the pairs it would have had, in the same order. Classes
// share the store of the school their lessons were registered with, so a class printed
// after its school is gone still shows every pair.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reserve_more.hpp"
#include "strong_index.hpp"
#include "teacher/teacher.hpp"
#include "teacher/teacher_indices.hpp"

namespace lessoncover {

// Texts kept at one place for as long as their keeper lives, side by side in blocks: a
// view of one never dangles while the keeper is there.
class TextBlocks {
public:
    // Room for texts of `bytes` in all, so that keep() cannot fail. Throws std::bad_alloc.
    void make_room(std::size_t bytes);
    std::string_view keep(std::string_view text) noexcept;

private:
    static constexpr std::size_t kBlockBytes = std::size_t{64} << 10;
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t used_ = 0;      // bytes used of the last block
    std::size_t capacity_ = 0;  // of the last block
};

class TeacherStore {
public:
    using Slot = TeacherSlot;
    using ClassNameId = Index<struct ClassNameIdTag>;  // a class name kept in the store

    TeacherStore() noexcept;
    TeacherStore(const TeacherStore&) = delete;
    TeacherStore& operator=(const TeacherStore&) = delete;

    // A number no other store of the process has had.
    std::uint64_t id() const noexcept { return id_; }

    // What the store keeps of a teacher's texts: views that stay good while it lives.
    struct Texts {
        std::string_view name;
        std::string_view reason;
    };

    std::size_t size() const noexcept { return copies_.size(); }
    // Room for `teacher`, so that append() cannot fail. Throws std::bad_alloc.
    void make_room_for_teacher(const Teacher& teacher);
    // Keeps a copy of `teacher` in the next slot, its pairs being `pairs` (a copy made
    // beforehand, or nothing when it has none). Room was made.
    Texts append(const Teacher& teacher, std::optional<PeriodSet> pairs) noexcept;

    // What add_teacher copied; they never change.
    std::string_view name(Slot slot) const noexcept { return copies_[slot.value].name; }
    std::string_view reason(Slot slot) const noexcept { return copies_[slot.value].reason; }
    Subjects sub(Slot slot) const noexcept { return copies_[slot.value].sub; }
    bool present(Slot slot) const noexcept { return copies_[slot.value].present; }
    // The teacher of `slot`, as an address no other teacher of any store has.
    const void* identity(Slot slot) const noexcept { return &copies_[slot.value]; }

    // Makes every record not made yet and writes every queued pair into its record: then
    // each handle(slot) holds every pair registered or given so far. Nothing to do, the
    // usual case, costs two comparisons. Should memory run out part way (std::bad_alloc
    // comes through), what was done stays done and the next call does the rest: nobody
    // can tell.
    void ready_records() {
        if (handles_.size() != copies_.size()) make_records();
        if (!queued_.empty()) write_out();
    }
    // Makes every record not made yet, without writing out the queue; as ready_records.
    void make_records();
    // The handle of the record of `slot`, once made.
    const TeacherRef& handle(Slot slot) const noexcept { return handles_[slot.value]; }
    // How many records are made: those of slots 0..made_records()-1.
    std::size_t made_records() const noexcept { return handles_.size(); }

    // The class name as the store keeps it for the pairs queued: the last one made when it
    // has that text, else a new one. May throw std::bad_alloc, and then nothing changed.
    ClassNameId class_name_id(std::string_view class_name) {
        if (!class_names_.empty() && class_names_.back() == class_name) return last_class_name();
        reserve_more(class_names_, 1);
        class_names_.emplace_back(class_name);
        return last_class_name();
    }
    std::size_t class_names_made() const noexcept { return class_names_.size(); }
    void forget_class_names_from(std::size_t made) noexcept {
        if (made < class_names_.size()) class_names_.resize(made);
    }

    // Room for `pairs` queued pairs, so that queue() cannot fail.
    void make_room_for_pairs(std::size_t pairs) { reserve_more(queued_, 2 * pairs); }
    // The pair (period, the class name's text), not yet held by the teacher's record, is the
    // record's next pair. Room was made.
    void queue(Slot slot, std::int16_t period, ClassNameId class_name) noexcept {
        if (queued_.empty() || class_name != last_class_name_) {
            queued_.push_back(Queued{class_name.value, 0, kClassNameMark});
            last_class_name_ = class_name;
        }
        queued_.push_back(Queued{slot.value, period, kPair});
    }

private:
    // What add_teacher copied of a teacher, until its record is made.
    struct CopiedTeacher {
        std::string_view name;    // kept in texts_
        std::string_view reason;  // kept in texts_, or the default reason itself
        std::uint32_t pairs;      // 1 + place in seeded_pairs_, or 0 when it brought none
        Subjects sub;
        bool present;
    };

    // Writes every queued pair into its record, in order; the records are made. Should
    // memory run out part way, the pairs written are off the queue and the rest stay.
    void write_out();
    ClassNameId last_class_name() const noexcept {
        return ClassNameId{static_cast<std::uint32_t>(class_names_.size() - 1)};
    }

    // A pair, or the class name of the pairs after it (kept once for a run of pairs of one
    // class): eight bytes.
    static constexpr std::uint16_t kPair = 0;
    static constexpr std::uint16_t kClassNameMark = 1;
    struct Queued {
        std::uint32_t slot_or_class_name;
        std::int16_t period;
        std::uint16_t kind;
    };

    std::uint64_t id_;
    std::vector<CopiedTeacher> copies_;  // by slot
    TextBlocks texts_;
    std::vector<TeacherRef> handles_;       // by slot, those made so far
    std::vector<PeriodSet> seeded_pairs_;   // emptied once in a record
    std::vector<std::string> class_names_;  // by ClassNameId
    std::vector<Queued> queued_;            // written out when somebody reads a record
    ClassNameId last_class_name_{0};        // of the last mark queued
};

using TeacherStoreRef = std::shared_ptr<TeacherStore>;

}  // namespace lessoncover
