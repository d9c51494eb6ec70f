// The order of a school's teacher list: by lesson count, stably, kept up to date by small steps.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "teacher/teacher_indices.hpp"

namespace lessoncover {

// Teachers in the order a stable sort by count would give them, where each teacher is added
// with a count, counts only grow (bump), and sort() re-sorts. Teachers added since the last
// sort follow the sorted ones in the order they came; a bump moves nobody until the next
// sort. So the tie-break between teachers of one count is list order: who stood earlier
// before the sort stands earlier after it.
//
// The order is never sorted whole. Its sorted part is a linked list of groups, one per
// count, each group a run of the teachers with that count; a sort moves only the teachers
// whose count changed since the last one, and places those that were added. A stable sort
// puts a teacher whose count grew to c before every teacher that already had c (it stood
// earlier in the list, among smaller counts), after those that grew to c from places
// before it, and a newly added teacher at the end of its group. Each teacher carries a
// stamp that orders it within its group, so that moved teachers can be put back in their
// old list order: stamps drawn downwards from below every stamp in use for teachers put
// at the front of a group, upwards from above every stamp in use for teachers put at the
// back (32 bits, given anew in list order should they run out).
class ListOrder {
public:
    using Slot = TeacherSlot;  // a teacher's slot in the order of add()
    using Place = ListPlace;   // a teacher's place in the sorted order

private:
    static constexpr Slot kNone{static_cast<std::uint32_t>(-1)};

public:
    // A teacher's entry: the order's links and count, with two fields the order's owner
    // keeps there for itself (the order never reads them), so that whoever notes a lesson
    // or walks the order touches one cache line a teacher: 32 bytes, aligned.
    struct alignas(32) Entry {
        std::uint64_t owner_bits = 0;

    private:
        friend class ListOrder;
        enum class State : std::uint8_t { added, sorted, queued };  // queued: sorted, count changed
        // Lessons held: each takes far more than a byte of memory, so no teacher holds 2^32.
        std::uint32_t count = 0;
        std::uint32_t sorted_count = 0;  // count at the last sort, the group's key
        std::int32_t stamp = 0;
        Slot previous = kNone;
        Slot next = kNone;
        State state = State::added;

    public:
        std::uint8_t owner_byte = 0;
    };
    static_assert(sizeof(Entry) == 32);

    ListOrder() = default;
    ListOrder(const ListOrder&) = delete;
    ListOrder& operator=(const ListOrder&) = delete;
    ListOrder(ListOrder&&) noexcept = default;
    ListOrder& operator=(ListOrder&&) noexcept = default;

    // Room for `teachers` added and `bumps` bumps, so that those calls cannot fail. Throws
    // std::bad_alloc, and then only room has changed.
    void make_room(std::size_t teachers, std::size_t bumps);
    // The same for one bump, the common case, kept short.
    void make_room_for_bump() {
        if (changed_.size() == changed_.capacity()) make_room(0, 1);
    }
    // Room for the sort, so that it cannot fail.
    void make_room_for_sort();

    // A teacher holding `count`, after every teacher until the next sort; room was made.
    Slot add(std::uint32_t count) noexcept;
    // The teacher's count grew by one; room was made.
    void bump(Slot slot) noexcept {
        Entry& entry = entries_[slot.value];
        entry.count += 1;
        if (entry.state != Entry::State::sorted) return;  // already queued, or placed by the next sort
        entry.state = Entry::State::queued;
        changed_.push_back(slot);
    }
    // Stable sort by the counts the teachers hold now; room was made.
    void sort() noexcept;

    std::size_t size() const noexcept { return entries_.size(); }
    std::uint32_t count(Slot slot) const noexcept { return entries_[slot.value].count; }
    Entry& entry(Slot slot) noexcept { return entries_[slot.value]; }
    const Entry& entry(Slot slot) const noexcept { return entries_[slot.value]; }
    // Asks for the teacher's entry, which a bump writes, to be fetched into the cache.
    void prefetch_entry(Slot slot) const noexcept { __builtin_prefetch(&entries_[slot.value], 1); }

