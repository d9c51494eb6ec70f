#include "binding/attributes.hpp"

namespace lessoncover::binding {

OwnedRef attribute(PyObject* object, const char* name) {
    OwnedRef value = OwnedRef::steal(PyObject_GetAttrString(object, name));
    if (!value && PyErr_ExceptionMatches(PyExc_AttributeError)) {
        // A missing option is the object's shape at fault, as any other wrong type.
        PyErr_Clear();
        PyErr_Format(PyExc_TypeError, "%s: the %s object has no such attribute", name, Py_TYPE(object)->tp_name);
    }
    return value;
}

bool read_attribute(PyObject* object, const char* name, bool& out) {
    const OwnedRef value = attribute(object, name);
    if (!value) return false;
    if (!PyBool_Check(value.get())) {
        PyErr_Format(PyExc_TypeError, "%s must be a bool, got %R", name, value.get());
        return false;
    }
    out = value.get() == Py_True;
    return true;
}

OwnedRef iterable_snapshot(PyObject* value) {
    if (PyTuple_CheckExact(value)) return OwnedRef::borrow(value);
    if (PyUnicode_Check(value) || PyBytes_Check(value) ||
        (Py_TYPE(value)->tp_iter == nullptr && !PySequence_Check(value))) {
        return OwnedRef();
    }
    return OwnedRef::steal(PySequence_Tuple(value));
}

OwnedRef mapping_snapshot(PyObject* value) {
    OwnedRef items;
    if (PyDict_Check(value)) {
        items = OwnedRef::steal(PyDict_Items(value));
    } else if (Py_IS_TYPE(value, &PyDictProxy_Type)) {
        // The view's items() is its mapping's, which may be any object: check what it gave.
        items = OwnedRef::steal(PyMapping_Items(value));
    } else {
        return OwnedRef();
    }
    if (!items) return items;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items.get()); ++i) {
        PyObject* item = PyList_GET_ITEM(items.get(), i);
        if (!PyTuple_Check(item) || PyTuple_GET_SIZE(item) != 2) {
            PyErr_Format(PyExc_TypeError, "a mapping's items must be (key, value) pairs, got %R", item);
            return OwnedRef();
        }
    }
    return items;
}

}  // namespace lessoncover::binding
