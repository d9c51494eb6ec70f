#include "school/duration_text.hpp"

#include <cstdint>

namespace lessoncover {

namespace {

struct Unit {
    std::int64_t nanoseconds;
    int fraction_digits;
    const char* suffix;
};
constexpr Unit kSeconds{1'000'000'000, 9, "s"};
constexpr Unit kMilliseconds{1'000'000, 6, "ms"};
constexpr Unit kMicroseconds{1'000, 3, "\u00b5s"};
constexpr Unit kNanoseconds{1, 0, "ns"};
constexpr Unit kUnits[] = {kSeconds, kMilliseconds, kMicroseconds, kNanoseconds};

}  // namespace

std::string duration_text(std::chrono::nanoseconds elapsed) {
    const std::int64_t total = elapsed.count() < 0 ? 0 : elapsed.count();
    const Unit* unit = &kNanoseconds;
    for (const Unit& candidate : kUnits) {
        if (total >= candidate.nanoseconds) {
            unit = &candidate;
            break;
        }
    }
    std::string out = std::to_string(total / unit->nanoseconds);
    std::int64_t fraction = total % unit->nanoseconds;
    int digits = unit->fraction_digits;
    if (fraction != 0) {
        while (fraction % 10 == 0) {
            fraction /= 10;
            --digits;
        }
        std::string fraction_text = std::to_string(fraction);
        out += '.';
        out.append(static_cast<std::size_t>(digits) - fraction_text.size(), '0');
        out += fraction_text;
    }
    out += unit->suffix;
    return out;
}

}  // namespace lessoncover
