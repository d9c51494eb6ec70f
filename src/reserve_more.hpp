// Making room ahead, so that a change made afterwards cannot fail halfway.
#pragma once

#include <algorithm>
#include <cstddef>

namespace lessoncover {

// Room for `more` items beyond the container's size, growing it as push_back would.
template <class Container>
void reserve_more(Container& container, std::size_t more) {
    const std::size_t wanted = container.size() + more;
    if (wanted > container.capacity()) container.reserve(std::max(wanted, 2 * container.capacity()));
}

}  // namespace lessoncover
