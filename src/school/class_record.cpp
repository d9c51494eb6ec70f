#include "school/class_record.hpp"

namespace lessoncover {
namespace {

void describe_entries(DebugWriter& writer, const std::vector<PeriodEntry>& entries) {
    writer.begin_list();
    for (const PeriodEntry& entry : entries) {
        writer.begin_pair();
        describe(writer, entry.teacher);
        writer.integer(entry.period);
        writer.end();
    }
    writer.end();
}

}  // namespace

std::string printed_text(const Class& school_class) {
    DebugWriter writer(DebugStyle::pretty);
    describe_entries(writer, school_class.list_of_periods);
    std::string out = quoted(school_class.class_name);
    out += ' ';
    out += writer.text_so_far();
    return out;
}

void describe(DebugWriter& writer, const Class& school_class) {
    writer.begin_record("Class");
    writer.field("class_name");
    writer.text(school_class.class_name);
    writer.field("list_of_periods");
    describe_entries(writer, school_class.list_of_periods);
    writer.end();
}

void describe(DebugWriter& writer, const ClassRef& school_class) {
    describe_handle(writer, school_class, [](DebugWriter& w, const Class& c) { describe(w, c); });
}

}  // namespace lessoncover
