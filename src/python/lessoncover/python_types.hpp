// Creation of the module's Python types, one function per published class. Each returns a
// new reference (NULL with an exception set) and remembers the type for argument checks.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "binding/heap_type.hpp"

namespace lessoncover::binding {

PyObject* create_teacher_type();
PyObject* create_class_type();
PyObject* create_school_type();
PyObject* create_register_period_function(PyObject* module);

}  // namespace lessoncover::binding
