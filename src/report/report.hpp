// Rendering a plan into the report: the CSV rows of the covers, then the lessons nobody
// could cover and the time taken, each as one quoted text.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "debug_text.hpp"
#include "interruption.hpp"
#include "planner/plan.hpp"
#include "report/csv_field.hpp"
#include "report/lesson_texts.hpp"
#include "report/text_kind.hpp"

namespace lessoncover {

inline constexpr std::string_view kReportHeader = "Teacher,Period,Subject,Substitution,Classroom,Reason\n";

// A rendered report: its bytes, where the timing line's part begins (the line break before
// it), and the narrowest kind of text holding it, known from the parts written rather than
// by reading the text again. The bytes are one a character (Latin-1) unless the kind is
// wide, when they are UTF-8. They last until the thread renders another report.
struct RenderedReport {
    std::string_view bytes;
    std::size_t head;
    TextKind kind;

    std::string utf8() const { return kind == TextKind::wide ? std::string(bytes) : latin1_to_utf8(bytes); }
};

// Where a rendered report goes before the covers are written. It says when it could not
// make its result of the report (false): the run then changes nothing.
class ReportSink {
public:
    virtual bool take(const RenderedReport& report) = 0;

protected:
    ~ReportSink() = default;
};

// A report held as UTF-8 text.
class StringSink final : public ReportSink {
public:
    bool take(const RenderedReport& report) override {
        text = report.utf8();
        return true;
    }
    std::string text;
};

// A substitute's name as the report writes it.
struct SubstituteName {
    std::string_view text;
    bool quoted;  // whether RFC 4180 quotes it
    bool ascii;
};

// Working memory for rendering, kept by callers that render again and again.
struct RenderSpace {
    std::vector<std::uint32_t> covered;  // the lessons that got a cover, in order
    std::vector<SubstituteName> names;   // their substitutes' names
};

namespace report_detail {

// At least `size` bytes to write a report over: the thread's, kept from report to report
// and grown without clearing what the report will write over anyway. A program that makes
// a school, reports and drops it, again and again, so writes each report over pages the
// last one mapped: a buffer of the school's own would be new each time, its pages faulting
// in one by one, at a cost like that of writing the whole report. What the last call gave
// is lost when it grows.
inline char* report_room(std::size_t size) {
    thread_local std::unique_ptr<char[]> bytes;
    thread_local std::size_t capacity = 0;
    if (size > capacity) {
        bytes.reset();  // not held twice
        bytes = std::make_unique_for_overwrite<char[]>(size);
        capacity = size;
    }
    return bytes.get();
}

// Room kept at the end of the report for the quoted timing line, which is far shorter.
inline constexpr std::size_t kTimingRoom = 128;
// Rows are counted as steps of an InterruptionCheck a block at a time.
inline constexpr std::size_t kRowBlock = 1024;
// Substitutes' names are fetched this many rows ahead.
// bench.py --size D, generate medians, 25 interleaved rounds: 12 → 1.74, 24 → 1.69, 40 → 1.64 ms (noise)
inline constexpr std::size_t kAhead = 24;

// Copies `text` to `out` and moves `out` past it. A report is mostly pieces of a few dozen
// bytes, which are copied here in two overlapping moves instead of a call.
inline void put_text(char*& out, std::string_view text) noexcept {
    char* const to = out;
    const char* from = text.data();
    const std::size_t size = text.size();
    out += size;
    if (size >= 16 && size <= 32) {
        std::memcpy(to, from, 16);
        std::memcpy(to + size - 16, from + size - 16, 16);
    } else if (size >= 8 && size < 16) {
        std::memcpy(to, from, 8);
        std::memcpy(to + size - 8, from + size - 8, 8);
    } else {
        std::memcpy(to, from, size);
    }
}

// The missing-cover text, one line per uncovered lesson, in quoted form; cut short when
// `check` stops.
std::string quoted_missing_text(const Plan& plan, const LessonTexts& lessons, InterruptionCheck& check);

// Writes the rows of the covered lessons at `out`, row i with its substitute's name
// `names[i]` as the report quotes it; gives where they end, or nullptr when `check`
// stopped.
inline char* write_rows(char* out, const LessonTexts& lessons, const std::vector<std::uint32_t>& covered,
                        const std::vector<SubstituteName>& names, InterruptionCheck& check) {
    const auto put = [&out](std::string_view text) { put_text(out, text); };
    std::string quoted_name;
    for (std::size_t i = 0; i < covered.size(); ++i) {
        if (i % kRowBlock == 0 && check.step(kRowBlock)) return nullptr;
        if (i + kAhead < names.size()) __builtin_prefetch(names[i + kAhead].text.data());
        const SubstituteName& name = names[i];
        put(lessons.row_before(covered[i]));
        if (name.quoted) {
            quoted_name.clear();
            append_csv_field(quoted_name, name.text);
            put(quoted_name);
        } else {
            put(name.text);
        }
        put(lessons.row_after(covered[i]));
    }
    return out;
}

}  // namespace report_detail

// Renders the report of `plan` over `lessons`, with `space` as working memory. `name_of(teacher)` gives the
// SubstituteName of a teacher of the planning input, and `name_of.prefetch(teacher)`, when
// it has one, asks for what that reads to be fetched ahead. `timing()` gives the timing
// line's text, asked for once the rest is written. The work is counted on `check`. Nothing
// when `check` stopped.
template <class NameOf, class Timing>
std::optional<RenderedReport> render_report(const Plan& plan, const LessonTexts& lessons, NameOf&& name_of,
                                            Timing&& timing, RenderSpace& space, InterruptionCheck& check) {
    using report_detail::kAhead;
    using report_detail::kRowBlock;
    // The lessons that got a cover, their substitutes' names, and the report's size. A
    // large school's names are spread over memory: each is fetched ahead, in a pass that
    // only reads, before the rows are written. (Reading them while writing the rows makes
    // the two compete for the core's outstanding misses, and is slower.)
    std::vector<std::uint32_t>& covered = space.covered;
    std::vector<SubstituteName>& names = space.names;
    covered.clear();
    names.clear();
    covered.reserve(plan.covered);
    names.reserve(plan.covered);
    std::size_t size = kReportHeader.size() + 2;
    TextKind kind = lessons.kind();
    const std::vector<Decision>& decisions = plan.decisions;
    for (std::size_t lesson = 0; lesson < decisions.size(); ++lesson) {
        if (lesson % kRowBlock == 0 && check.step(kRowBlock)) return std::nullopt;
        if constexpr (requires { name_of.prefetch(std::uint32_t{}); }) {
            if (lesson + kAhead < decisions.size() && decisions[lesson + kAhead].substitute != Decision::kNobody) {
                name_of.prefetch(decisions[lesson + kAhead].substitute);
            }
        }
        if (decisions[lesson].substitute == Decision::kNobody) continue;
        const SubstituteName name = name_of(decisions[lesson].substitute);
        covered.push_back(static_cast<std::uint32_t>(lesson));
        names.push_back(name);
        if (!name.ascii && kind != TextKind::wide) kind = std::max(kind, text_kind(name.text));
        size += lessons[lesson].before + lessons[lesson].after + csv_field_size(name.text, name.quoted);
    }
    const std::string missing = report_detail::quoted_missing_text(plan, lessons, check);
    if (check.stopped()) return std::nullopt;
    size += missing.size();

    // Written as UTF-8, then narrowed when the whole is Latin-1; ASCII needs no narrowing.
    char* const start = report_detail::report_room(size + report_detail::kTimingRoom);
    char* out = start;
    const auto put = [&out](std::string_view text) { report_detail::put_text(out, text); };
    put(kReportHeader);
    out = report_detail::write_rows(out, lessons, covered, names, check);
    if (out == nullptr) return std::nullopt;
    put("\n");
    put(missing);
    std::size_t head = static_cast<std::size_t>(out - start);
    put("\n");
    std::string timing_line;
    append_quoted(timing_line, timing());
    if (timing_line.size() > report_detail::kTimingRoom) {
        throw std::length_error("the timing line does not fit the report");
    }
    put(timing_line);
    std::size_t total = static_cast<std::size_t>(out - start);
    const TextKind head_kind = kind;
    kind = std::max(kind, text_kind(timing_line));
    if (kind == TextKind::latin1) {
        const std::size_t narrow_head = head_kind == TextKind::latin1 ? narrow_to_latin1(start, head, start) : head;
        total = narrow_head + narrow_to_latin1(start + head, total - head, start + narrow_head);
        head = narrow_head;
    }
    return RenderedReport{std::string_view(start, total), head, kind};
}

// The same, never stopped.
template <class NameOf, class Timing>
std::optional<RenderedReport> render_report(const Plan& plan, const LessonTexts& lessons, NameOf&& name_of,
                                            Timing&& timing, RenderSpace& space) {
    InterruptionCheck never;
    return render_report(plan, lessons, std::forward<NameOf>(name_of), std::forward<Timing>(timing), space, never);
}

}  // namespace lessoncover
