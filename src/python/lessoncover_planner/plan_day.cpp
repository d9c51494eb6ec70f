// plan_day(): a day's lists in, its plan out, in one native call.
#include "python/lessoncover_planner/plan_day.hpp"

#include <chrono>
#include <new>

#include "binding/call.hpp"
#include "binding/heap_type.hpp"
#include "binding/object_arguments.hpp"
#include "binding/signal_handlers.hpp"
#include "planner/decide.hpp"
#include "python/lessoncover_planner/day_from_python.hpp"
#include "report/report.hpp"
#include "school/duration_text.hpp"

namespace lessoncover::binding {
namespace {

Signature<4> plan_day_signature{"plan_day", {"teachers", "lessons", "absences", "resolve_subject"}};

// The str of a subject, made once per subject the records show.
PyObject* subject_object(const Day& day, DayObjects& objects, SubjectId subject) {
    PyObject*& name = objects.subject_names[subject];
    if (name == nullptr) {
        OwnedRef made = OwnedRef::steal(to_python(day.subjects[subject]));
        if (!made || PyList_Append(objects.kept.get(), made.get()) < 0) return nullptr;
        name = made.get();
    }
    return name;
}

// (absent, period, subject, substitute, class_name, reason, rule) per cover and
// (absent, period, subject, class_name, reason, present, teaching, covering) per
// uncovered lesson, both in report order.
bool make_records(const Day& day, DayObjects& objects, const DayInput& built, const Plan& plan, OwnedRef& covers,
                  OwnedRef& uncovered) {
    covers = OwnedRef::steal(PyList_New(static_cast<Py_ssize_t>(plan.covered)));
    uncovered = OwnedRef::steal(PyList_New(static_cast<Py_ssize_t>(plan.uncovered.size())));
    // The rules' names as the planner gives them, one str each.
    OwnedRef rule_names[2] = {OwnedRef::steal(to_python(rule_name(Rule::subject))),
                              OwnedRef::steal(to_python(rule_name(Rule::any)))};
    if (!covers || !uncovered || !rule_names[0] || !rule_names[1]) return false;
    Py_ssize_t next_cover = 0;
    Py_ssize_t next_uncovered = 0;
    for (std::size_t lesson = 0; lesson < plan.decisions.size(); ++lesson) {
        const Decision& decision = plan.decisions[lesson];
        const std::uint32_t absent = built.lesson_absent[lesson];
        PyObject* subject = subject_object(day, objects, day.teachers[absent].subject);
        if (subject == nullptr) return false;
        OwnedRef period = OwnedRef::steal(PyLong_FromLong(built.texts.period(lesson)));
        if (!period) return false;
        PyObject* class_name = objects.class_names[built.lesson_class[lesson]];
        PyObject* reason = objects.reasons[absent];
        PyObject* record = nullptr;
        if (decision.substitute != Decision::kNobody) {
            PyObject* substitute = objects.teacher_names[built.list_order[decision.substitute]];
            record = PyTuple_Pack(7, objects.teacher_names[absent], period.get(), subject, substitute, class_name,
                                  reason, rule_names[decision.rule == Rule::subject ? 0 : 1].get());
            if (record == nullptr) return false;
            PyList_SET_ITEM(covers.get(), next_cover++, record);
        } else {
            const Uncovered& why = plan.uncovered[static_cast<std::size_t>(next_uncovered)];
            OwnedRef counts[3] = {OwnedRef::steal(PyLong_FromUnsignedLong(why.present_teachers)),
                                  OwnedRef::steal(PyLong_FromUnsignedLong(why.busy_teaching)),
                                  OwnedRef::steal(PyLong_FromUnsignedLong(why.busy_covering))};
            if (!counts[0] || !counts[1] || !counts[2]) return false;
            record = PyTuple_Pack(8, objects.teacher_names[absent], period.get(), subject, class_name, reason,
                                  counts[0].get(), counts[1].get(), counts[2].get());
            if (record == nullptr) return false;
            PyList_SET_ITEM(uncovered.get(), next_uncovered++, record);
        }
    }
    return true;
}

PyObject* plan_day(const Day& day, DayObjects& objects) {
    const auto started = std::chrono::steady_clock::now();
    DayInput built;
    build_day_input(day, built);
    // A signal handler that raises stops deciding or rendering, with its exception set.
    SignalHandlers signals;
    InterruptionCheck check(&signals);
    CoverPlanner planner;
    Plan plan;
    planner.decide(built.input, plan, check);
    if (check.stopped()) return nullptr;
    StringSink sink;
    RenderSpace space;
    std::chrono::nanoseconds elapsed{};
    struct NamesOfDay {
        const Day& day;
        const DayInput& built;
        SubstituteName operator()(std::uint32_t teacher) const noexcept {
            const std::string_view name = day.teachers[built.list_order[teacher]].name;
            return SubstituteName{name, needs_csv_quotes(name), is_ascii(name)};
        }
    };
    const auto rendered = render_report(
        plan, built.texts, NamesOfDay{day, built}, sink,
        [&] {
            elapsed = std::chrono::steady_clock::now() - started;
            return "Time taken to generate subs: " + duration_text(elapsed);
        },
        space, check);
    if (check.stopped()) return nullptr;
    if (!rendered) return PyErr_NoMemory();
    const std::string_view text = sink.text;
    OwnedRef head = OwnedRef::steal(to_python(text.substr(0, rendered->head)));
    OwnedRef timing = OwnedRef::steal(to_python(text.substr(rendered->head + 1)));
    OwnedRef seconds = OwnedRef::steal(PyFloat_FromDouble(std::chrono::duration<double>(elapsed).count()));
    OwnedRef covers;
    OwnedRef uncovered;
    if (!head || !timing || !seconds || !make_records(day, objects, built, plan, covers, uncovered)) return nullptr;
    return PyTuple_Pack(5, head.get(), timing.get(), seconds.get(), covers.get(), uncovered.get());
}

PyObject* plan_day_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return call_function<ListArgument, ListArgument, DictArgument, CallableArgument>(
        plan_day_signature, args, nargs, kwnames,
        [](ListArgument teachers, ListArgument lessons, DictArgument absences,
           CallableArgument resolve_subject) -> NewReference {
            // Planning changes nothing outside this call, so running out of memory anywhere
            // in it is a MemoryError like any other.
            try {
                Day day;
                DayObjects objects;
                if (!read_day(teachers.object, lessons.object, absences.object, resolve_subject.object, day,
                              objects)) {
                    return NewReference{nullptr};
                }
                return NewReference{plan_day(day, objects)};
            } catch (const std::bad_alloc&) {
                return NewReference{PyErr_NoMemory()};
            }
        });
}

PyMethodDef plan_day_definition = {
    "plan_day",
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(plan_day_function)),
    METH_FASTCALL | METH_KEYWORDS,
    "plan_day($module, teachers, lessons, absences, resolve_subject, /)\n--\n\n"
    "Plans a day given as lists: teachers (name, subject) in school order, lessons\n"
    "(teacher, period, class) in registration order, absences {name: reason}.\n"
    "resolve_subject(text) gives a known subject's number, a subject of the school's\n"
    "own as its display text, or None. Returns (report_head, timing_line, elapsed,\n"
    "covers, uncovered). The package's plan() is the documented way in.",
};

}  // namespace

PyObject* create_plan_day_function(PyObject* module) { return create_module_function(plan_day_definition, module); }

}  // namespace lessoncover::binding
