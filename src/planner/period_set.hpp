// Sets of period codes as runs of 64-bit words: bit c % 64 of word c / 64 stands for the
// period whose code is c. Every set of one planning input has the same number of words,
// so a teacher's set is a fixed-size slice of one flat vector.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace lessoncover {

// How many words hold `codes` codes: one at least, so that every set has a first word.
constexpr std::size_t period_words_for(std::size_t codes) noexcept { return codes <= 64 ? 1 : (codes + 63) / 64; }

inline bool has_code(const std::uint64_t* set, std::size_t code) noexcept {
    return ((set[code / 64] >> (code % 64)) & 1U) != 0;
}

inline void add_code(std::uint64_t* set, std::size_t code) noexcept {
    set[code / 64] |= std::uint64_t{1} << (code % 64);
}

// Calls visit(code) for each code of `set` (of `words` words) in increasing order.
template <class Visit>
void for_each_code(const std::uint64_t* set, std::size_t words, Visit&& visit) {
    for (std::size_t word = 0; word < words; ++word) {
        for (std::uint64_t bits = set[word]; bits != 0; bits &= bits - 1) {
            visit(64 * word + static_cast<std::size_t>(std::countr_zero(bits)));
        }
    }
}

}  // namespace lessoncover
