#include "planner/period_codes.hpp"

namespace lessoncover {

PeriodCodes::Code PeriodCodes::make_code(std::int16_t period) {
    if (by_period_ == nullptr) by_period_ = std::make_unique<std::uint8_t[]>(std::size_t{1} << 16);
    std::uint8_t& known = by_period_[index(period)];
    if (known != 0) return static_cast<Code>(known - 1);
    if (size_ == kMaxCodes) return kNoCode;
    known = ++size_;
    return static_cast<Code>(size_ - 1);
}

}  // namespace lessoncover
