// The notation in which records, lists, sets, maps, pairs and texts are printed, in a
// compact one-line form and a pretty multi-line form. Records describe themselves once,
// as a sequence of calls on a DebugWriter, and both forms come from that description.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "shared_record.hpp"

namespace lessoncover {

enum class DebugStyle { compact, pretty };

// Appends `text` in double quotes, with backslash escapes for quotes, backslashes,
// control, format, separator, unassigned and combining characters.
void append_quoted(std::string& out, std::string_view text);
std::string quoted(std::string_view text);

class DebugWriter {
public:
    explicit DebugWriter(DebugStyle style) : style_(style) {}

    // Values. Each one is the next item of the open structure, or the value of the
    // field or map entry just started.
    void integer(std::int64_t value);
    void boolean(bool value);
    void word(std::string_view bare);  // written as is: subject names, "<locked>"
    void text(std::string_view value); // quoted

    void begin_record(std::string_view name);
    void field(std::string_view name);  // the next value is this field's
    void begin_list();
    void begin_set();
    void begin_map();
    void map_key(std::string_view key);  // the next value is this entry's
    void begin_pair();
    void end();

    const std::string& text_so_far() const noexcept { return out_; }
    std::string take() && { return std::move(out_); }

private:
    enum class Kind : std::uint8_t { record, list, set, map, pair };
    struct Frame {
        Kind kind;
        std::size_t items = 0;
    };

    void begin_item();
    void open(Kind kind, char bracket);
    void new_line_at(std::size_t depth);

    DebugStyle style_;
    bool value_pending_ = false;
    std::vector<Frame> frames_;
    std::string out_;
};

// A shared handle prints as the record "Mutex" whose one field "data" holds the guarded
// record. The lock is only tried: a record locked further up the call prints "<locked>".
template <class Record, class Describe>
void describe_handle(DebugWriter& writer, const SharedRecord<Record>& handle, Describe&& describe) {
    writer.begin_record("Mutex");
    writer.field("data");
    if (auto locked = handle.try_lock()) {
        describe(writer, **locked);
    } else {
        writer.word("<locked>");
    }
    writer.end();
}

}  // namespace lessoncover
