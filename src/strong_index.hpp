// An index into one table, of a type of its own: one teacher is a slot in one table, a
// place in another and an entry in a third, all small integers, and the compiler keeps
// them apart. As small and as trivially copied as the integer it holds, so the loops that
// walk tables compile as they did over plain integers.
#pragma once

#include <compare>
#include <cstdint>

namespace lessoncover {

template <class Tag, class Rep = std::uint32_t>
struct Index {
    Rep value;  // what subscripts the table

    Index() noexcept = default;  // trivial, as the integer: tables of indices are resized unset
    constexpr explicit Index(Rep index) noexcept : value(index) {}

    friend constexpr bool operator==(Index, Index) noexcept = default;
    friend constexpr auto operator<=>(Index, Index) noexcept = default;
};

}  // namespace lessoncover
