#include "school/class_record.hpp"

namespace lessoncover {
namespace {

void describe_entries(DebugWriter& writer, const Class& school_class) {
    // The records show every pair registered so far.
    school_class.ready_sources();
    writer.begin_list();
    bool stopped = false;
    for (const PeriodEntry& entry : school_class.list_of_periods) {
        for (std::size_t time = 0; time < entry.times(); ++time) {
            stopped = writer.stop_here();
            if (stopped) break;
            writer.begin_pair();
            describe(writer, school_class.teacher(entry));
            writer.integer(entry.period);
            writer.end();
        }
        if (stopped) break;
    }
    writer.end();
}

Result<std::string> class_text(const Class& school_class, InterruptionCheck& check) {
    DebugWriter writer(DebugStyle::pretty, &check);
    describe_entries(writer, school_class);
    if (check.stopped()) return interrupted();
    std::string out = quoted(school_class.class_name);
    out += ' ';
    out += writer.text_so_far();
    return out;
}

}  // namespace

std::string printed_text(const Class& school_class) {
    return made_without_stopping([&](InterruptionCheck& check) { return class_text(school_class, check); });
}

Result<std::string> printed_text(const Class& school_class, Interruption& interruption) {
    return made_unless_stopped(interruption, [&](InterruptionCheck& check) { return class_text(school_class, check); });
}

void describe(DebugWriter& writer, const Class& school_class) {
    writer.begin_record("Class");
    writer.field("class_name");
    writer.text(school_class.class_name);
    writer.field("list_of_periods");
    describe_entries(writer, school_class);
    writer.end();
}

void describe(DebugWriter& writer, const ClassRef& school_class) {
    describe_handle_copy(writer, school_class, [](DebugWriter& w, const Class& c) { describe(w, c); });
}

void describe_as_held(DebugWriter& writer, const Class& school_class) {
    writer.begin_record("Mutex");
    writer.field("data");
    describe(writer, school_class);
    writer.end();
}

}  // namespace lessoncover
