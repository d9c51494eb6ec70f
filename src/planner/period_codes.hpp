// Short codes for period numbers: the places of periods in sets of period codes (see
// period_set.hpp), so that periods 101..108 or -5..2 plan as fast as 0..7 and a day's
// sets are as wide as its distinct periods, not as the int16 range. Codes are given in
// the order periods are first asked for, up to a limit; past it, periods get none.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

namespace lessoncover {

class PeriodCodes {
public:
    using Code = std::uint32_t;
    static constexpr Code kNoCode = static_cast<Code>(-1);
    static constexpr std::size_t kPeriods = std::size_t{1} << 16;  // every int16 period

    explicit PeriodCodes(std::size_t limit = kPeriods) noexcept : limit_(limit) {}
    PeriodCodes(PeriodCodes&&) noexcept = default;
    PeriodCodes& operator=(PeriodCodes&&) noexcept = default;

    // The period's code, made now when it has none and the limit allows; else kNoCode.
    Code code_for(std::int16_t period) {
        make_room();
        Code& known = by_period_[index(period)];
        if (known != 0) return known - 1;
        if (size_ == limit_) return kNoCode;
        known = static_cast<Code>(++size_);
        return known - 1;
    }
    // The period's code, kNoCode when it has none; makes nothing.
    Code code_of(std::int16_t period) const noexcept {
        return by_period_ == nullptr ? kNoCode : by_period_[index(period)] - 1;
    }
    std::size_t size() const noexcept { return size_; }
    // Takes back the codes made since size() was `size`, which nothing may refer to.
    void forget_codes_from(std::size_t size) noexcept {
        if (size >= size_) return;
        for (std::size_t period = 0; period < kPeriods; ++period) {
            if (by_period_[period] > size) by_period_[period] = 0;
        }
        size_ = size;
    }
    // Makes the table now, so that later calls cannot fail. Throws std::bad_alloc.
    void make_room() {
        if (by_period_ != nullptr) return;
        // Zeroed by calloc: a table this size comes as fresh pages from the system, so a
        // day whose periods are few touches a page or two of it, not all of it.
        by_period_.reset(static_cast<Code*>(std::calloc(kPeriods, sizeof(Code))));
        if (by_period_ == nullptr) throw std::bad_alloc();
    }

private:
    struct Free {
        void operator()(Code* table) const noexcept { std::free(table); }
    };
    static std::size_t index(std::int16_t period) noexcept { return static_cast<std::uint16_t>(period); }

    // By period: its code plus one, 0 for none. Made at the first code.
    std::unique_ptr<Code[], Free> by_period_;
    std::size_t size_ = 0;
    std::size_t limit_;
};

}  // namespace lessoncover
