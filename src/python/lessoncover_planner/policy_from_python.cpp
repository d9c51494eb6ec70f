#include "python/lessoncover_planner/policy_from_python.hpp"

#include "binding/attributes.hpp"
#include "planner/day_limits.hpp"
#include "python/lessoncover_planner/period_from_python.hpp"

namespace lessoncover::binding {
namespace {

// What a count given as a Python object is: an int of at most 64 bits (`count`), past them
// (`count` is then the largest), negative, or no int at all; `error` with an exception set.
enum class CountRead { count, too_big, negative, not_int, error };

CountRead read_count(PyObject* value, unsigned long long& count) {
    if (!PyLong_Check(value) || PyBool_Check(value)) return CountRead::not_int;
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(value, &overflow);
    if (number == -1 && PyErr_Occurred()) return CountRead::error;
    // Past 64 bits the number is -1 and the overflow says which way.
    if (overflow < 0 || (overflow == 0 && number < 0)) return CountRead::negative;
    count = overflow > 0 ? ~0ULL : static_cast<unsigned long long>(number);
    return overflow > 0 ? CountRead::too_big : CountRead::count;
}

bool read_cap(PyObject* policy, std::uint32_t& cap) {
    const OwnedRef value = attribute(policy, "max_covers");
    if (!value) return false;
    if (value.get() == Py_None) return true;
    unsigned long long number = 0;
    switch (read_count(value.get(), number)) {
        case CountRead::not_int:
            PyErr_Format(PyExc_TypeError, "max_covers must be an int or None, got %R", value.get());
            return false;
        case CountRead::negative:
            PyErr_Format(PyExc_ValueError, "max_covers must not be negative, got %R", value.get());
            return false;
        case CountRead::error: return false;
        case CountRead::count:
        case CountRead::too_big: break;
    }
    // A cap nobody can reach is no cap.
    cap = number >= PlanningPolicy::kNoCap ? PlanningPolicy::kNoCap : static_cast<std::uint32_t>(number);
    return true;
}

// The (name, value) pairs of the mapping `name`, each name a str.
bool read_by_teacher(PyObject* policy, const char* name, OwnedRef& pairs) {
    const OwnedRef value = attribute(policy, name);
    if (!value) return false;
    pairs = mapping_snapshot(value.get());
    if (!pairs) {
        const OwnedRef type_name = PyErr_Occurred() ? OwnedRef() : OwnedRef::steal(PyType_GetName(Py_TYPE(value.get())));
        if (type_name) {
            PyErr_Format(PyExc_TypeError, "%s must be a mapping of teacher name to value, not %U", name,
                         type_name.get());
        }
        return false;
    }
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(pairs.get()); ++i) {
        PyObject* teacher = PyTuple_GET_ITEM(PyList_GET_ITEM(pairs.get(), i), 0);
        if (!PyUnicode_Check(teacher)) {
            PyErr_Format(PyExc_TypeError, "%s: a teacher name must be a str, got %R", name, teacher);
            return false;
        }
    }
    return true;
}

bool read_prior_covers(PyObject* policy, PolicyObjects& out) {
    if (!read_by_teacher(policy, "prior_covers", out.prior_covers)) return false;
    PyObject* pairs = out.prior_covers.get();
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(pairs); ++i) {
        PyObject* name = PyTuple_GET_ITEM(PyList_GET_ITEM(pairs, i), 0);
        PyObject* value = PyTuple_GET_ITEM(PyList_GET_ITEM(pairs, i), 1);
        unsigned long long count = 0;
        switch (read_count(value, count)) {
            case CountRead::not_int:
                PyErr_Format(PyExc_TypeError, "prior_covers[%R]: a count must be an int, got %R", name, value);
                return false;
            case CountRead::negative:
                PyErr_Format(PyExc_ValueError, "prior_covers[%R]: a count must not be negative, got %R", name, value);
                return false;
            case CountRead::error: return false;
            case CountRead::count:
            case CountRead::too_big: break;
        }
        if (count > kMostPriorCovers) {
            PyErr_Format(PyExc_ValueError, "prior_covers[%R]: count %R is more than %lu", name, value,
                         static_cast<unsigned long>(kMostPriorCovers));
            return false;
        }
        out.prior_counts.push_back(static_cast<std::uint32_t>(count));
    }
    return true;
}

