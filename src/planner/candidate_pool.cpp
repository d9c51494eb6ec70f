#include "planner/candidate_pool.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

namespace lessoncover {
namespace {

template <class Buckets>
auto lower_bound_load(Buckets& buckets, std::uint64_t load) {
    return std::lower_bound(buckets.begin(), buckets.end(), load,
                            [](const auto& bucket, std::uint64_t wanted) { return bucket.load < wanted; });
}

}  // namespace

void CandidatePool::start(std::size_t members, std::size_t rows) {
    words_ = (members + 63) / 64;
    rows_ = rows;
    staged_codes_ = rows <= kStagedRows ? (std::uint64_t{1} << rows) - 1 : 0;
    appended_ = 0;
    buckets_.clear();
    bits_.clear();
    sizes_.clear();
    spare_slots_.clear();
    busy_.assign(rows * words_, 0);
}

void CandidatePool::write_staged(std::size_t word, std::size_t count) noexcept {
    std::fill(staged_ + count, staged_ + 64, std::uint8_t{0});
    // Eight members' bytes at a time: bit c of each byte gathered into one byte by a
    // multiplication, which lines the eight bits up in the top byte.
    constexpr std::uint64_t kLowBits = 0x0101010101010101;
    constexpr std::uint64_t kGather = 0x0102040810204080;
    for (std::size_t code = 0; code < rows_; ++code) {
        std::uint64_t row = 0;
        for (std::size_t group = 0; group < 8; ++group) {
            std::uint64_t bytes = 0;
            std::memcpy(&bytes, staged_ + 8 * group, 8);
            if constexpr (std::endian::native == std::endian::big) bytes = __builtin_bswap64(bytes);
            row |= ((((bytes >> code) & kLowBits) * kGather) >> 56) << (8 * group);
        }
        busy_[words_ * code + word] |= row;
    }
}

void CandidatePool::add_lesson(std::size_t member, std::uint64_t load, std::size_t code) {
    const std::uint64_t bit = std::uint64_t{1} << (member % 64);
    const auto at = static_cast<std::size_t>(lower_bound_load(buckets_, load) - buckets_.begin());
    // The bucket for one lesson more follows, or is made there.
    const std::uint32_t to = at + 1 < buckets_.size() && buckets_[at + 1].load == load + 1
                                 ? buckets_[at + 1].slot
                                 : make_bucket(at + 1, load + 1);
    const std::uint32_t from = buckets_[at].slot;
    bits_[words_ * from + member / 64] &= ~bit;
    if (--sizes_[from] == 0) {
        spare_slots_.push_back(from);
        buckets_.erase(buckets_.begin() + static_cast<std::ptrdiff_t>(at));
    }
    bits_[words_ * to + member / 64] |= bit;
    ++sizes_[to];
    if (code < rows_) busy_[words_ * code + member / 64] |= bit;
}

void CandidatePool::remove(std::size_t member, std::uint64_t load) {
    const auto at = static_cast<std::size_t>(lower_bound_load(buckets_, load) - buckets_.begin());
    const std::uint32_t from = buckets_[at].slot;
    bits_[words_ * from + member / 64] &= ~(std::uint64_t{1} << (member % 64));
    if (--sizes_[from] == 0) {
        spare_slots_.push_back(from);
        buckets_.erase(buckets_.begin() + static_cast<std::ptrdiff_t>(at));
    }
}

// The slot of the bucket for `load`, made empty when there is none.
std::uint32_t CandidatePool::bucket(std::uint64_t load) {
    const auto at = lower_bound_load(buckets_, load);
    if (at != buckets_.end() && at->load == load) return at->slot;
    return make_bucket(static_cast<std::size_t>(at - buckets_.begin()), load);
}

// Makes an empty bucket for `load` at `position` in buckets_; returns its slot.
std::uint32_t CandidatePool::make_bucket(std::size_t position, std::uint64_t load) {
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
    buckets_.insert(buckets_.begin() + static_cast<std::ptrdiff_t>(position), Bucket{load, slot});
    return slot;
}

}  // namespace lessoncover
