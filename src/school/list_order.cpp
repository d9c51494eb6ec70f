#include "school/list_order.hpp"

#include <algorithm>
#include <limits>

#include "reserve_more.hpp"

namespace lessoncover {

void ListOrder::make_room(std::size_t teachers, std::size_t bumps) {
    reserve_more(entries_, teachers);
    reserve_more(added_, teachers);
    reserve_more(changed_, bumps);
}

void ListOrder::make_room_for_sort() { reserve_more(groups_, changed_.size() + added_.size()); }

ListOrder::Slot ListOrder::add(std::uint32_t count) noexcept {
    const Slot slot{static_cast<std::uint32_t>(entries_.size())};
    Entry entry;
    entry.count = count;
    entries_.push_back(entry);  // slots_ is out of date: a size short
    added_.push_back(slot);
    return slot;
}

void ListOrder::sort() noexcept {
    if (changed_.empty() && added_.empty()) return;
    make_room_for_stamps(changed_.size() + added_.size());
    // Counts only grow, so every queued teacher moves to a larger count: to the front of
    // its new group, in its old list order (by old count, then stamp).
    std::sort(changed_.begin(), changed_.end(), [this](Slot a, Slot b) {
        const Entry& first = entries_[a.value];
        const Entry& second = entries_[b.value];
        return first.sorted_count != second.sorted_count ? first.sorted_count < second.sorted_count
                                                         : first.stamp < second.stamp;
    });
    for (const Slot slot : changed_) take_out(slot);
    for (auto slot = changed_.rbegin(); slot != changed_.rend(); ++slot) put_at_front(*slot);
    changed_.clear();
    // Added teachers follow everybody of their count, in the order they came.
    for (const Slot slot : added_) put_at_back(slot);
    added_.clear();
    slots_.clear();
}

void ListOrder::make_room_for_stamps(std::size_t wanted) noexcept {
    constexpr std::int64_t kLowest = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t kHighest = std::numeric_limits<std::int32_t>::max();
    if (std::int64_t{next_front_stamp_} - static_cast<std::int64_t>(wanted) > kLowest &&
        std::int64_t{next_back_stamp_} + static_cast<std::int64_t>(wanted) < kHighest) {
        return;
    }
    // The sorted teachers in list order get 1, 2, ...: within each group the same order.
    // Each teacher takes hundreds of bytes, so far fewer than 2^30 are listed and most of
    // the range is left.
    std::int32_t next = 1;
    for (Slot slot = head_; slot != kNone; slot = entries_[slot.value].next) entries_[slot.value].stamp = next++;
    next_front_stamp_ = 0;
    next_back_stamp_ = next;
}

std::vector<ListOrder::Group>::iterator ListOrder::group_at_or_after(std::size_t count) noexcept {
    return std::lower_bound(groups_.begin(), groups_.end(), count,
                            [](const Group& group, std::size_t wanted) { return group.count < wanted; });
}

void ListOrder::take_out(Slot slot) noexcept {
    const auto group = group_at_or_after(entries_[slot.value].sorted_count);
    if (--group->size == 0) {
        groups_.erase(group);
    } else if (group->first == slot) {
        group->first = entries_[slot.value].next;
    } else if (group->last == slot) {
        group->last = entries_[slot.value].previous;
    }
    const Slot before = entries_[slot.value].previous;
    const Slot after = entries_[slot.value].next;
    (before == kNone ? head_ : entries_[before.value].next) = after;
    (after == kNone ? tail_ : entries_[after.value].previous) = before;
}

void ListOrder::link_before(Slot slot, Slot next) noexcept {
    const Slot before = next == kNone ? tail_ : entries_[next.value].previous;
    entries_[slot.value].previous = before;
    entries_[slot.value].next = next;
    (before == kNone ? head_ : entries_[before.value].next) = slot;
    (next == kNone ? tail_ : entries_[next.value].previous) = slot;
}

void ListOrder::put_at_front(Slot slot) noexcept {
    put_in_group(slot, true);
    entries_[slot.value].stamp = --next_front_stamp_;
}

void ListOrder::put_at_back(Slot slot) noexcept {
    put_in_group(slot, false);
    entries_[slot.value].stamp = next_back_stamp_++;
}

void ListOrder::put_in_group(Slot slot, bool at_front) noexcept {
    const std::uint32_t count = entries_[slot.value].count;
    const auto group = group_at_or_after(count);
    if (group != groups_.end() && group->count == count) {
        if (at_front) {
            link_before(slot, group->first);
            group->first = slot;
        } else {
            link_before(slot, entries_[group->last.value].next);
            group->last = slot;
        }
        ++group->size;
    } else {
        link_before(slot, group == groups_.end() ? kNone : group->first);
        groups_.insert(group, Group{count, slot, slot, 1});  // make_room_for_sort made room
    }
    entries_[slot.value].sorted_count = count;
    entries_[slot.value].state = Entry::State::sorted;
}

std::span<const ListOrder::Slot> ListOrder::slots() const {
    if (slots_.size() != size()) {
        slots_.resize(size());
        for_each_placed([this](Place place, Slot slot) { slots_[place.value] = slot; });
    }
    return slots_;
}

}  // namespace lessoncover
