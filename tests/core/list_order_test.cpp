// ListOrder against the plain reading of what it keeps: a list in which added teachers go to
// the end and each sort is a std::stable_sort by the counts held then.
#include <doctest/doctest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <vector>

#include "school/list_order.hpp"

namespace {

using lessoncover::ListOrder;
using Slot = ListOrder::Slot;

std::vector<Slot> slots_of(std::initializer_list<std::uint32_t> values) {
    std::vector<Slot> slots;
    for (const std::uint32_t value : values) slots.emplace_back(value);
    return slots;
}

// The same teachers, kept the plain way.
struct Reference {
    std::vector<std::uint32_t> counts;  // by slot
    std::vector<ListOrder::Slot> order;

    ListOrder::Slot add(std::uint32_t count) {
        counts.push_back(count);
        const Slot slot{static_cast<std::uint32_t>(counts.size() - 1)};
        order.push_back(slot);
        return slot;
    }
    void sort() {
        std::stable_sort(order.begin(), order.end(),
                         [this](Slot a, Slot b) { return counts[a.value] < counts[b.value]; });
    }
};

// The order as for_each_placed gives it, each place once.
std::vector<ListOrder::Slot> placed(const ListOrder& order) {
    std::vector<ListOrder::Slot> slots(order.size(), Slot{static_cast<std::uint32_t>(-1)});
    std::vector<int> visits(order.size(), 0);
    bool in_range = true;
    order.for_each_placed([&](ListOrder::Place place, ListOrder::Slot slot) {
        if (place.value >= slots.size()) {
            in_range = false;
            return;
        }
        slots[place.value] = slot;
        ++visits[place.value];
    });
    CHECK(in_range);
    CHECK(std::all_of(visits.begin(), visits.end(), [](int visits_of_place) { return visits_of_place == 1; }));
    return slots;
}

void check_same(const ListOrder& order, const Reference& reference) {
    REQUIRE(order.size() == reference.counts.size());
    const auto slots = order.slots();
    CHECK(std::vector<ListOrder::Slot>(slots.begin(), slots.end()) == reference.order);
    CHECK(placed(order) == reference.order);
    std::vector<std::uint32_t> counts;
    for (std::uint32_t slot = 0; slot < order.size(); ++slot) counts.push_back(order.count(Slot{slot}));
    CHECK(counts == reference.counts);
}

// Runs `steps` random adds, bumps and sorts on both, comparing after every sort and, now
// and then, between them. Counts start in [0, max_start]; bumps go to a few teachers at a
// time, as a class's lessons do, or to anyone.
void run_random(std::uint32_t seed, int steps, std::uint32_t max_start, int add_weight, int bump_weight,
                int sort_weight) {
    CAPTURE(seed);
    std::mt19937 random(seed);
    ListOrder order;
    Reference reference;
    std::discrete_distribution<int> pick({double(add_weight), double(bump_weight), double(sort_weight)});
    for (int step = 0; step < steps; ++step) {
        switch (pick(random)) {
            case 0: {
                const auto count = std::uniform_int_distribution<std::uint32_t>(0, max_start)(random);
                order.make_room(1, 0);
                const ListOrder::Slot slot = order.add(count);
                REQUIRE(slot == reference.add(count));
                break;
            }
            case 1: {
                if (reference.counts.empty()) break;
                const auto last = reference.counts.size() - 1;
                // Half of the bumps go to the first few slots, so that some teachers are
                // bumped many times between sorts and groups empty and fill again.
                const std::size_t upper = random() % 2 == 0 ? std::min<std::size_t>(last, 3) : last;
                const Slot slot{static_cast<std::uint32_t>(std::uniform_int_distribution<std::size_t>(0, upper)(random))};
                order.make_room_for_bump();
                order.bump(slot);
                ++reference.counts[slot.value];
                break;
            }
            default:
                order.make_room_for_sort();
                order.sort();
                reference.sort();
                check_same(order, reference);
                break;
        }
        if (step % 17 == 0) check_same(order, reference);
    }
    order.make_room_for_sort();
    order.sort();
    reference.sort();
    check_same(order, reference);
}

}  // namespace

TEST_CASE("an empty order has no teachers, sorted or not") {
    ListOrder order;
    order.make_room_for_sort();
    order.sort();
    CHECK(order.size() == 0);
    CHECK(order.slots().empty());
    CHECK(placed(order).empty());
}

TEST_CASE("teachers added since the last sort follow the sorted ones in the order they came") {
    ListOrder order;
    order.make_room(4, 0);
    order.add(3);
    order.add(1);
    order.make_room_for_sort();
    order.sort();
    order.add(0);
    order.add(2);
    const auto slots = order.slots();
    CHECK(std::vector<ListOrder::Slot>(slots.begin(), slots.end()) == slots_of({1, 0, 2, 3}));
    order.make_room_for_sort();
    order.sort();
    const auto sorted = order.slots();
    CHECK(std::vector<ListOrder::Slot>(sorted.begin(), sorted.end()) == slots_of({2, 1, 3, 0}));
}

TEST_CASE("a bumped teacher stays in place until the sort, then stands first among its new count") {
    ListOrder order;
    order.make_room(3, 2);
    order.add(1);  // 0
    order.add(2);  // 1
    order.add(1);  // 2
    order.make_room_for_sort();
    order.sort();  // 0 2 1
    order.bump(Slot{2});
    CHECK(order.count(Slot{2}) == 2);
    auto slots = order.slots();
    CHECK(std::vector<ListOrder::Slot>(slots.begin(), slots.end()) == slots_of({0, 2, 1}));
    order.make_room_for_sort();
    order.sort();
    slots = order.slots();
    CHECK(std::vector<ListOrder::Slot>(slots.begin(), slots.end()) == slots_of({0, 2, 1}));
    order.bump(Slot{0});
    order.make_room_for_sort();
    order.sort();  // 0 grew to 2 from before 2: it stands before 2, and both before 1
    slots = order.slots();
    CHECK(std::vector<ListOrder::Slot>(slots.begin(), slots.end()) == slots_of({0, 2, 1}));
}

TEST_CASE("the owner's fields are kept through sorts") {
    ListOrder order;
    order.make_room(50, 200);
    for (std::uint32_t teacher = 0; teacher < 50; ++teacher) {
        const ListOrder::Slot slot = order.add(teacher % 7);
        order.entry(slot).owner_bits = std::uint64_t{0x9e3779b97f4a7c15} * (slot.value + 1);
        order.entry(slot).owner_byte = static_cast<std::uint8_t>(slot.value * 5);
    }
    order.make_room_for_sort();
    order.sort();
    for (std::uint32_t bump = 0; bump < 200; ++bump) order.bump(Slot{(bump * 13) % 50});
    order.make_room_for_sort();
    order.sort();
    for (std::uint32_t slot = 0; slot < 50; ++slot) {
        CHECK(order.entry(Slot{slot}).owner_bits == std::uint64_t{0x9e3779b97f4a7c15} * (slot + 1));
        CHECK(order.entry(Slot{slot}).owner_byte == static_cast<std::uint8_t>(slot * 5));
    }
}

TEST_CASE("random adds, bumps and sorts give what a stable sort gives") {
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
        SUBCASE("mostly bumps, counts from nothing") { run_random(seed, 3000, 0, 2, 10, 1); }
        SUBCASE("many adds with spread counts, frequent sorts") { run_random(seed, 3000, 12, 5, 5, 2); }
        SUBCASE("long runs of bumps between sorts") { run_random(seed, 4000, 3, 1, 30, 1); }
    }
}
