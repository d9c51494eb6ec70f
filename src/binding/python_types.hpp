// Creation of the module's Python types, one function per published class. Each returns a
// new reference (NULL with an exception set) and remembers the type for argument checks.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace lessoncover::binding {

PyObject* create_teacher_type();
PyObject* create_class_type();
PyObject* create_school_type();
PyObject* create_register_period_function(PyObject* module);

// Creates a heap type from `type_spec` and keeps one reference to it for the life of the process.
PyObject* create_type_for_process(PyType_Spec& type_spec, PyTypeObject*& remembered);

}  // namespace lessoncover::binding
