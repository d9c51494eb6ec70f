// Heap types made once per process, shared by both Python modules' type files.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace lessoncover::binding {

// Creates a heap type from `type_spec` and keeps one reference to it for the life of the
// process in `remembered` (the first one made, should a module be made twice).
PyObject* create_type_for_process(PyType_Spec& type_spec, PyTypeObject*& remembered);

}  // namespace lessoncover::binding
