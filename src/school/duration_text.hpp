// Elapsed time as people read it: 1.5s, 12.034ms, 850µs, 420ns.
#pragma once

#include <chrono>
#include <string>

namespace lessoncover {

// The largest of s, ms, µs and ns in which the whole part is at least 1 (ns otherwise),
// the fraction to nanosecond precision without trailing zeros.
std::string duration_text(std::chrono::nanoseconds elapsed);

}  // namespace lessoncover
