#include "binding/heap_type.hpp"

namespace lessoncover::binding {

PyObject* create_type_for_process(PyType_Spec& type_spec, PyTypeObject*& remembered) {
    PyObject* type = PyType_FromSpec(&type_spec);
    if (type == nullptr) return nullptr;
    if (remembered == nullptr) {
        remembered = reinterpret_cast<PyTypeObject*>(Py_NewRef(type));  // kept for the process
    }
    return type;
}

PyObject* create_module_function(PyMethodDef& definition, PyObject* module) {
    PyObject* module_name = PyModule_GetNameObject(module);
    if (module_name == nullptr) return nullptr;
    PyObject* function = PyCFunction_NewEx(&definition, module, module_name);
    Py_DECREF(module_name);
    return function;
}

}  // namespace lessoncover::binding
