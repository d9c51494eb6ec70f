// CandidatePool against a brute-force pool: the same members, loads and busy periods, the
// first free member in rank order found by looking at every member.
#include <doctest/doctest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <set>
#include <vector>

#include "planner/candidate_pool.hpp"
#include "planner/period_set.hpp"

using namespace lessoncover;

namespace {

// Every member looked at: the least load wins, then the earlier in list order.
class PlainPool {
public:
    struct Member {
        std::uint64_t load;
        std::set<std::size_t> busy;
        bool removed = false;
    };

    std::optional<std::size_t> first_free(std::size_t code) const {
        std::optional<std::size_t> best;
        for (std::size_t member = 0; member < members.size(); ++member) {
            const Member& m = members[member];
            if (m.removed || m.busy.contains(code)) continue;
            if (!best || m.load < members[*best].load) best = member;
        }
        return best;
    }

    std::vector<Member> members;
};

// A pool of `members` members over `rows` codes, both filled alike from `random`; the
// member's busy words have bits above `rows` too, which the pool must not read as codes.
void fill(CandidatePool& pool, PlainPool& plain, std::size_t members, std::size_t rows, std::uint64_t max_load,
          std::mt19937_64& random) {
    const std::size_t words = period_words_for(rows + 1);
    pool.start(members, rows);
    plain.members.clear();
    std::uniform_int_distribution<std::uint64_t> load_of(0, max_load);
    for (std::size_t member = 0; member < members; ++member) {
        std::vector<std::uint64_t> busy(words);
        PlainPool::Member plain_member{load_of(random), {}};
        for (std::uint64_t& word : busy) word = random() & random();  // about a quarter busy
        for_each_code(busy.data(), words, [&](std::size_t code) {
            if (code < rows) plain_member.busy.insert(code);
        });
        pool.append(plain_member.load, busy.data());
        plain.members.push_back(plain_member);
    }
    pool.finish_appending();
}

void check_every_code(const CandidatePool& pool, const PlainPool& plain, std::size_t rows) {
    for (std::size_t code = 0; code < rows; ++code) {
        CAPTURE(code);
        std::size_t found = 0;
        const std::optional<std::size_t> expected = plain.first_free(code);
        REQUIRE(pool.first_free(code, found) == expected.has_value());
        if (expected) CHECK(found == *expected);
    }
}

// Covers, removals and questions at random, each answer compared with the plain pool's.
void run_random(std::size_t members, std::size_t rows, std::uint64_t max_load, std::uint64_t seed, int steps) {
    CAPTURE(members);
    CAPTURE(rows);
    CAPTURE(seed);
    std::mt19937_64 random(seed);
    CandidatePool pool;
    PlainPool plain;
    fill(pool, plain, members, rows, max_load, random);
    check_every_code(pool, plain, rows);
    for (int step = 0; step < steps && members > 0; ++step) {
        CAPTURE(step);
        const std::size_t code = random() % rows;
        const std::size_t member = random() % members;
        PlainPool::Member& m = plain.members[member];
        switch (random() % 4) {
        case 0:  // the planner covers with whoever is found first
        case 1: {
            std::size_t found = 0;
            const std::optional<std::size_t> expected = plain.first_free(code);
            REQUIRE(pool.first_free(code, found) == expected.has_value());
            if (!expected) break;
            REQUIRE(found == *expected);
            pool.add_lesson(found, plain.members[found].load, code);
            plain.members[found].load += 1;
            plain.members[found].busy.insert(code);
            break;
        }
        case 2:  // a lesson in a period beyond the rows, or any member's, changes the load
            if (m.removed) break;
            if (random() % 2 == 0) {
                pool.add_lesson(member, m.load, rows + random() % 3);
            } else {
                pool.add_lesson(member, m.load, code);
                m.busy.insert(code);
            }
            m.load += 1;
            break;
        default:
            if (m.removed || random() % 4 != 0) break;  // removals rarer, or the pool empties
            pool.remove(member, m.load);
            m.removed = true;
            break;
        }
    }
    check_every_code(pool, plain, rows);
}

}  // namespace

TEST_CASE("an empty pool finds nobody") {
    CandidatePool pool;
    pool.start(0, 8);
    pool.finish_appending();
    std::size_t found = 99;
    for (std::size_t code = 0; code < 8; ++code) CHECK_FALSE(pool.first_free(code, found));
    CHECK(found == 99);
}

TEST_CASE("members of equal load are found in list order, and a cover moves one behind") {
    CandidatePool pool;
    const std::uint64_t none = 0;
    pool.start(3, 4);
    for (int member = 0; member < 3; ++member) pool.append(2, &none);
    pool.finish_appending();
    std::size_t found = 0;
    REQUIRE(pool.first_free(0, found));
    CHECK(found == 0);
    pool.add_lesson(0, 2, 0);
    REQUIRE(pool.first_free(1, found));
    CHECK(found == 1);
    pool.remove(1, 2);
    REQUIRE(pool.first_free(1, found));
    CHECK(found == 2);
    pool.add_lesson(2, 2, 3);
    REQUIRE(pool.first_free(1, found));
    CHECK(found == 0);  // 0 and 2 hold 3 each: list order decides
    REQUIRE(pool.first_free(0, found));
    CHECK(found == 2);  // 0 is busy in period 0 now
}

TEST_CASE("a pool started again forgets its members") {
    std::mt19937_64 random(7);
    CandidatePool pool;
    PlainPool plain;
    fill(pool, plain, 130, 70, 5, random);
    fill(pool, plain, 65, 6, 3, random);
    check_every_code(pool, plain, 6);
    fill(pool, plain, 3, 65, 3, random);
    check_every_code(pool, plain, 65);
}

// Members across word boundaries (63, 64, 65, 129), days within a byte of periods (the
// staged path) and wider ones (64, 65, 130 rows), loads few and many.
TEST_CASE("random covers and removals agree with a brute-force pool") {
    std::uint64_t seed = 1;
    for (const std::size_t members : {1, 2, 63, 64, 65, 129, 300}) {
        for (const std::size_t rows : {1, 8, 9, 64, 65, 130}) {
            for (const std::uint64_t max_load : {0, 3, 40}) run_random(members, rows, max_load, seed++, 3000);
        }
    }
}
