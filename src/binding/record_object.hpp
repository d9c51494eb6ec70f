// The Python object that owns one record by value, with the borrow state that keeps
// re-entrant calls from reading a record while another call changes it.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <new>
#include <utility>

namespace lessoncover::binding {

// Free (0), shared by n readers (n > 0), or held by one writer (-1).
struct BorrowState {
    Py_ssize_t holders = 0;
};

template <class Record>
struct RecordObject {
    PyObject ob_base;
    BorrowState borrow;
    // A str made once from a text of the record that never changes (a teacher's name),
    // handed out again on later reads; NULL until first asked for.
    PyObject* text_cache;
    Record record;
};

// The Python type of each record kind, created when the module initialises.
template <class Record>
inline PyTypeObject* python_type = nullptr;

template <class Record>
RecordObject<Record>* as_record_object(PyObject* object) noexcept {
    return reinterpret_cast<RecordObject<Record>*>(object);
}

template <class Record>
bool is_instance(PyObject* object) noexcept {
    return python_type<Record> != nullptr && PyObject_TypeCheck(object, python_type<Record>);
}

// Allocates an instance of `type` and moves the record into it; NULL with the
// interpreter's error set when allocation fails (the record is then dropped).
template <class Record>
PyObject* new_record_object(PyTypeObject* type, Record&& record) {
    PyObject* object = type->tp_alloc(type, 0);
    if (object == nullptr) return nullptr;
    auto* typed = as_record_object<Record>(object);
    new (&typed->borrow) BorrowState{};
    typed->text_cache = nullptr;
    new (&typed->record) Record(std::move(record));
    return object;
}

// Records release only memory, so freeing cannot fail.
template <class Record>
void dealloc_record_object(PyObject* object) noexcept {
    PyTypeObject* type = Py_TYPE(object);
    Py_CLEAR(as_record_object<Record>(object)->text_cache);
    as_record_object<Record>(object)->record.~Record();
    type->tp_free(object);
    Py_DECREF(type);  // instances of heap types own a reference to their type
}

}  // namespace lessoncover::binding
