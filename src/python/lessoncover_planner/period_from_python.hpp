// Periods as the native part reads them: from kPeriodMin to kPeriodMax, each refusal
// naming the item at fault in the caller's words and the bounds from the core.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

#include "binding/owned_ref.hpp"
#include "planner/day_limits.hpp"

namespace lessoncover::binding {

enum class PeriodRead { ok, not_int, out_of_range, failed };

inline PeriodRead period_in_range(PyObject* number, Period& period) {
    int overflow = 0;
    const long value = PyLong_AsLongAndOverflow(number, &overflow);
    if (value == -1 && PyErr_Occurred()) return PeriodRead::failed;
    if (overflow != 0 || value < kPeriodMin || value > kPeriodMax) return PeriodRead::out_of_range;
    period = static_cast<Period>(value);
    return PeriodRead::ok;
}

// A lesson's period: an int (or an object with __index__). An int, as nearly every period
// is, is read on the spot.
inline PeriodRead read_period(PyObject* object, Period& period) {
    if (PyLong_CheckExact(object)) return period_in_range(object, period);
    if (!PyIndex_Check(object)) return PeriodRead::not_int;
    const OwnedRef number = OwnedRef::steal(PyNumber_Index(object));
    return number ? period_in_range(number.get(), period) : PeriodRead::failed;
}

// A policy's period: an int and no bool, as the Policy's options are typed.
inline PeriodRead read_policy_period(PyObject* object, Period& period) {
    if (!PyLong_Check(object) || PyBool_Check(object)) return PeriodRead::not_int;
    return period_in_range(object, period);
}

// A period as `read` reads it; one that is no int is refused with TypeError and
// `not_int`, one out of range with ValueError, `out_of_range` followed by the bounds:
// formats that take the same `args`.
template <class... Args>
bool period_or_refuse(PeriodRead (*read)(PyObject*, Period&), PyObject* object, Period& period,
                      const char* not_int, const char* out_of_range, Args... args) {
    switch (read(object, period)) {
        case PeriodRead::ok: return true;
        case PeriodRead::not_int: PyErr_Format(PyExc_TypeError, not_int, args...); return false;
        case PeriodRead::out_of_range: {
            const OwnedRef what = OwnedRef::steal(PyUnicode_FromFormat(out_of_range, args...));
            if (what) {
                PyErr_Format(PyExc_ValueError, "%U is outside %d..%d", what.get(), static_cast<int>(kPeriodMin),
                             static_cast<int>(kPeriodMax));
            }
            return false;
        }
        case PeriodRead::failed: return false;
    }
    return false;
}

}  // namespace lessoncover::binding
