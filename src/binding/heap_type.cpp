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

}  // namespace lessoncover::binding
