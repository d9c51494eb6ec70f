// Rendering a plan into the report: the CSV rows of the covers, then the lessons nobody
// could cover and the time taken, each as one quoted text.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
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

namespace lessoncover {

inline constexpr std::string_view kReportHeader = "Teacher,Period,Subject,Substitution,Classroom,Reason\n";

// What the renderer tells a sink of the report before writing it: the most bytes it can
// take, whether all of it but the timing line is ASCII, and whether the timing line will
// likely be ASCII too (a guess: the line is written last, with the time taken by then).
struct ReportRoom {
    std::size_t capacity;
    bool ascii_but_timing;
    bool timing_likely_ascii;
};

// Where a report is written. It is asked once for room; after writing there, the renderer
// says how many bytes it wrote, where the timing line's part begins (the line break before
// it) and whether all of them are ASCII. Each says when it cannot: no room (nullptr), or
// no result made of what was written (false).
class ReportSink {
public:
    virtual char* room(const ReportRoom& room) = 0;
    virtual bool finish(std::size_t timing_start, std::size_t size, bool ascii) = 0;

protected:
    ~ReportSink() = default;
};

// A report held as UTF-8 text.
class StringSink final : public ReportSink {
public:
    char* room(const ReportRoom& room) override {
        text.resize(room.capacity);
        return text.data();
    }
    bool finish(std::size_t, std::size_t size, bool) override {
        text.resize(size);
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

// The sizes of a rendered report: all of it, and the part before the timing line's line
// break (the rows and the quoted missing-cover text).
struct ReportSize {
    std::size_t head;
    std::size_t total;
};

namespace report_detail {

// Room kept at the end of the report for the quoted timing line, which is far shorter.
inline constexpr std::size_t kTimingRoom = 128;
// Rows are counted as steps of an InterruptionCheck a block at a time.
inline constexpr std::size_t kRowBlock = 1024;
// Substitutes' names are fetched this many rows ahead.
inline constexpr std::size_t kAhead = 12;

// Copies `text` to `to`. A report is mostly pieces of a few dozen bytes, which are copied
// here in two overlapping moves instead of a call.
inline void copy_text(char* to, std::string_view text) noexcept {
    const char* from = text.data();
    const std::size_t size = text.size();
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

}  // namespace report_detail

// What a caller may know of every name it can give: the most bytes one takes in the report
// (quotes included) and whether all are ASCII.
struct NameBound {
    std::size_t most_bytes;
    bool ascii;
};

namespace report_detail {

// Names of at most this many bytes are bounded closely enough to write the report in one
// pass, into room for every name at its bound.
inline constexpr std::size_t kOnePassNameBytes = 64;

// Writes the rows of the covered lessons at `out`, each with its substitute's name as the
// report quotes it, `names(i)` giving the name of row i; gives where they end, or nullptr
// when `check` stopped. `names.ahead(i)` is asked first, to fetch what later rows read.
template <class RowNames>
char* write_rows(char* out, const LessonTexts& lessons, const std::vector<std::uint32_t>& covered, RowNames&& names,
                 InterruptionCheck& check) {
    const auto put = [&out](std::string_view text) {
        copy_text(out, text);
        out += text.size();
    };
    std::string quoted_name;
    for (std::size_t i = 0; i < covered.size(); ++i) {
        if (i % kRowBlock == 0 && check.step(kRowBlock)) return nullptr;
        names.ahead(i);
        const SubstituteName name = names(i);
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

// Writes the report of `plan` over `lessons` into `sink`. `name_of(teacher)` gives the
// SubstituteName of a teacher of the planning input; `name_of.prefetch(teacher)`, when it
// has one, asks for what that reads to be fetched ahead, and `name_of.bound()`, when it has
// one, gives a NameBound of every name it can give. `timing()` gives the timing line's
// text, asked for once the rest is written; `timing.likely_ascii(bytes)`, when it has one,
// guesses before writing that many bytes whether that text will be ASCII (else it is taken
// to be). The work is counted on `check`. Nothing when the sink said it could not, or when
// `check` stopped.
template <class NameOf, class Timing>
std::optional<ReportSize> render_report(const Plan& plan, const LessonTexts& lessons, NameOf&& name_of,
                                        ReportSink& sink, Timing&& timing, RenderSpace& space,
                                        InterruptionCheck& check) {
    using report_detail::copy_text;
    using report_detail::kAhead;
    // The lessons that got a cover, and the size of their rows but for the names.
    std::vector<std::uint32_t>& covered = space.covered;
    covered.clear();
    covered.reserve(plan.covered);
    std::size_t size = kReportHeader.size() + 2;
    for (std::size_t lesson = 0; lesson < plan.decisions.size(); ++lesson) {
        if (plan.decisions[lesson].substitute == Decision::kNobody) continue;
        covered.push_back(static_cast<std::uint32_t>(lesson));
        size += lessons[lesson].before + lessons[lesson].after;
    }
    const std::string missing = report_detail::quoted_missing_text(plan, lessons, check);
    if (check.stopped()) return std::nullopt;
    size += missing.size();

    // The sink is asked for room once. With the names bounded closely, for every name at
    // its bound, and the report is written in one pass; else the names are gathered first
    // (a large school's names are spread over memory, so each is fetched ahead once), for
    // the exact size.
    bool ascii = lessons.ascii();
    bool one_pass = false;
    if constexpr (requires { name_of.bound(); }) {
        const NameBound bound = name_of.bound();
        one_pass = bound.most_bytes <= report_detail::kOnePassNameBytes;
        if (one_pass) {
            size += covered.size() * bound.most_bytes;
            ascii = ascii && bound.ascii;
        }
    }
    if (!one_pass) {
        std::vector<SubstituteName>& names = space.names;
        names.resize(covered.size());
        for (std::size_t i = 0; i < covered.size(); ++i) {
            if (i % report_detail::kRowBlock == 0 && check.step(report_detail::kRowBlock)) return std::nullopt;
            if constexpr (requires { name_of.prefetch(std::uint32_t{}); }) {
                if (i + kAhead < covered.size()) name_of.prefetch(plan.decisions[covered[i + kAhead]].substitute);
            }
            const SubstituteName name = name_of(plan.decisions[covered[i]].substitute);
            names[i] = name;
            ascii = ascii && name.ascii;
            size += csv_field_size(name.text, name.quoted);
        }
    }

    bool timing_likely_ascii = true;
    if constexpr (requires { timing.likely_ascii(size); }) timing_likely_ascii = timing.likely_ascii(size);
    char* const start = sink.room(ReportRoom{size + report_detail::kTimingRoom, ascii, timing_likely_ascii});
    if (start == nullptr) return std::nullopt;
    char* out = start;
    const auto put = [&out](std::string_view text) {
        copy_text(out, text);
        out += text.size();
    };
    put(kReportHeader);
    if (one_pass) {
        // Each name's entry is fetched two strides ahead, and its text one stride ahead.
        struct FromCaller {
            NameOf& name_of;
            const Plan& plan;
            const std::vector<std::uint32_t>& covered;
            std::uint32_t substitute(std::size_t i) const { return plan.decisions[covered[i]].substitute; }
            void ahead(std::size_t i) const {
                if constexpr (requires { name_of.prefetch(std::uint32_t{}); }) {
                    if (i + 2 * kAhead < covered.size()) name_of.prefetch(substitute(i + 2 * kAhead));
                }
                if (i + kAhead < covered.size()) __builtin_prefetch(name_of(substitute(i + kAhead)).text.data());
            }
            SubstituteName operator()(std::size_t i) const { return name_of(substitute(i)); }
        };
        out = report_detail::write_rows(out, lessons, covered, FromCaller{name_of, plan, covered}, check);
    } else {
        struct Gathered {
            const std::vector<SubstituteName>& names;
            void ahead(std::size_t i) const {
                if (i + kAhead < names.size()) __builtin_prefetch(names[i + kAhead].text.data());
            }
            SubstituteName operator()(std::size_t i) const { return names[i]; }
        };
        out = report_detail::write_rows(out, lessons, covered, Gathered{space.names}, check);
    }
    if (out == nullptr) return std::nullopt;
    put("\n");
    put(missing);
    const std::size_t head = static_cast<std::size_t>(out - start);
    put("\n");
    std::string timing_line;
    append_quoted(timing_line, timing());
    if (timing_line.size() > report_detail::kTimingRoom) {
        throw std::length_error("the timing line does not fit the report");
    }
    put(timing_line);
    const auto total = static_cast<std::size_t>(out - start);
    if (!sink.finish(head, total, ascii && is_ascii(timing_line))) return std::nullopt;
    return ReportSize{head, total};
}

// The same, never stopped.
template <class NameOf, class Timing>
std::optional<ReportSize> render_report(const Plan& plan, const LessonTexts& lessons, NameOf&& name_of,
                                        ReportSink& sink, Timing&& timing, RenderSpace& space) {
    InterruptionCheck never;
    return render_report(plan, lessons, std::forward<NameOf>(name_of), sink, std::forward<Timing>(timing), space,
                         never);
}

}  // namespace lessoncover
