// The handles of a school's listed teachers, by list slot, and the pairs registration and
// cover have given them but not yet written into their records.
//
// Registration and cover add pairs that are known to be new (the teacher list tells which
// periods a teacher already holds); such a pair is queued here, a few bytes at the end of
// one array, instead of being written into a record that on a large school lies anywhere
// in memory. Whoever reads a record's pairs writes the queue out first (write_out), in the
// order the pairs came, so each record ends up with the pairs it would have had, in the
// same order. Classes share the store of the school their lessons were registered with,
// so a class printed after its school is gone still shows every pair.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "reserve_more.hpp"
#include "teacher/teacher.hpp"

namespace lessoncover {

class TeacherStore {
public:
    using Slot = std::uint32_t;
    using Grade = std::uint32_t;  // a class name kept in the store

    TeacherStore() noexcept;
    TeacherStore(const TeacherStore&) = delete;
    TeacherStore& operator=(const TeacherStore&) = delete;

    // A number no other store of the process has had.
    std::uint64_t id() const noexcept { return id_; }

    std::size_t size() const noexcept { return handles_.size(); }
    const TeacherRef& handle(Slot slot) const noexcept { return handles_[slot]; }
    // With room made (make_room_for_teacher), cannot fail.
    void append(TeacherRef handle) noexcept { handles_.push_back(std::move(handle)); }
    void make_room_for_teacher() { reserve_more(handles_, 1); }

    // The class name as a grade of this store: the last one made when it has that text,
    // else a new one. May throw std::bad_alloc, and then nothing changed.
    Grade grade_for(std::string_view class_name) {
        if (!grades_.empty() && grades_.back() == class_name) return static_cast<Grade>(grades_.size() - 1);
        reserve_more(grades_, 1);
        grades_.emplace_back(class_name);
        return static_cast<Grade>(grades_.size() - 1);
    }
    std::size_t grades_made() const noexcept { return grades_.size(); }
    void forget_grades_from(std::size_t made) noexcept {
        if (made < grades_.size()) grades_.resize(made);
    }

    // Room for `pairs` queued pairs, so that queue() cannot fail.
    void make_room_for_pairs(std::size_t pairs) { reserve_more(queued_, 2 * pairs); }
    // The pair (period, the grade's text), not yet held by the teacher's record, is the
    // record's next pair. Room was made.
    void queue(Slot slot, std::int16_t period, Grade grade) noexcept {
        if (queued_.empty() || grade != last_grade_) {
            queued_.push_back(Queued{grade, 0, kGradeMark});
            last_grade_ = grade;
        }
        queued_.push_back(Queued{slot, period, kPair});
    }
    bool has_queued() const noexcept { return !queued_.empty(); }
    // Writes every queued pair into its record, in order. Should memory run out part way
    // (std::bad_alloc comes through), the pairs written are off the queue and the rest
    // stay queued: nobody can tell.
    void write_out() const;

private:
    // A pair, or the grade of the pairs after it (kept once for a run of pairs of one
    // class): eight bytes.
    static constexpr std::uint16_t kPair = 0;
    static constexpr std::uint16_t kGradeMark = 1;
    struct Queued {
        std::uint32_t slot_or_grade;
        std::int16_t period;
        std::uint16_t kind;
    };

    std::uint64_t id_;
    std::vector<TeacherRef> handles_;  // by slot
    std::vector<std::string> grades_;
    // Written out only when somebody reads a record, which may be through a const path
    // (printing a class); writing out changes nothing anybody can see.
    mutable std::vector<Queued> queued_;
    Grade last_grade_ = 0;  // of the last mark queued
};

using TeacherStoreRef = std::shared_ptr<TeacherStore>;

}  // namespace lessoncover
