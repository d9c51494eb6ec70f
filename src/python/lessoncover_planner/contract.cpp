#include "python/lessoncover_planner/contract.hpp"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "binding/call.hpp"
#include "binding/heap_type.hpp"
#include "binding/object_arguments.hpp"
#include "planner/day_limits.hpp"
#include "planner/plan.hpp"
#include "python/lessoncover_planner/policy_from_python.hpp"
#include "report/why_uncovered.hpp"
#include "teacher/subject_names.hpp"

namespace lessoncover::binding {
namespace {

// A tuple of `count` items, item i made by make(i); NULL with an exception set.
template <class Make>
PyObject* tuple_of(std::size_t count, Make make) {
    OwnedRef tuple = OwnedRef::steal(PyTuple_New(static_cast<Py_ssize_t>(count)));
    if (!tuple) return nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        PyObject* item = make(i);
        if (item == nullptr) return nullptr;
        PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), item);
    }
    return tuple.release();
}

PyObject* subject_display(Subjects subject) { return to_python(display_name(subject)); }

// A (text, display name) pair.
PyObject* text_and_subject(std::string_view text, Subjects subject) {
    OwnedRef shown_text = OwnedRef::steal(to_python(text));
    OwnedRef display = OwnedRef::steal(subject_display(subject));
    return shown_text && display ? PyTuple_Pack(2, shown_text.get(), display.get()) : nullptr;
}

PyObject* spelling_pairs(std::span<const SubjectSpelling> spellings) {
    return tuple_of(spellings.size(),
                    [&](std::size_t i) { return text_and_subject(spellings[i].text, spellings[i].subject); });
}

PyObject* known_keys() {
    const auto keys = known_subject_keys();
    return tuple_of(keys.size(), [&](std::size_t i) { return text_and_subject(keys[i].first, keys[i].second); });
}

int add_constant(PyObject* module, const char* name, PyObject* made) {
    OwnedRef value = OwnedRef::steal(made);
    return value ? PyModule_AddObjectRef(module, name, value.get()) : -1;
}

Signature<1> subject_key_signature{"subject_key", {"text"}};
Signature<1> known_subject_signature{"known_subject", {"text"}};
Signature<6> why_uncovered_signature{
    "why_uncovered", {"period", "present", "teaching", "covering", "unavailable", "at_cap"}};
Signature<1> check_policy_signature{"check_policy", {"policy"}};

PyObject* subject_key_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return call_function<std::string_view>(subject_key_signature, args, nargs, kwnames, [](std::string_view text) {
        const std::string key = subject_key(text);
        return NewReference{to_python(std::string_view(key))};
    });
}

PyObject* known_subject_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return call_function<std::string_view>(known_subject_signature, args, nargs, kwnames, [](std::string_view text) {
        const auto subject = find_known_subject(text);
        if (!subject) return NewReference{Py_NewRef(Py_None)};
        return NewReference{PyLong_FromLong(static_cast<long>(*subject))};
    });
}

PyObject* why_uncovered_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return call_function<std::int64_t, std::int64_t, std::int64_t, std::int64_t, std::int64_t, std::int64_t>(
        why_uncovered_signature, args, nargs, kwnames,
        [](std::int64_t period, std::int64_t present, std::int64_t teaching, std::int64_t covering,
           std::int64_t unavailable, std::int64_t at_cap) {
            const std::string why = why_uncovered(period, BusyCounts{present, teaching, covering, unavailable, at_cap});
            return NewReference{to_python(std::string_view(why))};
        });
}

PyObject* check_policy_function(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return call_function<AnyArgument>(check_policy_signature, args, nargs, kwnames, [](AnyArgument policy) {
        PolicyObjects read;
        return NewReference{read_policy_object(policy.object, read) ? Py_NewRef(Py_None) : nullptr};
    });
}

PyMethodDef contract_functions[] = {
    {"subject_key", fastcall(subject_key_function), METH_FASTCALL | METH_KEYWORDS,
     "subject_key($module, text, /)\n--\n\n"
     "What two subject texts share when they name one subject: the core's full lower-case\n"
     "mapping of text."},
    {"known_subject", fastcall(known_subject_function), METH_FASTCALL | METH_KEYWORDS,
     "known_subject($module, text, /)\n--\n\n"
     "The number of the known subject that text (trimmed) names by a spelling, display\n"
     "name or alias, compared by subject_key(); None for any other text."},
    {"why_uncovered", fastcall(why_uncovered_function), METH_FASTCALL | METH_KEYWORDS,
     "why_uncovered($module, period, present, teaching, covering, unavailable, at_cap, /)\n--\n\n"
     "Why nobody was free in period, in words, from the counts of an uncovered lesson."},
    {"check_policy", fastcall(check_policy_function), METH_FASTCALL | METH_KEYWORDS,
     "check_policy($module, policy, /)\n--\n\n"
     "Reads policy's options by name as plan_day() does, raising TypeError or ValueError\n"
     "naming the option and the item at fault; None when every value is sound."},
};

}  // namespace

PyObject* rule_names() {
    // Kept for the process, as interned parameter names are.
    static PyObject* names = tuple_of(kRuleCount, [](std::size_t rule) {
        return to_python(rule_name(static_cast<Rule>(rule)));
    });
    if (names == nullptr && !PyErr_Occurred()) PyErr_NoMemory();
    return names;
}

int add_contract(PyObject* module) {
    PyObject* rules = rule_names();
    if (rules == nullptr || PyModule_AddObjectRef(module, "RULES", rules) < 0) return -1;
    if (add_constant(module, "SUBJECTS",
                     tuple_of(kSubjectCount, [](std::size_t i) { return subject_display(static_cast<Subjects>(i)); })) <
            0 ||
        add_constant(module, "TEACHER_SPELLINGS", spelling_pairs(teacher_spellings())) < 0 ||
        add_constant(module, "SUBJECT_ALIASES", spelling_pairs(subject_aliases())) < 0 ||
        add_constant(module, "SUBJECT_SPELLINGS", known_keys()) < 0 ||
        PyModule_AddIntConstant(module, "PERIOD_MIN", kPeriodMin) < 0 ||
        PyModule_AddIntConstant(module, "PERIOD_MAX", kPeriodMax) < 0 ||
        add_constant(module, "MOST_PRIOR_COVERS", PyLong_FromUnsignedLong(kMostPriorCovers)) < 0) {
        return -1;
    }
    for (PyMethodDef& definition : contract_functions) {
        if (add_constant(module, definition.ml_name, create_module_function(definition, module)) < 0) return -1;
    }
    return 0;
}

}  // namespace lessoncover::binding
