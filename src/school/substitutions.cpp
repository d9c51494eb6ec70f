#include "school/substitutions.hpp"

#include <algorithm>
#include <bit>
#include <array>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <span>
#include <stdexcept>
#include <vector>

#include "debug_text.hpp"
#include "school/duration_text.hpp"

// How the run is laid out, and why.
//
// A school's records are scattered through memory, and on a large school nearly every
// first touch of a record is a cache miss. The run therefore plans from what the school
// keeps without reading records: the absent lessons of its classes, found when each class
// was added, and what the teacher list knows of each teacher (presence, subject, number
// of pairs, busy periods 0..63). It decides every cover before it touches a record; then
// it writes the covers into the substitutes' records, fetching the records a few covers
// ahead, and writes the report from texts that never change.
//
// Nothing outside the run can tell the difference: no Python code runs meanwhile, and the
// planner's copies change exactly as the records would. A cover in a period outside
// 0..63, which the planner keeps no copy of, goes into the substitute's record at once,
// so the record answers for those periods.

namespace lessoncover {
namespace {

void prefetch(const void* address) noexcept { __builtin_prefetch(address); }
void prefetch_for_write(const void* address) noexcept { __builtin_prefetch(address, 1); }

// The present teachers of one subject, in the order a stable sort by period count gives
// them: fewest pairs first, then the earlier in the school's teacher list. Teachers are
// numbered 0..m-1 in list order. For each number of pairs held there is a bucket, a
// bitset of the teachers holding that many; for each period 0..63 a bitset of the
// teachers busy in it. The first free teacher in order is then found a word at a time
// (a bucket's bits without the period's busy bits), and a cover moves a teacher to the
// next bucket by clearing one bit and setting another.
//
// Buckets are kept only for counts that some teacher holds, in a list sorted by count.
// Holding b different counts takes at least b(b-1)/2 pairs in all, so the buckets never
// weigh much beside the records themselves, and their list stays short.
class Pool {
public:
    // The teachers numbered 0..m-1, given by their counts and busy periods; periods from
    // `period_rows` up are never asked about.
    void assign(std::span<const Candidate> members, std::size_t period_rows) {
        words_ = (members.size() + 63) / 64;
        busy_.assign(period_rows * words_, 0);
        std::size_t last_count = 0;  // list order runs by count, so the last bucket mostly serves
        std::uint32_t slot = 0;
        for (std::size_t member = 0; member < members.size(); ++member) {
            const std::uint64_t bit = std::uint64_t{1} << (member % 64);
            if (member == 0 || members[member].count != last_count) {
                last_count = members[member].count;
                slot = bucket(last_count);
            }
            bits_[words_ * slot + member / 64] |= bit;
            ++sizes_[slot];
            for (std::uint64_t periods = members[member].small_periods; periods != 0; periods &= periods - 1) {
                busy_[words_ * static_cast<std::size_t>(std::countr_zero(periods)) + member / 64] |= bit;
            }
        }
    }

    // The first teacher in order who is free in `period` (below period_rows), if any.
    bool first_free(std::int16_t period, std::size_t& found) const {
        const std::uint64_t* busy = busy_.data() + words_ * static_cast<std::size_t>(period);
        for (const Bucket& bucket : buckets_) {
            const std::uint64_t* bits = bits_.data() + words_ * bucket.slot;
            for (std::size_t word = 0; word < words_; ++word) {
                const std::uint64_t free = bits[word] & ~busy[word];
                if (free != 0) {
                    found = 64 * word + static_cast<std::size_t>(std::countr_zero(free));
                    return true;
                }
            }
        }
        return false;
    }

    // The first teacher in order for whom `is_free(member)` holds.
    template <class IsFree>
    bool first_where(IsFree&& is_free, std::size_t& found) const {
        for (const Bucket& bucket : buckets_) {
            const std::uint64_t* bits = bits_.data() + words_ * bucket.slot;
            for (std::size_t word = 0; word < words_; ++word) {
                for (std::uint64_t left = bits[word]; left != 0; left &= left - 1) {
                    const std::size_t member = 64 * word + static_cast<std::size_t>(std::countr_zero(left));
                    if (is_free(member)) {
                        found = member;
                        return true;
                    }
                }
            }
        }
        return false;
    }

