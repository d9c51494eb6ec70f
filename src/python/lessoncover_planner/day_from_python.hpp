// A day given as Python lists, read into the core's Day: every value checked, every
// refusal naming the item at fault. The Day's texts view str objects that `DayObjects`
// keeps alive; nothing the caller holds is read after reading is done.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <vector>

#include "binding/owned_ref.hpp"
#include "interruption.hpp"
#include "planner/day.hpp"

namespace lessoncover::binding {

// The Python objects a day was read from, for the plan's records.
struct DayObjects {
    OwnedRef teachers;  // a private list of (name, subject) tuples
    OwnedRef lessons;   // a private list of (teacher, period, class) tuples
    OwnedRef absences;  // a private dict
    OwnedRef kept;      // a list holding every other object that the day views
    OwnedRef pins;      // the policy's tuple of pins, to show a refused one as given
    std::vector<PyObject*> teacher_names;   // borrowed, by teacher
    std::vector<PyObject*> reasons;         // borrowed, by teacher (absent ones)
    std::vector<PyObject*> class_names;     // borrowed, by class id
    std::vector<PyObject*> subject_names;   // borrowed, by subject id
};

// Reads the arguments; `resolve_subject(text)` gives a known subject's number (0..19), a
// subject of the school's own as its display text, or None for no subject. An absence is
// a reason (a str or None) or a (reason, periods) tuple for part of the day, periods a
// non-empty tuple of ints. `policy` is None or an object with a Policy's options, read
// by name (see policy_from_python.hpp).
// False with a Python exception set on a refusal, or when `check`, counting a step a row,
// stopped (with the exception of the signal handler that stopped it).
bool read_day(PyObject* teachers, PyObject* lessons, PyObject* absences, PyObject* resolve_subject, PyObject* policy,
              Day& day, DayObjects& objects, InterruptionCheck& check);

}  // namespace lessoncover::binding
