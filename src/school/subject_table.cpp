#include "school/subject_table.hpp"

namespace lessoncover {

SubjectTable SubjectTable::build(std::span<const TeacherRef> teachers, InterruptionCheck& check) {
    SubjectTable table;
    for (const TeacherRef& teacher : teachers) {
        if (check.step()) break;  // asked before the lock is taken
        const auto locked = teacher.lock();
        auto& entry = table.by_subject_[static_cast<std::size_t>(locked->sub)];
        if (!entry) entry.emplace();
        if (locked->present) entry->push_back(teacher);
    }
    return table;
}

void SubjectTable::describe(DebugWriter& writer) const {
    writer.begin_map();
    for (std::size_t index = 0; index < by_subject_.size(); ++index) {
        const auto& entry = by_subject_[index];
        if (!entry) continue;
        writer.map_key(display_name(static_cast<Subjects>(index)));
        writer.begin_list();
        for (const TeacherRef& teacher : *entry) {
            if (writer.stop_here()) break;
            lessoncover::describe(writer, teacher);
        }
        writer.end();
    }
    writer.end();
}

}  // namespace lessoncover
