#include "teacher/subject_names.hpp"

#include "unicode_text.hpp"

namespace lessoncover {
namespace {

// ICT (information and communication technology) is taught by the computer teachers.
// Sport is the physical-education lesson; Games stays a subject of its own, reached only
// by its spelling.
constexpr SubjectSpelling kAliases[] = {
    {"math", Subjects::Maths},
    {"mathematics", Subjects::Maths},
    {"chem", Subjects::Chemistry},
    {"computing", Subjects::Computer},
    {"computer science", Subjects::Computer},
    {"ict", Subjects::Computer},
    {"pe", Subjects::PhysicalEdu},
    {"p.e.", Subjects::PhysicalEdu},
    {"physical education", Subjects::PhysicalEdu},
    {"sport", Subjects::PhysicalEdu},
    {"sports", Subjects::PhysicalEdu},
    {"accounting", Subjects::Acc},
    {"accounts", Subjects::Acc},
    {"fine art", Subjects::Arts},
    {"fine arts", Subjects::Arts},
    {"business studies", Subjects::Business},
    {"econ", Subjects::Economics},
};

}  // namespace

std::span<const SubjectSpelling> subject_aliases() noexcept { return kAliases; }

std::string subject_key(std::string_view text) { return unicode::to_lower_full(text); }

std::vector<std::pair<std::string, Subjects>> known_subject_keys() {
    std::vector<std::pair<std::string, Subjects>> keys;
    for (const SubjectSpelling& spelling : teacher_spellings()) keys.emplace_back(spelling.text, spelling.subject);
    for (std::size_t subject = 0; subject < kSubjectCount; ++subject) {
        keys.emplace_back(subject_key(display_name(static_cast<Subjects>(subject))), static_cast<Subjects>(subject));
    }
    for (const SubjectSpelling& alias : subject_aliases()) keys.emplace_back(alias.text, alias.subject);
    return keys;
}

std::optional<Subjects> find_known_subject(std::string_view text) {
    static const std::vector<std::pair<std::string, Subjects>> keys = known_subject_keys();
    const std::string key = subject_key(text);
    for (const auto& [known, subject] : keys) {
        if (known == key) return subject;
    }
    return std::nullopt;
}

}  // namespace lessoncover