    // Teacher `member`, holding `count` pairs, takes one more and becomes busy in the
    // periods of `busy` (below period_rows).
    void add_pair(std::size_t member, std::size_t count, std::uint64_t busy) {
        const std::uint64_t bit = std::uint64_t{1} << (member % 64);
        const auto at = static_cast<std::size_t>(
            std::lower_bound(buckets_.begin(), buckets_.end(), count,
                             [](const Bucket& b, std::size_t c) { return b.count < c; }) -
            buckets_.begin());
        // The bucket for one pair more follows, or is made there.
        const std::uint32_t to = at + 1 < buckets_.size() && buckets_[at + 1].count == count + 1
                                     ? buckets_[at + 1].slot
                                     : make_bucket(at + 1, count + 1);
        const std::uint32_t from = buckets_[at].slot;
        bits_[words_ * from + member / 64] &= ~bit;
        if (--sizes_[from] == 0) {
            spare_slots_.push_back(from);
            buckets_.erase(buckets_.begin() + static_cast<std::ptrdiff_t>(at));
        }
        bits_[words_ * to + member / 64] |= bit;
        ++sizes_[to];
        for (; busy != 0; busy &= busy - 1) {
            busy_[words_ * static_cast<std::size_t>(std::countr_zero(busy)) + member / 64] |= bit;
        }
    }

private:
    struct Bucket {
        std::size_t count;
        std::uint32_t slot;  // where its words are in bits_
    };

    // The slot of the bucket for `count`, made empty when there is none.
    std::uint32_t bucket(std::size_t count) {
        const auto at = std::lower_bound(buckets_.begin(), buckets_.end(), count,
                                         [](const Bucket& b, std::size_t c) { return b.count < c; });
        if (at != buckets_.end() && at->count == count) return at->slot;
        return make_bucket(static_cast<std::size_t>(at - buckets_.begin()), count);
    }

    // Makes an empty bucket for `count` at `position` in buckets_; returns its slot.
    std::uint32_t make_bucket(std::size_t position, std::size_t count) {
        std::uint32_t slot = 0;
        if (!spare_slots_.empty()) {
            slot = spare_slots_.back();
            spare_slots_.pop_back();
            std::fill_n(bits_.begin() + static_cast<std::ptrdiff_t>(words_ * slot), words_, 0);
        } else {
            slot = static_cast<std::uint32_t>(sizes_.size());
            sizes_.push_back(0);
            bits_.resize(bits_.size() + words_, 0);
        }
        buckets_.insert(buckets_.begin() + static_cast<std::ptrdiff_t>(position), Bucket{count, slot});
        return slot;
    }

