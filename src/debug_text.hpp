// The notation in which records, lists, sets, maps, pairs and texts are printed, in a
// compact one-line form and a pretty multi-line form. Records describe themselves once,
// as a sequence of calls on a DebugWriter, and both forms come from that description.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "interruption.hpp"
#include "shared_record.hpp"

namespace lessoncover {

enum class DebugStyle { compact, pretty };

// Appends `text` in double quotes, with backslash escapes for quotes, backslashes,
// control, format, separator, unassigned and combining characters.
void append_quoted(std::string& out, std::string_view text);
// What append_quoted writes between the quotes: the escaped text of pieces appended one
// after another is that of the whole, when each piece ends on a whole character.
void append_escaped(std::string& out, std::string_view text);
std::string quoted(std::string_view text);

class DebugWriter {
public:
    // With a check, the loops over long collections count their items on it and stop
    // early when it says so (the text is then incomplete).
    explicit DebugWriter(DebugStyle style, InterruptionCheck* check = nullptr)
        : style_(style), check_(check) {}

    // Counts one item of a collection; true when the writing is to stop.
    bool stop_here() { return check_ != nullptr && check_->step(); }
    bool stopped() const noexcept { return check_ != nullptr && check_->stopped(); }
    InterruptionCheck* check() const noexcept { return check_; }

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
    InterruptionCheck* check_;
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
        const InterruptionCheck::LockHeld held(writer.check());
        describe(writer, **locked);
    } else {
        writer.word("<locked>");
    }
    writer.end();
}

// The same, describing a copy taken under the lock: a record that may be large (a class
// of many entries) is then written with no lock held, so that its writing can stop.
template <class Record, class Describe>
void describe_handle_copy(DebugWriter& writer, const SharedRecord<Record>& handle, Describe&& describe) {
    std::optional<Record> copy;
    if (auto locked = handle.try_lock()) copy.emplace(**locked);
    writer.begin_record("Mutex");
    writer.field("data");
    if (copy) {
        describe(writer, *copy);
    } else {
        writer.word("<locked>");
    }
    writer.end();
}

}  // namespace lessoncover
