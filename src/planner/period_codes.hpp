// Short codes for period numbers. Planning keeps "busy in period P" as one bit of a 64-bit
// word per teacher; the bit is the period's code, not the period itself, so that periods
// 101..108 or -5..2 plan as fast as 1..8. The first 64 periods asked for get codes, in
// the order asked; later ones get none and are planned from sparse lists instead.
#pragma once

#include <cstdint>
#include <memory>

namespace lessoncover {

class PeriodCodes {
public:
    using Code = std::uint8_t;
    static constexpr Code kNoCode = 0xff;
    static constexpr std::size_t kMaxCodes = 64;

    PeriodCodes() noexcept = default;
    PeriodCodes(PeriodCodes&&) noexcept = default;
    PeriodCodes& operator=(PeriodCodes&&) noexcept = default;

    // The period's code, made now when it has none and one is left; else kNoCode.
    Code code_for(std::int16_t period) {
        if (by_period_ != nullptr) {
            const Code known = by_period_[index(period)];
            if (known != 0 || size_ == kMaxCodes) return static_cast<Code>(known - 1);
        }
        return make_code(period);
    }
    // The code's bit, made as code_for makes the code; 0 when the period has no code.
    std::uint64_t bit_for(std::int16_t period) {
        const Code code = code_for(period);
        return code == kNoCode ? 0 : std::uint64_t{1} << code;
    }
    // The period's code, kNoCode when it has none; makes nothing.
    Code code_of(std::int16_t period) const noexcept {
        return by_period_ == nullptr ? kNoCode : static_cast<Code>(by_period_[index(period)] - 1);
    }
    std::size_t size() const noexcept { return size_; }
    // Takes back the codes made since size() was `size`, which nothing may refer to.
    void forget_codes_from(std::size_t size) noexcept {
        if (size >= size_) return;
        for (std::size_t period = 0; period < (std::size_t{1} << 16); ++period) {
            if (by_period_[period] > size) by_period_[period] = 0;
        }
        size_ = static_cast<std::uint8_t>(size);
    }
    // Makes the table now, so that later calls cannot fail.
    void make_room() {
        if (by_period_ == nullptr) by_period_ = std::make_unique<std::uint8_t[]>(std::size_t{1} << 16);
    }

private:
    static std::size_t index(std::int16_t period) noexcept { return static_cast<std::uint16_t>(period); }
    Code make_code(std::int16_t period);

    // By period: its code plus one, 0 for none. Made at the first code.
    std::unique_ptr<std::uint8_t[]> by_period_;
    std::uint8_t size_ = 0;
};

}  // namespace lessoncover
