// Sets of period codes: the planner's word-array sets against std::set<int>, and the
// teacher's set of (period, grade) pairs against a set and a list of first insertions.
#include <doctest/doctest.h>

#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "planner/period_set.hpp"
#include "teacher/teacher.hpp"

using namespace lessoncover;

namespace {

std::vector<int> codes_of(const std::vector<std::uint64_t>& set) {
    std::vector<int> codes;
    for_each_code(set.data(), set.size(), [&](std::size_t code) { codes.push_back(static_cast<int>(code)); });
    return codes;
}

// The pairs of `set` in the order it lists them.
std::vector<std::pair<int, std::string>> pairs_of(const PeriodSet& set) {
    std::vector<std::pair<int, std::string>> pairs;
    for (const PeriodGrade& pair : set) pairs.emplace_back(pair.period, pair.grade);
    return pairs;
}

// The teacher's set as plainly as it can be kept: each distinct pair once, in the order
// first added.
struct PlainPairs {
    bool insert(int period, const std::string& grade) {
        if (!distinct.emplace(period, grade).second) return false;
        in_order.emplace_back(period, grade);
        periods.insert(period);
        return true;
    }
    std::set<std::pair<int, std::string>> distinct;
    std::vector<std::pair<int, std::string>> in_order;
    std::set<int> periods;
};

void check_same(const PeriodSet& set, const PlainPairs& plain, const std::vector<int>& probes) {
    REQUIRE(set.size() == plain.in_order.size());
    CHECK(set.empty() == plain.in_order.empty());
    CHECK(pairs_of(set) == plain.in_order);
    for (const int period : probes) {
        CAPTURE(period);
        CHECK(set.has_period(static_cast<std::int16_t>(period)) == plain.periods.contains(period));
    }
}

}  // namespace

TEST_CASE("words for a number of codes: one at least, a word per 64") {
    CHECK(period_words_for(0) == 1);
    CHECK(period_words_for(1) == 1);
    CHECK(period_words_for(64) == 1);
    CHECK(period_words_for(65) == 2);
    CHECK(period_words_for(128) == 2);
    CHECK(period_words_for(129) == 3);
}

TEST_CASE("codes on both sides of the word boundaries") {
    std::vector<std::uint64_t> set(period_words_for(130), 0);
    CHECK(codes_of(set).empty());
    for (const std::size_t code : {0, 63, 64, 65, 127, 128, 129}) add_code(set.data(), code);
    add_code(set.data(), 64);  // again: no change
    CHECK(codes_of(set) == std::vector<int>{0, 63, 64, 65, 127, 128, 129});
    for (std::size_t code = 0; code < 64 * set.size(); ++code) {
        CAPTURE(code);
        CHECK(has_code(set.data(), code) == (code == 0 || code == 63 || code == 64 || code == 65 ||
                                             code == 127 || code == 128 || code == 129));
    }
}

TEST_CASE("random codes agree with std::set") {
    std::uint64_t seed = 11;
    for (const std::size_t codes : {1, 63, 64, 65, 128, 129, 300}) {
        CAPTURE(codes);
        std::mt19937_64 random(seed++);
        std::vector<std::uint64_t> set(period_words_for(codes), 0);
        std::set<int> plain;
        for (int step = 0; step < 3000; ++step) {
            const std::size_t code = random() % codes;
            if (random() % 2 == 0) {
                add_code(set.data(), code);
                plain.insert(static_cast<int>(code));
            } else {
                CHECK(has_code(set.data(), code) == plain.contains(static_cast<int>(code)));
            }
        }
        CHECK(codes_of(set) == std::vector<int>(plain.begin(), plain.end()));
    }
}

TEST_CASE("an empty pair set holds no period") {
    const PeriodSet set;
    CHECK(set.empty());
    CHECK(set.size() == 0);
    CHECK(set.begin() == set.end());
    for (const int period : {-32768, -1, 0, 1, 63, 64, 32767}) CHECK_FALSE(set.has_period(static_cast<std::int16_t>(period)));
}

TEST_CASE("pairs across the first pair's window of 64 periods") {
    PeriodSet set;
    PlainPairs plain;
    // The window is that of period 70 (64..127); 63 and 128 lie outside it, on either side.
    for (const auto& [period, grade] : std::vector<std::pair<int, std::string>>{
             {70, "9A"}, {63, "9A"}, {64, "9A"}, {127, "9B"}, {128, "9B"}, {70, "9A"}, {70, "9B"}, {63, "9A"},
             {-1, ""}, {-64, ""}, {-65, "x"}}) {
        CAPTURE(period);
        CHECK(set.insert(static_cast<std::int16_t>(period), grade) == plain.insert(period, grade));
    }
    check_same(set, plain, {-66, -65, -64, -63, -1, 0, 62, 63, 64, 65, 69, 70, 71, 126, 127, 128, 129, 191, 192});
}

// Days of a few periods and sets spread over the whole range; enough pairs for the hash
// index; copies and moves taken part way, which must then live on their own.
TEST_CASE("random pairs agree with a set and a list of first insertions") {
    const std::pair<int, int> ranges[] = {{1, 8}, {60, 70}, {101, 108}, {-70, 70}, {-32768, 32767}};
    const std::vector<std::string> grades = {"", "9A", "9B", "10A", "a longer class name than most"};
    std::uint64_t seed = 21;
    for (const auto& [low, high] : ranges) {
        for (const int pairs : {5, 20, 3000}) {
            CAPTURE(low);
            CAPTURE(pairs);
            std::mt19937_64 random(seed++);
            std::uniform_int_distribution<int> period_of(low, high);
            PeriodSet set;
            PlainPairs plain;
            PeriodSet copy;
            PlainPairs plain_copy;
            std::vector<int> probes;
            for (int step = 0; step < pairs; ++step) {
                const int period = period_of(random);
                const std::string& grade = grades[random() % grades.size()];
                probes.push_back(period);
                probes.push_back(period_of(random));
                REQUIRE(set.insert(static_cast<std::int16_t>(period), grade) == plain.insert(period, grade));
                if (step == pairs / 2) {
                    copy = set;
                    plain_copy = plain;
                }
            }
            check_same(set, plain, probes);
            check_same(copy, plain_copy, probes);
            for (int step = 0; step < pairs / 2; ++step) {  // the copy goes on alone
                const int period = period_of(random);
                const std::string& grade = grades[random() % grades.size()];
                REQUIRE(copy.insert(static_cast<std::int16_t>(period), grade) == plain_copy.insert(period, grade));
            }
            check_same(copy, plain_copy, probes);
            check_same(set, plain, probes);
            const PeriodSet moved(std::move(copy));
            check_same(moved, plain_copy, probes);
            PeriodSet assigned;
            assigned = std::move(set);
            check_same(assigned, plain, probes);
        }
    }
}
