// The present teachers of one subject, in the order the subject rule ranks them: fewest
// lessons first, then the earlier in list order. Machinery only: the rule itself is in
// decide.cpp.
//
// Members are numbered 0..m-1 in list order. For each number of lessons held there is a
// bucket, a bitset of the members holding that many; for each period code a bitset of the
// members busy then (a row; only codes some lesson is in are asked about, so rows stop at
// the last of those). The first free member in rank order is then found a word at a time
// (a bucket's bits without the period's busy bits), and a cover moves a member to the
// next bucket by clearing one bit and setting another.
//
// Buckets are kept only for loads that some member has, in a list sorted by load. Holding
// b different loads takes at least b(b-1)/2 lessons in all, so the buckets never weigh
// much beside the lessons themselves, and their list stays short.
#pragma once

#include <cstdint>
#include <vector>

namespace lessoncover {

// A present teacher who may cover, as planning sees it: kept small, since a large school
// has many, written once and read at random. The first word of its set of busy periods
// (busy, absent or unavailable then; covers of this run included) is kept in it, so that a
// day of up to 64 periods asks one cache line about a candidate; a wider day keeps the
// rest of each set beside the candidates.
struct Candidate {
    std::uint64_t busy;  // codes 0..63 of its set
    std::uint64_t load;  // lessons held, covers of this run included (more than the input's)
    static constexpr std::uint32_t kSupply = static_cast<std::uint32_t>(-1);  // in no pool
    std::uint32_t teacher;  // the place in the planning input
    std::uint32_t subject;  // its pool, or kSupply
};

class CandidatePool {
public:
    // Starts a pool of `members` members, added next in list order; codes from `rows` up
    // are never asked about. Once all are added, finish_appending() completes the pool.
    void start(std::size_t members, std::size_t rows);
    // The next member, holding `load` lessons, busy in the periods of the set `busy` (as
    // period_set.hpp lays sets out, with room for `rows` codes at least).
    void append(std::uint64_t load, const std::uint64_t* busy) {
        const std::size_t member = appended_++;
        const std::uint64_t bit = std::uint64_t{1} << (member % 64);
        // List order runs mostly by load, so the last bucket mostly serves.
        if (member == 0 || load != last_load_) {
            last_load_ = load;
            last_slot_ = bucket(load);
        }
        bits_[words_ * last_slot_ + member / 64] |= bit;
        ++sizes_[last_slot_];
        if (rows_ <= kStagedRows) {
            // A day's periods fit a byte: kept here a word of members at a time, then
            // written to the busy rows all at once.
            staged_[member % 64] = static_cast<std::uint8_t>(busy[0] & staged_codes_);
            if (member % 64 == 63) write_staged(member / 64, 64);
            return;
        }
        for (std::size_t word = 0; word * 64 < rows_; ++word) {
            std::uint64_t periods = busy[word];
            if (rows_ - word * 64 < 64) periods &= (std::uint64_t{1} << (rows_ - word * 64)) - 1;
            for (; periods != 0; periods &= periods - 1) {
                busy_[words_ * (64 * word + static_cast<std::size_t>(__builtin_ctzll(periods))) + member / 64] |= bit;
            }
        }
    }
    void finish_appending() {
        if (rows_ <= kStagedRows && appended_ % 64 != 0) write_staged(appended_ / 64, appended_ % 64);
    }

    // The first member in rank order who is free in the period of `code` (below rows).
    bool first_free(std::size_t code, std::size_t& found) const {
        const std::uint64_t* busy = busy_.data() + words_ * code;
        for (const Bucket& bucket : buckets_) {
            const std::uint64_t* bits = bits_.data() + words_ * bucket.slot;
            for (std::size_t word = 0; word < words_; ++word) {
                const std::uint64_t free = bits[word] & ~busy[word];
                if (free != 0) {
                    found = 64 * word + static_cast<std::size_t>(__builtin_ctzll(free));
                    return true;
                }
            }
        }
        return false;
    }

    // Member `member`, holding `load` lessons, takes one more and becomes busy in the
    // period of `code` (below rows).
    void add_lesson(std::size_t member, std::uint64_t load, std::size_t code);
    // Member `member`, holding `load` lessons, is never found again.
    void remove(std::size_t member, std::uint64_t load);

private:
    struct Bucket {
        std::uint64_t load;
        std::uint32_t slot;  // where its words are in bits_
    };

    static constexpr std::size_t kStagedRows = 8;

    std::uint32_t bucket(std::uint64_t load);
    std::uint32_t make_bucket(std::size_t position, std::uint64_t load);
    // Writes the staged busy periods of the first `count` members of word `word`.
    void write_staged(std::size_t word, std::size_t count) noexcept;

    std::size_t words_ = 0;
    std::size_t rows_ = 0;
    std::uint64_t staged_codes_ = 0;  // the codes below rows, when they fit a byte
    std::size_t appended_ = 0;
    std::uint64_t last_load_ = 0;
    std::uint32_t last_slot_ = 0;
    std::vector<Bucket> buckets_;             // by load, each with a member
    std::vector<std::uint64_t> bits_;         // the buckets' bitsets, by slot
    std::vector<std::uint32_t> sizes_;        // members in each slot's bucket
    std::vector<std::uint32_t> spare_slots_;  // slots of emptied buckets
    std::vector<std::uint64_t> busy_;         // by code (0..rows-1), then word
    std::uint8_t staged_[64] = {};            // busy codes of the current word's members
};

}  // namespace lessoncover
