// The twenty teaching subjects. A subject enters as a spelling given by the user and
// leaves only as its display name.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "result.hpp"

namespace lessoncover {

enum class Subjects : std::uint8_t {
    Chemistry, Physics, Maths, Computer, English, Biology, PhysicalEdu, Sanskrit, Urdu, Geo,
    Acc, History, Civics, Business, Arts, Games, Economics, Hindi, Bengali, Finance,
};

inline constexpr std::size_t kSubjectCount = 20;

// Lower-cases `spelling` (full Unicode mapping) and looks it up among the accepted
// spellings; refuses with "Wrong subject <lower-cased text>".
Result<Subjects> parse_subject(std::string_view spelling);

std::string_view display_name(Subjects subject) noexcept;

// A lower-cased text that names a subject.
struct SubjectSpelling {
    std::string_view text;
    Subjects subject;
};

// The spellings parse_subject accepts, in the order of its table.
std::span<const SubjectSpelling> teacher_spellings() noexcept;

}  // namespace lessoncover
