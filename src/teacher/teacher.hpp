// The teacher record: a name, a subject, presence, the reason of absence and the set of
// (period, grade) pairs the teacher teaches.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "debug_text.hpp"
#include "interruption.hpp"
#include "result.hpp"
#include "seeded_hash.hpp"
#include "shared_record.hpp"
#include "teacher/subjects.hpp"
#include "teacher/teacher_indices.hpp"

namespace lessoncover {

inline constexpr std::string_view kDefaultAbsenceReason = "Planned Absense";

struct PeriodGrade {
    std::int16_t period;
    std::string grade;

    bool operator==(const PeriodGrade&) const = default;
};

// The set of (period, grade) pairs, each distinct pair once. Pairs are kept in the order
// they were first added, which is the order the set lists them in. Besides the pairs it
// keeps which period numbers occur, so "busy in period P" needs no pass over the pairs;
// since pairs are only ever added, a period once busy stays busy. What a usual day needs
// (the pairs, and a bitmap of the 64 periods around the first one added: 0..63 for a day
// numbered 1..8, 64..127 for one numbered 101..108) sits together in 48 bytes; periods
// outside that window and the hash index of a large set live apart, made when first needed.
class PeriodSet {
public:
    PeriodSet() noexcept;
    PeriodSet(const PeriodSet& other);
    PeriodSet& operator=(const PeriodSet& other);
    PeriodSet(PeriodSet&&) noexcept;
    PeriodSet& operator=(PeriodSet&&) noexcept;
    ~PeriodSet();

    // Adds the pair unless an equal one is there; true when it was added. When memory runs
    // out (std::bad_alloc) the set is as it was. The usual case,
    // a period of the window that no pair has yet in a small set with room to spare, is a new
    // pair that needs neither a search nor an index, and is handled here.
    bool insert(std::int16_t period, std::string_view grade) {
        if (pairs_.empty()) window_ = window_of(period);
        const unsigned offset = in_window(period);
        if (offset < 64 && ((window_periods_ >> offset) & 1U) == 0 && rare_ == nullptr &&
            pairs_.size() < kDirectSearchLimit && pairs_.size() < pairs_.capacity()) {
            append(period, grade);
            window_periods_ |= std::uint64_t{1} << offset;
            return true;
        }
        return insert_otherwise(period, grade);
    }

    // Whether some pair has this period number, whatever its grade.
    bool has_period(std::int16_t period) const noexcept {
        const unsigned offset = in_window(period);
        if (offset < 64) return (window_periods_ >> offset) & 1U;
        return rare_ != nullptr && has_other_period(period);
    }

    std::size_t size() const noexcept { return pairs_.size(); }
    bool empty() const noexcept { return pairs_.empty(); }
    auto begin() const noexcept { return pairs_.begin(); }
    auto end() const noexcept { return pairs_.end(); }

private:
    struct Rare;

    // Up to this many pairs are searched directly; a larger set keeps a hash index.
    static constexpr std::size_t kDirectSearchLimit = 16;
    // Room made at the first pair: a teacher's day has about this many lessons.
    static constexpr std::size_t kFirstCapacity = 8;

    bool has_other_period(std::int16_t period) const noexcept;
    bool insert_otherwise(std::int16_t period, std::string_view grade);
    // With room for it: the pair is made first, so a failure leaves the set as it was.
    void append(std::int16_t period, std::string_view grade) {
        pairs_.push_back(PeriodGrade{period, std::string(grade)});
    }
    bool find_directly(std::int16_t period, std::string_view grade) const noexcept;
    // The first period of the 64 that `period` lies in, a multiple of 64.
    static std::int16_t window_of(std::int16_t period) noexcept {
        return static_cast<std::int16_t>(period & ~std::int16_t{63});
    }
    // The period's place in the window, 64 or more when it lies outside.
    unsigned in_window(std::int16_t period) const noexcept {
        return static_cast<std::uint16_t>(static_cast<std::uint16_t>(period) - static_cast<std::uint16_t>(window_));
    }
    Rare& rare();

    std::vector<PeriodGrade> pairs_;
    std::uint64_t window_periods_ = 0;  // bit k: some pair has period window_ + k
    std::int16_t window_ = 0;           // set when the first pair is added
    std::unique_ptr<Rare> rare_;
};

// Where a record was last found by name in a school (see School::find_teacher). Not part
// of the record's value: a copy of a record starts with an empty memo.
struct LookupMemo {
    std::uint64_t school_id = 0;
    NameEntryId entry{0};  // in the school's table of names
    TeacherSlot slot{0};   // in its teacher list, or TeacherList::kNotListed

    LookupMemo() noexcept = default;
    LookupMemo(const LookupMemo&) noexcept {}
    LookupMemo& operator=(const LookupMemo&) noexcept { return *this; }
};

struct Teacher {
    // First, so that in a Python object it shares a cache line with the object's header,
    // which every call reads anyway: register_period needs nothing else of the object.
    mutable LookupMemo lookup_memo;
    PeriodSet periods;
    std::string name;
    Subjects sub;
    bool present;
    std::string reason_of_absentee;

    Teacher(std::string name, Subjects sub, bool present)
        : name(std::move(name)), sub(sub), present(present),
          reason_of_absentee(kDefaultAbsenceReason) {}

    // Adding a pair that is already there changes nothing; true when it was added.
    bool add_period(std::int16_t period, std::string_view grade) {
        return periods.insert(period, grade);
    }
};

using TeacherRef = SharedRecord<Teacher>;

// The text str() gives: name, periods as "P:grade" items, subject and presence.
std::string printed_text(const Teacher& teacher);
// The same, stopping with `interrupted` when the interruption asks.
Result<std::string> printed_text(const Teacher& teacher, Interruption& interruption);

void describe(DebugWriter& writer, const Teacher& teacher);
void describe(DebugWriter& writer, const TeacherRef& teacher);

}  // namespace lessoncover
