// Durations as the report's timing line writes them.
#include <doctest/doctest.h>

#include <chrono>
#include <string>
#include <utility>

#include "school/duration_text.hpp"

using namespace lessoncover;
using std::chrono::nanoseconds;

TEST_CASE("durations in their units") {
    const std::pair<long long, const char*> cases[] = {
        {0, "0ns"},          {420, "420ns"},         {850'000, "850\u00b5s"},
        {1'001, "1.001\u00b5s"}, {12'034'000, "12.034ms"}, {1'500'000'000, "1.5s"},
        {61'000'000'007, "61.000000007s"},
    };
    for (const auto& [ns, text] : cases) {
        CAPTURE(ns);
        CHECK(duration_text(nanoseconds(ns)) == text);
    }
}
