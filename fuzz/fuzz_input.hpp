// The libFuzzer harnesses read their input as a stream of choices. Past the end every
// choice reads as zero, so a short input still makes a whole (small) case, and the
// zero choice of each kind is the plain one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace fuzz {

class Choices {
public:
    Choices(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool more() const noexcept { return pos_ < size_; }

    std::uint8_t byte() noexcept { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint16_t u16() noexcept { return static_cast<std::uint16_t>(byte() | byte() << 8); }
    std::uint32_t u32() noexcept { return u16() | static_cast<std::uint32_t>(u16()) << 16; }
    std::uint64_t u64() noexcept { return u32() | static_cast<std::uint64_t>(u32()) << 32; }

    // 0..n-1 (n > 0), from one byte while n fits in one, else from two.
    std::size_t below(std::size_t n) noexcept {
        return n <= 256 ? byte() % n : u16() % n;
    }
    bool one_in(unsigned n) noexcept { return byte() % n == 0; }

    template <class T>
    const T& pick(const std::vector<T>& options) noexcept {
        return options[below(options.size())];
    }

    // A count that is mostly small but reaches `large` one time in `rarely` (a power of
    // two up to 256), so that bitsets of more than one 64-bit word are common enough.
    std::size_t count(std::size_t small, std::size_t large, unsigned rarely = 8) noexcept {
        const std::uint8_t b = byte();
        const unsigned from = 256 - 256 / rarely;
        if (b < from) return b % (small + 1);
        return small + (static_cast<std::size_t>(b - from) * 256 + byte()) % (large - small + 1);
    }

    // Raw bytes: any value, valid UTF-8 or not.
    std::string bytes(std::size_t max) {
        std::string out(below(max + 1), '\0');
        for (char& c : out) c = static_cast<char>(byte());
        return out;
    }

    // A period number over the whole int16 range, mostly near the last few chosen, so
    // that periods repeat and neighbour each other.
    std::int16_t period(std::vector<std::int16_t>& recent) noexcept {
        std::int32_t value = 0;
        switch (byte() % 8) {
            case 0:
            case 1:
            case 2:
                if (!recent.empty()) {
                    value = recent[below(recent.size())];
                    break;
                }
                [[fallthrough]];
            case 3: value = static_cast<std::int32_t>(byte() % 10) - 1; break;
            case 4:
                value = (recent.empty() ? 0 : recent.back()) + static_cast<std::int32_t>(byte() % 9) - 4;
                break;
            case 5: {
                static constexpr std::int32_t edges[] = {-32768, -32767, 32767, 32766, 0, -1, 255, 256, -256};
                value = edges[byte() % (sizeof edges / sizeof edges[0])];
                break;
            }
            default: value = static_cast<std::int16_t>(u16()); break;
        }
        value = value < -32768 ? -32768 : value > 32767 ? 32767 : value;
        const auto period = static_cast<std::int16_t>(value);
        if (recent.size() < 16) {
            recent.push_back(period);
        } else {
            recent[byte() % 16] = period;
        }
        return period;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// A failed check: says which and where, then aborts, which libFuzzer reports as a crash
// and saves the input for.
[[noreturn]] inline void fail(const char* file, int line, const char* what) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
    std::abort();
}

}  // namespace fuzz

#define FUZZ_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : ::fuzz::fail(__FILE__, __LINE__, #condition))
