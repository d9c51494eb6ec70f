// The companion module's one function, plan_day().
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace lessoncover::binding {

PyObject* create_plan_day_function(PyObject* module);

}  // namespace lessoncover::binding
