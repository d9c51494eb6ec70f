#include "teacher/subjects.hpp"

#include <array>
#include <string>

#include "unicode_text.hpp"

namespace lessoncover {
namespace {

constexpr std::array<std::string_view, kSubjectCount> kDisplayNames = {
    "Chemistry", "Physics", "Maths", "Computer", "English", "Biology", "PhysicalEdu",
    "Sanskrit",  "Urdu",    "Geo",   "Acc",      "History", "Civics",  "Business",
    "Arts",      "Games",   "Economics", "Hindi", "Bengali", "Finance",
};

// Spellings as users write them, already lower-cased. "finfance" stays accepted because
// stored teacher lists use it; "finance" is accepted beside it.
constexpr SubjectSpelling kSpellings[] = {
    {"chemistry", Subjects::Chemistry}, {"physics", Subjects::Physics},
    {"maths", Subjects::Maths},         {"computer", Subjects::Computer},
    {"english", Subjects::English},     {"biology", Subjects::Biology},
    {"bio", Subjects::Biology},         {"p.e", Subjects::PhysicalEdu},
    {"sanskrit", Subjects::Sanskrit},   {"urdu", Subjects::Urdu},
    {"geography", Subjects::Geo},       {"accountancy", Subjects::Acc},
    {"history", Subjects::History},     {"civics", Subjects::Civics},
    {"business", Subjects::Business},   {"art", Subjects::Arts},
    {"games", Subjects::Games},         {"economics", Subjects::Economics},
    {"hindi", Subjects::Hindi},         {"bengali", Subjects::Bengali},
    {"finfance", Subjects::Finance},    {"finance", Subjects::Finance},
};

}  // namespace

Result<Subjects> parse_subject(std::string_view spelling) {
    std::string lowered = unicode::to_lower_full(spelling);
    for (const SubjectSpelling& accepted : kSpellings) {
        if (accepted.text == lowered) return accepted.subject;
    }
    return type_error("Wrong subject " + lowered);
}

std::string_view display_name(Subjects subject) noexcept {
    return kDisplayNames[static_cast<std::size_t>(subject)];
}

std::span<const SubjectSpelling> teacher_spellings() noexcept { return kSpellings; }

}  // namespace lessoncover