    std::size_t words_ = 0;
    std::vector<Bucket> buckets_;             // by count, each with a member
    std::vector<std::uint64_t> bits_;         // the buckets' bitsets, by slot
    std::vector<std::uint32_t> sizes_;        // members in each slot's bucket
    std::vector<std::uint32_t> spare_slots_;  // slots of emptied buckets
    std::vector<std::uint64_t> busy_;         // by period (0..period_rows-1), then word
};

// Copies `text` to `to`. A report is mostly pieces of a few dozen bytes, which are copied
// here in two overlapping moves instead of a call.
inline void copy_text(char* to, std::string_view text) noexcept {
    const char* from = text.data();
    const std::size_t size = text.size();
    if (size >= 16 && size <= 32) {
        std::memcpy(to, from, 16);
        std::memcpy(to + size - 16, from + size - 16, 16);
    } else if (size >= 8 && size < 16) {
        std::memcpy(to, from, 8);
        std::memcpy(to + size - 8, from + size - 8, 8);
    } else {
        std::memcpy(to, from, size);
    }
}

// Room kept at the end of the report for the quoted timing line, which is far shorter.
constexpr std::size_t kTimingRoom = 128;

void append_number(std::string& out, std::int16_t number) {
    char digits[8];
    const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
    out.append(digits, end);
}

class CoverPlanner {
public:
    explicit CoverPlanner(School& school)
        : school_(school), candidates_(school.generation_space.candidates), covers_(school.generation_space.covers) {
        const TeacherList& list = school.teacher_list;
        // The pools lie side by side in one array, each subject's in list order; one walk
        // of the list fills them.
        std::size_t present = 0;
        for (std::size_t subject = 0; subject < kSubjectCount; ++subject) {
            subject_starts_[subject] = present;
            present += list.present_count(static_cast<Subjects>(subject));
        }
        candidates_.resize(present);
        std::uint64_t periods_in_use = school.absent_lesson_periods;
        for_each_candidate_in_list_order([&](TeacherList::Slot slot, std::size_t place) {
            candidates_[place] = Candidate{list.small_periods(slot), list.count(slot), slot, list.sub(slot)};
            periods_in_use |= list.small_periods(slot);
        });
        // Periods 0..63 that anybody is busy in or that a lesson needs cover for: the
        // pools keep a row of busy bits for each period up to the last of them.
        const auto period_rows = static_cast<std::size_t>(64 - std::countl_zero(periods_in_use));
        for (std::size_t subject = 0; subject < kSubjectCount; ++subject) {
            const std::size_t end = subject + 1 < kSubjectCount ? subject_starts_[subject + 1] : present;
            pools_[subject].assign(std::span<const Candidate>(candidates_).subspan(
                                       subject_starts_[subject], end - subject_starts_[subject]),
                                   period_rows);
        }
    }

    void plan_lessons() {
        const std::vector<AbsentLesson>& lessons = school_.absent_lessons;
        covers_.clear();
        covers_.reserve(lessons.size());
        constexpr std::size_t kAhead = 8;
        for (std::size_t i = 0; i < lessons.size(); ++i) {
            if (i + kAhead < lessons.size()) prefetch(&lessons[i + kAhead]);
            plan_lesson(lessons[i]);
        }
    }

    // Writes every cover into its substitute's record, then the report into `sink`: the
    // rows, the lessons nobody could cover, and `timing()`'s text, each of the last two
    // quoted.
    template <class Timing>
    void write_report(ReportSink& sink, Timing&& timing) {
        TeacherList& list = school_.teacher_list;
        const std::string& texts = school_.absent_lesson_texts;

        // The teacher list's entry and the record of the substitute some covers ahead are
        // fetched first, then where the pair will go. The report's size is counted on the way.
        std::size_t size = kReportHeader.size() + 2;
        bool ascii = school_.absent_lesson_texts_are_ascii;
        constexpr std::size_t kAhead = 12;
        for (std::size_t i = 0; i < covers_.size(); ++i) {
            if (i + 2 * kAhead < covers_.size()) list.prefetch(covers_[i + 2 * kAhead].substitute);
            if (i + kAhead < covers_.size()) {
                const TeacherList::Slot ahead = covers_[i + kAhead].substitute;
                list.handle(ahead).prefetch_for_write(sizeof(PeriodSet));  // periods come first
                prefetch_for_write(list.next_pair_place(ahead));
                prefetch_for_write(static_cast<const char*>(list.next_pair_place(ahead)) + sizeof(PeriodGrade) - 1);
            }
            Cover& cover = covers_[i];
            const AbsentLesson& lesson = *cover.lesson;
            const void* next_pair_place = list.next_pair_place(cover.substitute);
            if (static_cast<std::uint16_t>(lesson.period) < 64) {  // others went in at once
                const auto teacher = list.handle(cover.substitute).lock();
                teacher->add_period(lesson.period, class_name(lesson));
                next_pair_place = teacher->periods.next_place();
            }
            list.note_pair_added(cover.substitute, lesson.period, next_pair_place);
            cover.name = list.name(cover.substitute);
            cover.quoted_name = list.name_needs_quotes(cover.substitute);
            ascii = ascii && list.name_is_ascii(cover.substitute);
            size += lesson.before + lesson.after + cover.name.size();
            if (cover.quoted_name) {
                size += 2 + static_cast<std::size_t>(std::count(cover.name.begin(), cover.name.end(), '"'));
            }
        }

        std::string missing;
        append_quoted(missing, missing_);  // from the lessons' texts, ASCII when they are
        size += missing.size();
        const std::size_t capacity = size + kTimingRoom;
        char* const start = sink.room(capacity, ascii);
        char* out = start;
        const auto put = [&out](std::string_view text) {
            copy_text(out, text);
            out += text.size();
        };
        put(kReportHeader);
        for (std::size_t i = 0; i < covers_.size(); ++i) {
            if (i + 3 * kAhead < covers_.size()) prefetch(covers_[i + 3 * kAhead].name.data());
            const Cover& cover = covers_[i];
            const AbsentLesson& lesson = *cover.lesson;
            const std::size_t row = lesson.texts + lesson.class_name_size;
            put(std::string_view(texts).substr(row, lesson.before));
            if (cover.quoted_name) {
                std::string field;
                append_csv_field(field, cover.name);
                put(field);
            } else {
                put(cover.name);
            }
            put(std::string_view(texts).substr(row + lesson.before, lesson.after));
        }
        put("\n");
        put(missing);
        put("\n");
        std::string timing_line;
        append_quoted(timing_line, timing());
        if (timing_line.size() > kTimingRoom) throw std::length_error("the timing line does not fit the report");
        put(timing_line);
        sink.finish(static_cast<std::size_t>(out - start), ascii && is_ascii(timing_line));
    }

private:
    void plan_lesson(const AbsentLesson& lesson) {
        Candidate* substitute = free_colleague(lesson.sub, lesson.period);
        if (substitute == nullptr) substitute = first_free_teacher(lesson.period);
        if (substitute != nullptr) {
            take(*substitute, lesson);
            return;
        }
        missing_ += "Couldnt find a substitution for ";
        missing_ += school_.absent_teacher_names[static_cast<std::size_t>(&lesson - school_.absent_lessons.data())];
        missing_ += " at ";
        append_number(missing_, lesson.period);
        missing_ += '-';
        append_quoted(missing_, class_name(lesson));
        missing_ += '\n';
    }

