// The report as the Python str that generation returns, whichever way the timing line
// turns out. The str is made before the timing line is written, on a guess of whether
// that line will be ASCII ("1.5ms") or not ("850µs"), and a wrong guess must still give
// the report's text, in the narrowest kind of str that holds it. A day is planned and
// rendered through the binding's sink with a timing line guessed one way and written
// either way, for rows of each kind, and compared with the same report rendered as
// UTF-8. Built with ASan, UBSan and an embedded interpreter by tests/test_core.py, which
// sets PYTHONHOME. Prints "N passed, N failed" and exits non-zero on any failure.
#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "binding/text_sink.hpp"
#include "planner/day.hpp"
#include "planner/decide.hpp"
#include "report/report.hpp"
#include "teacher/subjects.hpp"
#include "teacher/teacher.hpp"

using namespace lessoncover;

namespace {

int passed = 0;
int failed = 0;

void expect(bool ok, const std::string& what) {
    if (ok) {
        ++passed;
        return;
    }
    ++failed;
    std::printf("FAILED %s\n", what.c_str());
}

// A timing line fixed in advance, and a fixed guess of whether it is ASCII.
struct ScriptedTiming {
    bool guess_ascii;
    std::string line;
    bool likely_ascii(std::size_t) const noexcept { return guess_ascii; }
    std::string operator()() const { return line; }
};

// One absent teacher's lesson, covered by `substitute`; the rows are ASCII when the name is.
struct PlannedDay {
    explicit PlannedDay(std::string_view substitute) {
        for (std::size_t subject = 0; subject < kSubjectCount; ++subject) {
            day.subjects.push_back(display_name(static_cast<Subjects>(subject)));
        }
        const auto maths = static_cast<SubjectId>(Subjects::Maths);
        day.teachers = {DayTeacher{"Asha", kDefaultAbsenceReason, maths, false},
                        DayTeacher{substitute, {}, maths, true}};
        day.classes = {"10A"};
        day.lessons = {DayLesson{0, 0, 3}};
        build_day_input(day, built);
        CoverPlanner planner;
        planner.decide(built.input, plan);
    }

    template <class Sink>
    bool render(Sink& sink, const ScriptedTiming& timing) const {
        RenderSpace space;
        const auto name_of = [this](std::uint32_t teacher) {
            const std::string_view name = day.teachers[built.list_order[teacher]].name;
            return SubstituteName{name, needs_csv_quotes(name), is_ascii(name)};
        };
        return render_report(plan, built.texts, name_of, sink, timing, space).has_value();
    }

    Day day;
    DayInput built;
    Plan plan;
};

// The narrowest kind of str holding `text`: 1 for ASCII (compact ASCII) and Latin-1, else
// wider.
int narrowest_kind(std::string_view text) {
    Py_UCS4 widest = 0;
    for (std::size_t at = 0; at < text.size();) {
        const unicode::DecodedChar decoded = unicode::decode_utf8(text, at);
        widest = std::max(widest, static_cast<Py_UCS4>(decoded.code_point));
        at += decoded.length;
    }
    return widest <= 0xff ? PyUnicode_1BYTE_KIND : widest <= 0xffff ? PyUnicode_2BYTE_KIND : PyUnicode_4BYTE_KIND;
}

void report_is_its_text(std::string_view substitute, bool guess_ascii, const std::string& duration) {
    const std::string what = "substitute " + std::string(substitute) + ", guessed " +
                             (guess_ascii ? "ASCII" : "not ASCII") + ", took " + duration;
    const PlannedDay planned(substitute);
    const ScriptedTiming timing{guess_ascii, "Time taken to generate subs: " + duration};
    StringSink utf8;
    binding::PythonTextSink python;
    if (!planned.render(utf8, timing) || !planned.render(python, timing)) {
        expect(false, what + ": rendering failed");
        PyErr_Clear();
        return;
    }
    const binding::OwnedRef text = binding::OwnedRef::steal(python.take());
    if (!text) {
        expect(false, what + ": no str");
        PyErr_Clear();
        return;
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(text.get(), &size);
    expect(data != nullptr && std::string_view(data, static_cast<std::size_t>(size)) == utf8.text,
           what + ": the str is the report's text");
    expect(utf8.text.find(duration) != std::string::npos, what + ": the report ends with its timing");
    expect(PyUnicode_KIND(text.get()) == narrowest_kind(utf8.text), what + ": the narrowest kind of str");
    expect(static_cast<bool>(PyUnicode_IS_ASCII(text.get())) == is_ascii(utf8.text), what + ": ASCII exactly when it is");
}

}  // namespace

int main() {
    Py_Initialize();
    // Rows of ASCII, of Latin-1 and of wider text; the timing line ASCII or not, each
    // guessed right and wrong.
    for (const std::string_view substitute : {"Ben", "Zo\u00eb", "\u674e\u96f7"}) {
        for (const bool guess_ascii : {true, false}) {
            for (const std::string duration : {"1.5ms", "850\u00b5s", "2s"}) {
                report_is_its_text(substitute, guess_ascii, duration);
            }
        }
    }
    Py_FinalizeEx();
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
