// What the companion package reads from the core rather than restating it: the rules'
// names, the subjects and their names, the bounds of a day, the words of a plan's
// records, and the checks of a policy. Python's side reads these from _planner.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace lessoncover::binding {

// The core's rule names as a tuple of str in the order of Rule, made once and kept for
// the process; a borrowed reference, NULL with an exception set when it cannot be made.
PyObject* rule_names();

// Adds the contract's constants and functions to the module; -1 with an exception set.
int add_contract(PyObject* module);

}  // namespace lessoncover::binding