bool read_unavailable(PyObject* policy, PolicyObjects& out) {
    if (!read_by_teacher(policy, "unavailable", out.unavailable)) return false;
    PyObject* pairs = out.unavailable.get();
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(pairs); ++i) {
        PyObject* name = PyTuple_GET_ITEM(PyList_GET_ITEM(pairs, i), 0);
        PyObject* given = PyTuple_GET_ITEM(PyList_GET_ITEM(pairs, i), 1);
        const OwnedRef periods = iterable_snapshot(given);
        if (!periods) {
            if (!PyErr_Occurred()) {
                PyErr_Format(PyExc_TypeError, "unavailable[%R]: expected an iterable of periods, got %R", name, given);
            }
            return false;
        }
        for (Py_ssize_t at = 0; at < PyTuple_GET_SIZE(periods.get()); ++at) {
            PyObject* item = PyTuple_GET_ITEM(periods.get(), at);
            Period period = 0;
            if (!period_or_refuse(read_policy_period, item, period, "unavailable[%R]: a period must be an int, got %R",
                                  "unavailable[%R]: period %R", name, item)) {
                return false;
            }
            out.unavailable_periods.emplace_back(i, period);
        }
    }
    return true;
}

bool read_pins(PyObject* policy, PolicyObjects& out) {
    const OwnedRef value = attribute(policy, "pinned");
    if (!value) return false;
    out.pins = iterable_snapshot(value.get());
    if (!out.pins) {
        if (!PyErr_Occurred()) {
            PyErr_Format(PyExc_TypeError,
                         "pinned must be an iterable of (absent, period, class_name, substitute) tuples, got %R",
                         value.get());
        }
        return false;
    }
    static constexpr const char* kNames[] = {"absent", nullptr, "class_name", "substitute"};
    for (Py_ssize_t index = 0; index < PyTuple_GET_SIZE(out.pins.get()); ++index) {
        PyObject* pin = PyTuple_GET_ITEM(out.pins.get(), index);
        if (!PyTuple_Check(pin) || PyTuple_GET_SIZE(pin) != 4) {
            PyErr_Format(PyExc_TypeError, "pinned[%zd]: expected an (absent, period, class_name, substitute) tuple, got %R",
                         index, pin);
            return false;
        }
        for (Py_ssize_t field = 0; field < 4; ++field) {
            PyObject* name = PyTuple_GET_ITEM(pin, field);
            if (kNames[field] != nullptr && !PyUnicode_Check(name)) {
                PyErr_Format(PyExc_TypeError, "pinned[%zd] %R: %s must be a str, got %R", index, pin, kNames[field],
                             name);
                return false;
            }
        }
        PyObject* item = PyTuple_GET_ITEM(pin, 1);
        Period period = 0;
        if (!period_or_refuse(read_policy_period, item, period, "pinned[%zd] %R: a period must be an int, got %R",
                              "pinned[%zd] %R: period %R", index, pin, item)) {
            return false;
        }
        out.pin_periods.push_back(period);
    }
    return true;
}

// The names of an iterable option of names (away_classes, supply), each a str.
bool read_names(PyObject* policy, const char* option, const char* what, OwnedRef& names) {
    const OwnedRef value = attribute(policy, option);
    if (!value) return false;
    names = iterable_snapshot(value.get());
    if (!names) {
        if (!PyErr_Occurred()) {
            PyErr_Format(PyExc_TypeError, "%s must be an iterable of %s names, got %R", option, what, value.get());
        }
        return false;
    }
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(names.get()); ++i) {
        PyObject* name = PyTuple_GET_ITEM(names.get(), i);
        if (!PyUnicode_Check(name)) {
            PyErr_Format(PyExc_TypeError, "%s: a %s name must be a str, got %R", option, what, name);
            return false;
        }
    }
    return true;
}

bool read_strategy(PyObject* policy, Strategy& strategy) {
    const OwnedRef value = attribute(policy, "strategy");
    if (!value) return false;
    if (!PyUnicode_Check(value.get())) {
        PyErr_Format(PyExc_TypeError, "strategy must be a str, got %R", value.get());
        return false;
    }
    if (PyUnicode_CompareWithASCIIString(value.get(), "greedy") == 0) {
        strategy = Strategy::greedy;
    } else if (PyUnicode_CompareWithASCIIString(value.get(), "best") == 0) {
        strategy = Strategy::best;
    } else {
        PyErr_Format(PyExc_ValueError, "strategy must be 'greedy' or 'best', not %R", value.get());
        return false;
    }
    return true;
}

}  // namespace

bool read_policy_object(PyObject* policy, PolicyObjects& out) {
    return read_cap(policy, out.max_covers) && read_prior_covers(policy, out) && read_unavailable(policy, out) &&
           read_names(policy, "away_classes", "class", out.away_classes) &&
           read_attribute(policy, "keep_doubles", out.keep_doubles) &&
           read_attribute(policy, "combined_lessons", out.combined_lessons) &&
           read_attribute(policy, "co_taught_no_cover", out.co_taught_no_cover) && read_pins(policy, out) &&
           read_names(policy, "supply", "teacher", out.supply) && read_strategy(policy, out.strategy);
}

}  // namespace lessoncover::binding
