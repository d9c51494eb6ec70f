// Heap types made once per process, and module functions: shared by both Python modules.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace lessoncover::binding {

// Creates a heap type from `type_spec` and keeps one reference to it for the life of the
// process in `remembered` (the first one made, should a module be made twice).
PyObject* create_type_for_process(PyType_Spec& type_spec, PyTypeObject*& remembered);

// A function of `module` (so its __module__ is the module's name) from `definition`.
PyObject* create_module_function(PyMethodDef& definition, PyObject* module);

}  // namespace lessoncover::binding