    std::string_view class_name(const AbsentLesson& lesson) const {
        return std::string_view(school_.absent_lesson_texts).substr(lesson.texts, lesson.class_name_size);
    }

    bool is_busy(const Candidate& candidate, std::int16_t period) const {
        if (static_cast<std::uint16_t>(period) < 64) return (candidate.small_periods >> period) & 1U;
        return school_.teacher_list.handle(candidate.slot).lock()->teaches_in(period);
    }

    // The free present teacher of the subject with the fewest periods, the earlier in the
    // school's list on equal counts. A subject nobody in the list teaches has no one.
    Candidate* free_colleague(Subjects subject, std::int16_t period) {
        const auto index = static_cast<std::size_t>(subject);
        const Pool& pool = pools_[index];
        std::size_t member = 0;
        const bool any = static_cast<std::uint16_t>(period) < 64
                             ? pool.first_free(period, member)
                             : pool.first_where(
                                   [&](std::size_t m) {
                                       return !is_busy(candidates_[subject_starts_[index] + m], period);
                                   },
                                   member);
        return any ? &candidates_[subject_starts_[index] + member] : nullptr;
    }

    // The first present teacher of the list who is free in the period. A teacher busy in
    // a period stays busy, so each period keeps a cursor that only moves forward. Periods
    // 0..63 keep theirs at hand; the table for the others is made when first needed.
    Candidate* first_free_teacher(std::int16_t period) {
        const auto number = static_cast<std::uint16_t>(period);
        if (number >= small_cursors_.size() && other_cursors_.empty()) {
            other_cursors_.assign(std::size_t{1} << 16, 0);
        }
        if (!listed_in_order_) list_candidates_in_order();
        std::uint32_t& cursor = number < small_cursors_.size() ? small_cursors_[number] : other_cursors_[number];
        while (cursor < in_list_order_.size() && is_busy(candidates_[in_list_order_[cursor]], period)) ++cursor;
        return cursor < in_list_order_.size() ? &candidates_[in_list_order_[cursor]] : nullptr;
    }

