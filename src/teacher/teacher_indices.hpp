// A teacher's indices in a school's tables, each a type of its own so that one cannot be
// passed where another is meant.
#pragma once

#include "strong_index.hpp"

namespace lessoncover {

// In the order of add_teacher: the school's teacher list, its order's entries and its store.
using TeacherSlot = Index<struct TeacherSlotTag>;
// In the list's order, sorted by lesson count, which the planning input follows: the
// planner's teacher number is this place.
using ListPlace = Index<struct ListPlaceTag>;
// In the school's table of names, which also files handles that are in no list.
using NameEntryId = Index<struct NameEntryIdTag>;

}  // namespace lessoncover
