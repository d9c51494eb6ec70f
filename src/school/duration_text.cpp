#include "school/duration_text.hpp"

#include <cstdint>

namespace lessoncover {

std::string duration_text(std::chrono::nanoseconds elapsed) {
    struct Unit {
        std::int64_t nanoseconds;
        int fraction_digits;
        const char* suffix;
    };
    static constexpr Unit units[] = {
        {1'000'000'000, 9, "s"}, {1'000'000, 6, "ms"}, {1'000, 3, "\u00b5s"}, {1, 0, "ns"}};

    const std::int64_t total = elapsed.count() < 0 ? 0 : elapsed.count();
    const Unit* unit = &units[3];
    for (const Unit& candidate : units) {
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
