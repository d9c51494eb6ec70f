// plan_day(): a day's lists in, its plan out, in one native call.
#include "python/lessoncover_planner/plan_day.hpp"

#include <chrono>
#include <new>

#include "binding/call.hpp"
#include "binding/heap_type.hpp"
#include "binding/object_arguments.hpp"
#include "binding/signal_handlers.hpp"
#include "binding/text_sink.hpp"
#include "planner/best_plan.hpp"
#include "planner/day_pins.hpp"
#include "planner/decide.hpp"
#include "planner/plan_review.hpp"
#include "python/lessoncover_planner/contract.hpp"
#include "python/lessoncover_planner/day_from_python.hpp"
#include "report/report.hpp"
#include "report/why_uncovered.hpp"
#include "school/duration_text.hpp"

namespace lessoncover::binding {
namespace {

Signature<5> plan_day_signature{"plan_day", {"teachers", "lessons", "absences", "resolve_subject", "policy"}};

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

// The records, all in report order:
//   (absent, period, subject, substitute, class_name, reason, rule, why) per cover;
//   (absent, period, subject, class_name, reason, present, teaching, covering, unavailable,
//    at_cap) per uncovered lesson;
//   (absent, period, subject, class_name, reason, why) per lesson that needs no cover.
struct Records {
    OwnedRef covers;
    OwnedRef uncovered;
    OwnedRef not_needed;
};

bool make_records(const Day& day, DayObjects& objects, const DayInput& built, const Plan& plan,
                  const PlanReview& review, Records& records, InterruptionCheck& check) {
    records.covers = OwnedRef::steal(PyList_New(static_cast<Py_ssize_t>(plan.covered)));
    records.uncovered = OwnedRef::steal(PyList_New(static_cast<Py_ssize_t>(plan.uncovered.size())));
    records.not_needed = OwnedRef::steal(PyList_New(static_cast<Py_ssize_t>(plan.not_needed)));
    if (!records.covers || !records.uncovered || !records.not_needed) return false;
    PyObject* rule_names = lessoncover::binding::rule_names();
    if (rule_names == nullptr) return false;
    Py_ssize_t next_cover = 0;
    Py_ssize_t next_uncovered = 0;
    Py_ssize_t next_not_needed = 0;
    std::string why_text;
    for (std::size_t lesson = 0; lesson < plan.decisions.size(); ++lesson) {
        if (check.step()) return false;
        const Decision& decision = plan.decisions[lesson];
        const std::uint32_t absent = built.lesson_absent[lesson];
        PyObject* subject = subject_object(day, objects, day.teachers[absent].subject);
        if (subject == nullptr) return false;
        OwnedRef period = OwnedRef::steal(PyLong_FromLong(built.texts.period(lesson)));
        if (!period) return false;
        PyObject* class_name = objects.class_names[built.lesson_class[lesson]];
        PyObject* reason = objects.reasons[absent];
        PyObject* rule = PyTuple_GET_ITEM(rule_names, static_cast<Py_ssize_t>(decision.rule));
        PyObject* record = nullptr;
        if (decision.substitute != Decision::kNobody) {
            PyObject* substitute = objects.teacher_names[built.list_order[decision.substitute]];
            OwnedRef why = OwnedRef::steal(to_python(review.why(static_cast<std::uint32_t>(lesson), why_text)));
            if (!why) return false;
            record = PyTuple_Pack(8, objects.teacher_names[absent], period.get(), subject, substitute, class_name,
                                  reason, rule, why.get());
            if (record == nullptr) return false;
            PyList_SET_ITEM(records.covers.get(), next_cover++, record);
        } else if (decision.rule == Rule::uncovered) {
            const Uncovered& why = plan.uncovered[static_cast<std::size_t>(next_uncovered)];
            OwnedRef counts[5] = {OwnedRef::steal(PyLong_FromUnsignedLong(why.present_teachers)),
                                  OwnedRef::steal(PyLong_FromUnsignedLong(why.busy_teaching)),
                                  OwnedRef::steal(PyLong_FromUnsignedLong(why.busy_covering)),
                                  OwnedRef::steal(PyLong_FromUnsignedLong(why.busy_unavailable)),
                                  OwnedRef::steal(PyLong_FromUnsignedLong(why.at_cap))};
            for (const OwnedRef& count : counts) {
                if (!count) return false;
            }
            record = PyTuple_Pack(10, objects.teacher_names[absent], period.get(), subject, class_name, reason,
                                  counts[0].get(), counts[1].get(), counts[2].get(), counts[3].get(), counts[4].get());
            if (record == nullptr) return false;
            PyList_SET_ITEM(records.uncovered.get(), next_uncovered++, record);
        } else {
            const std::uint32_t co_teacher =
                built.co_teacher.empty() ? DayInput::kNoTeacher : built.co_teacher[lesson];
            const std::string why = why_not_needed(
                decision.rule, built.texts.period(lesson), day.classes[built.lesson_class[lesson]],
                co_teacher == DayInput::kNoTeacher ? std::string_view() : day.teachers[co_teacher].name);
            OwnedRef why_text = OwnedRef::steal(to_python(std::string_view(why)));
            if (!why_text) return false;
            record = PyTuple_Pack(6, objects.teacher_names[absent], period.get(), subject, class_name, reason,
                                  why_text.get());
            if (record == nullptr) return false;
            PyList_SET_ITEM(records.not_needed.get(), next_not_needed++, record);
        }
    }
    return true;
}

PyObject* plan_day(const Day& day, DayObjects& objects, InterruptionCheck& check) {
    const auto started = std::chrono::steady_clock::now();
    DayInput built;
    if (!build_day_input(day, built, check)) return nullptr;
    const Result<Done, PinRefusal> pinned = pin_lessons(day, built);
    if (!pinned.ok()) {
        const PinRefusal& refusal = pinned.error();
        PyErr_Format(PyExc_ValueError, "pinned[%u] %R: %s", static_cast<unsigned>(refusal.pin),
                     PyTuple_GET_ITEM(objects.pins.get(), refusal.pin), refusal.reason.c_str());
        return nullptr;
    }
    Plan plan;
    if (built.input.policy.strategy == Strategy::best) {
        BestPlanner planner;
        planner.decide(built.input, plan, check);
    } else {
        CoverPlanner planner;
        planner.decide(built.input, plan, check);
    }
    if (check.stopped()) return nullptr;
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
        plan, built.texts, NamesOfDay{day, built},
        [&] {
            elapsed = std::chrono::steady_clock::now() - started;
            return "Time taken to generate subs: " + duration_text(elapsed);
        },
        space, check);
    if (!rendered) return nullptr;
    // Either part of a Latin-1 report may be ASCII alone, which its str must say.
    const auto str_of = [&rendered](std::string_view part) {
        if (rendered->kind == TextKind::latin1) {
            return PyUnicode_DecodeLatin1(part.data(), static_cast<Py_ssize_t>(part.size()), nullptr);
        }
        return report_str(part, rendered->kind);
    };
    OwnedRef head = OwnedRef::steal(str_of(rendered->bytes.substr(0, rendered->head)));
    OwnedRef timing = OwnedRef::steal(str_of(rendered->bytes.substr(rendered->head + 1)));
    OwnedRef seconds = OwnedRef::steal(PyFloat_FromDouble(std::chrono::duration<double>(elapsed).count()));
    const PlanReview review(day, built, plan);
    const PlanFigures& figures = review.figures();
    OwnedRef summary = OwnedRef::steal(Py_BuildValue(
        "(KKKKKKK)", static_cast<unsigned long long>(figures.covered), static_cast<unsigned long long>(figures.subject),
        static_cast<unsigned long long>(figures.supply), static_cast<unsigned long long>(figures.doubles_kept),
        static_cast<unsigned long long>(figures.largest_load), static_cast<unsigned long long>(figures.sum_of_squares),
        static_cast<unsigned long long>(figures.knows_class)));
    Records records;
    if (!head || !timing || !seconds || !summary || !make_records(day, objects, built, plan, review, records, check)) {
        return nullptr;
    }
    return PyTuple_Pack(7, head.get(), timing.get(), seconds.get(), records.covers.get(), records.uncovered.get(),
                        records.not_needed.get(), summary.get());
}

PyObject* plan_day_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return call_function<ListArgument, ListArgument, DictArgument, CallableArgument, AnyArgument>(
        plan_day_signature, args, nargs, kwnames,
        [](ListArgument teachers, ListArgument lessons, DictArgument absences, CallableArgument resolve_subject,
           AnyArgument policy) -> NewReference {
            // Planning changes nothing outside this call, so running out of memory anywhere
            // in it is a MemoryError like any other.
            try {
                // A signal handler that raises stops the call at any stage, from reading the
                // lists to making the records, with its exception set.
                SignalHandlers signals;
                InterruptionCheck check(&signals);
                Day day;
                DayObjects objects;
                if (!read_day(teachers.object, lessons.object, absences.object, resolve_subject.object,
                              policy.object, day, objects, check)) {
                    return NewReference{nullptr};
                }
                return NewReference{plan_day(day, objects, check)};
            } catch (const std::bad_alloc&) {
                return NewReference{PyErr_NoMemory()};
            }
        });
}

PyMethodDef plan_day_definition = {
    "plan_day",
    fastcall(plan_day_function),
    METH_FASTCALL | METH_KEYWORDS,
    "plan_day($module, teachers, lessons, absences, resolve_subject, policy, /)\n--\n\n"
    "Plans a day given as lists: teachers (name, subject) in school order, lessons\n"
    "(teacher, period, class) in registration order, absences {name: reason or\n"
    "(reason, periods)}. resolve_subject(text) gives a known subject's number, a\n"
    "subject of the school's own as its display text, or None. policy is None or an\n"
    "object whose options are read by name as check_policy() reads them. Returns\n"
    "(report_head, timing_line, elapsed, covers, uncovered, not_needed, summary). The\n"
    "package's plan() is the documented way in.",
};

}  // namespace

PyObject* create_plan_day_function(PyObject* module) { return create_module_function(plan_day_definition, module); }

}  // namespace lessoncover::binding