    // Calls visit(slot, place) for each present teacher in list order, with its place in
    // candidates_: its subject's pool, in list order.
    template <class Visit>
    void for_each_candidate_in_list_order(Visit&& visit) const {
        const TeacherList& list = school_.teacher_list;
        std::array<std::size_t, kSubjectCount> next = subject_starts_;
        list.for_each_in_order([&](TeacherList::Slot slot) {
            if (list.present(slot)) visit(slot, next[static_cast<std::size_t>(list.sub(slot))]++);
        });
    }

    // Notes where each candidate is in candidates_, in list order: the walk that filled
    // the pools, again. Only the lessons no subject colleague can take need it.
    void list_candidates_in_order() {
        in_list_order_.reserve(candidates_.size());
        listed_in_order_ = true;
        for_each_candidate_in_list_order([&](TeacherList::Slot, std::size_t place) {
            in_list_order_.push_back(static_cast<std::uint32_t>(place));
        });
    }

    // Books the substitute for the lesson: from now on busy in the period, with one pair
    // more (the pair is new, since the substitute was free in that period).
    void take(Candidate& substitute, const AbsentLesson& lesson) {
        const bool small = static_cast<std::uint16_t>(lesson.period) < 64;
        const std::uint64_t busy = small ? std::uint64_t{1} << lesson.period : 0;
        if (!small) school_.teacher_list.handle(substitute.slot).lock()->add_period(lesson.period, class_name(lesson));
        covers_.push_back(Cover{&lesson, substitute.slot, false, {}});
        const auto subject = static_cast<std::size_t>(substitute.sub);
        const auto member = static_cast<std::size_t>(&substitute - candidates_.data()) - subject_starts_[subject];
        pools_[subject].add_pair(member, substitute.count, busy);
        substitute.count += 1;
        substitute.small_periods |= busy;
    }

    School& school_;
    std::array<Pool, kSubjectCount> pools_;
    std::vector<Candidate>& candidates_;  // the pools' members, pool by pool, each in list order
    std::array<std::size_t, kSubjectCount> subject_starts_{};  // where each pool starts in candidates_
    std::vector<std::uint32_t> in_list_order_;  // positions in candidates_, in list order
    bool listed_in_order_ = false;              // whether in_list_order_ is made yet
    // By period, for first_free_teacher.
    std::array<std::uint32_t, 64> small_cursors_{};
    std::vector<std::uint32_t> other_cursors_;
    std::vector<Cover>& covers_;
    std::string missing_;
};

}  // namespace

RowParts append_row_parts(std::string& out, std::string_view teacher_name, std::int16_t period,
                          Subjects subject, std::string_view class_name, std::string_view reason) {
    const std::size_t start = out.size();
    append_csv_field(out, teacher_name);
    out += ',';
    append_number(out, period);
    out += ',';
    out += display_name(subject);
    out += ',';
    const std::size_t middle = out.size();
    out += ',';
    append_csv_field(out, class_name);
    out += ',';
    append_csv_field(out, reason);
    out += '\n';
    return RowParts{middle - start, out.size() - middle};
}

bool needs_csv_quotes(std::string_view field) noexcept {
    return std::any_of(field.begin(), field.end(),
                       [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; });
}

void append_csv_field(std::string& out, std::string_view field) {
    if (!needs_csv_quotes(field)) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

void generate_substitutions(School& school, ReportSink& sink) {
    const auto started = std::chrono::steady_clock::now();
    CoverPlanner planner(school);
    planner.plan_lessons();
    planner.write_report(sink, [started] {
        std::string timing = "Time taken to generate subs: ";
        timing += duration_text(std::chrono::steady_clock::now() - started);
        return timing;
    });
}

std::string generate_substitutions(School& school) {
    class StringSink final : public ReportSink {
    public:
        char* room(std::size_t capacity, bool) override {
            text.resize(capacity);
            return text.data();
        }
        void finish(std::size_t size, bool) override { text.resize(size); }
        std::string text;
    } sink;
    generate_substitutions(school, sink);
    return std::move(sink.text);
}

bool is_ascii(std::string_view text) noexcept {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace lessoncover
