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

// Where a report is written. It is asked once for room, with the most bytes the report can
// take and whether all of it but the timing line is ASCII; after writing there, the
// renderer says how many bytes it wrote and whether all of them are ASCII. Each says when
// it cannot: no room (nullptr), or no result made of what was written (false).
class ReportSink {
public:
    virtual char* room(std::size_t capacity, bool ascii_but_timing) = 0;
    virtual bool finish(std::size_t size, bool ascii) = 0;

protected:
    ~ReportSink() = default;
};

// A report held as UTF-8 text.
class StringSink final : public ReportSink {
public:
    char* room(std::size_t capacity, bool) override {
        text.resize(capacity);
        return text.data();
    }
    bool finish(std::size_t size, bool) override {
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

// Writes the report of `plan` over `lessons` into `sink`. `name_of(teacher)` gives the
// SubstituteName of a teacher of the planning input, and `name_of.prefetch(teacher)`, when
// it has one, asks for what that reads to be fetched ahead; `timing()` gives the timing
// line's text, asked for once the rest is written. The work is counted on `check`.
// Nothing when the sink said it could not, or when `check` stopped.
template <class NameOf, class Timing>
std::optional<ReportSize> render_report(const Plan& plan, const LessonTexts& lessons, NameOf&& name_of,
                                        ReportSink& sink, Timing&& timing, RenderSpace& space,
                                        InterruptionCheck& check) {
    using report_detail::copy_text;
    constexpr std::size_t kAhead = 12;
    // The substitutes' names, gathered in order (a large school's names are spread over
    // memory, so each is fetched ahead once), and the report's size, so that the sink is
    // asked for room once.
    std::vector<std::uint32_t>& covered = space.covered;
    covered.clear();
    covered.reserve(plan.covered);
    for (std::size_t lesson = 0; lesson < plan.decisions.size(); ++lesson) {
        if (plan.decisions[lesson].substitute != Decision::kNobody) covered.push_back(static_cast<std::uint32_t>(lesson));
    }
    std::vector<SubstituteName>& names = space.names;
    names.resize(covered.size());
    std::size_t size = kReportHeader.size() + 2;
    bool ascii = lessons.ascii();
    for (std::size_t i = 0; i < covered.size(); ++i) {
        if (i % report_detail::kRowBlock == 0 && check.step(report_detail::kRowBlock)) return std::nullopt;
        if constexpr (requires { name_of.prefetch(std::uint32_t{}); }) {
            if (i + kAhead < covered.size()) name_of.prefetch(plan.decisions[covered[i + kAhead]].substitute);
        }
        const SubstituteName name = name_of(plan.decisions[covered[i]].substitute);
        names[i] = name;
        ascii = ascii && name.ascii;
        size += lessons[covered[i]].before + lessons[covered[i]].after + name.text.size();
        if (name.quoted) size += 2 + static_cast<std::size_t>(std::count(name.text.begin(), name.text.end(), '"'));
    }
    const std::string missing = report_detail::quoted_missing_text(plan, lessons, check);
    if (check.stopped()) return std::nullopt;
    size += missing.size();

    char* const start = sink.room(size + report_detail::kTimingRoom, ascii);
    if (start == nullptr) return std::nullopt;
    char* out = start;
    const auto put = [&out](std::string_view text) {
        copy_text(out, text);
        out += text.size();
    };
    put(kReportHeader);
    std::string quoted_name;
    for (std::size_t i = 0; i < covered.size(); ++i) {
        if (i % report_detail::kRowBlock == 0 && check.step(report_detail::kRowBlock)) return std::nullopt;
        if (i + kAhead < covered.size()) __builtin_prefetch(names[i + kAhead].text.data());
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
    if (!sink.finish(total, ascii && is_ascii(timing_line))) return std::nullopt;
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
