// Every name under which the planner knows a subject: the spellings a teacher accepts, the
// display names, and the further names schools use. The companion package resolves a
// day's subject texts with these, so that one table and one case folding decide.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "teacher/subjects.hpp"

namespace lessoncover {

// Names schools use for the known subjects beyond the teacher's spellings, lower-cased.
std::span<const SubjectSpelling> subject_aliases() noexcept;

// What two subject texts share when they name one subject: their full lower-case mapping.
std::string subject_key(std::string_view text);

// Every key find_known_subject() knows, with its subject, in the order it tries them:
// the teacher's spellings, the display names' keys, the aliases.
std::vector<std::pair<std::string, Subjects>> known_subject_keys();

// The known subject whose teacher spelling, display name or alias has the key of `text`
// (already trimmed); none for any other text, a subject of its own.
std::optional<Subjects> find_known_subject(std::string_view text);

}  // namespace lessoncover