    // The slots in list order, by place.
    std::span<const Slot> slots() const;
    // Calls visit(place, slot) once for each teacher, `place` being its place in list
    // order; the calls come in no particular order. The list is a chain per count, and a
    // chain is a run of dependent loads, so the chains are walked side by side.
    template <class Visit>
    void for_each_placed(Visit&& visit) const;

private:
    struct Group {
        std::uint32_t count;
        Slot first;
        Slot last;
        std::uint32_t size;  // teachers in it
    };

    std::vector<Group>::iterator group_at_or_after(std::size_t count) noexcept;
    void take_out(Slot slot) noexcept;
    void put_at_front(Slot slot) noexcept;
    void put_at_back(Slot slot) noexcept;
    // Links the teacher in at the front or back of the group of its count, made when
    // there is none; the stamp is the caller's.
    void put_in_group(Slot slot, bool at_front) noexcept;
    void link_before(Slot slot, Slot next) noexcept;  // kNone: at the tail
    // Stamps anew, in list order, when `wanted` more would not fit in 32 bits.
    void make_room_for_stamps(std::size_t wanted) noexcept;

    std::vector<Entry> entries_;  // by slot
    Slot head_ = kNone;
    Slot tail_ = kNone;
    // One group a count, sorted by count: few, since holding b different counts takes
    // b(b-1)/2 lessons at least.
    std::vector<Group> groups_;
    std::vector<Slot> added_;    // added since the last sort, in order
    std::vector<Slot> changed_;  // sorted teachers whose count changed
    std::int32_t next_front_stamp_ = 0;  // every stamp in use is >= this
    std::int32_t next_back_stamp_ = 0;   // every stamp in use is < this
    // The slots by place as slots() last made them; out of date when its size is not the
    // order's, and emptied when the order changes. A cache slots() fills on a const read.
    mutable std::vector<Slot> slots_;
};

template <class Visit>
void ListOrder::for_each_placed(Visit&& visit) const {
    // Lanes are chains being walked, each with the place of its next teacher and how many
    // are left; a lane that ends takes the next chain not started yet.
    // bench.py --size L (past kReadAheadBytes), generate medians of 9 interleaved rounds:
    // 8 → 7.60 ms, 16 → 6.93 ms, 32 → 8.05 ms (at D, read ahead whole, all within 3%).
    constexpr std::size_t kLanes = 16;
    struct Lane {
        Slot slot;
        std::uint32_t left;
        std::uint32_t place;  // as many places as slots, which fit in 32 bits
    };
    std::array<Lane, kLanes> lanes;
    std::size_t active = 0;
    std::size_t next_group = 0;
    std::uint32_t place = 0;
    const auto start_next_chain = [&](Lane& lane) {
        while (next_group < groups_.size()) {
            const Group& group = groups_[next_group++];
            lane = Lane{group.first, group.size, place};
            place += group.size;
            if (group.size != 0) return true;
        }
        return false;
    };
    // A list whose entries fit well in the core's cache is read in first, front to back,
    // which the hardware does far faster than chasing the chains through memory.
    constexpr std::size_t kReadAheadBytes = std::size_t{1} << 20;
    if (entries_.size() * sizeof(Entry) <= kReadAheadBytes) {
        const auto* bytes = reinterpret_cast<const char*>(entries_.data());
        for (std::size_t at = 0; at < entries_.size() * sizeof(Entry); at += 64) __builtin_prefetch(bytes + at);
    }
    while (active < kLanes && start_next_chain(lanes[active])) ++active;
    while (active != 0) {
        for (std::size_t at = 0; at < active;) {
            Lane& lane = lanes[at];
            const Slot slot = lane.slot;
            visit(Place{lane.place++}, slot);
            lane.slot = entries_[slot.value].next;
            if (--lane.left != 0 || start_next_chain(lane)) {
                ++at;
            } else {
                lane = lanes[--active];
            }
        }
    }
    for (const Slot slot : added_) visit(Place{place++}, slot);
}

}  // namespace lessoncover
