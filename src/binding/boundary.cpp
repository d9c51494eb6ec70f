#include "binding/boundary.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace lessoncover::binding {
namespace {

// Source paths relative to the project, as "src/school/registration.cpp".
const char* project_relative(const char* path) noexcept {
    std::string_view full(path);
    const auto at = full.rfind("src/");
    return at == std::string_view::npos ? path : path + at;
}

// A panic noted on this thread and not raised yet. Only the failure path of a call
// touches it.
struct PendingPanic {
    bool pending = false;
    std::source_location where;
    std::string message;
};

thread_local PendingPanic pending_panic;

void write_diagnostic_and_raise(const char* message, std::source_location where) {
    PySys_FormatStderr("lessoncover: panic at %s:%u: %s\n", project_relative(where.file_name()),
                       static_cast<unsigned>(where.line()), message);
    if (PyObject* type = panic_exception_type()) PyErr_SetString(type, message);
}

PyObject*& panic_type_holder() {
    static PyObject* type = nullptr;  // lives as long as the process
    return type;
}

}  // namespace

PyObject* panic_exception_type() {
    PyObject*& type = panic_type_holder();
    if (type == nullptr) {
        type = PyErr_NewExceptionWithDoc(
            "lessoncover.PanicException",
            "Raised when lessoncover meets a failure it cannot recover from.",
            PyExc_BaseException, nullptr);
    }
    return type;
}

void adopt_panic_exception_type(PyObject* type) {
    PyObject*& held = panic_type_holder();
    if (held == nullptr) held = Py_NewRef(type);
}

void raise_panic(const char* message, std::source_location where) {
    PendingPanic& panic = pending_panic;
    try {
        panic.message = message;
        panic.where = where;
        panic.pending = true;
    } catch (const std::bad_alloc&) {
        write_diagnostic_and_raise(message, where);  // no room to keep it: raised now
    }
}

void raise_pending_panic() noexcept {
    PendingPanic& panic = pending_panic;
    if (!panic.pending) return;
    panic.pending = false;
    // The panic replaces whatever was set before it; writing runs Python code, which must
    // not find an exception set.
    PyErr_Clear();
    write_diagnostic_and_raise(panic.message.c_str(), panic.where);
}

void raise_error(const Error& error) {
    switch (error.kind) {
        case ErrorKind::type_error: {
            // By length: a message quoting user text may hold NUL characters.
            PyObject* message = PyUnicode_FromStringAndSize(
                error.message.data(), static_cast<Py_ssize_t>(error.message.size()));
            if (message != nullptr) {
                PyErr_SetObject(PyExc_TypeError, message);
                Py_DECREF(message);
            }
            return;
        }
        case ErrorKind::panic:
            raise_panic(error.message.c_str(), error.where);
            return;
        case ErrorKind::out_of_memory:
            if (!PyErr_Occurred()) PyErr_NoMemory();
            return;
        case ErrorKind::interrupted:
            return;  // the signal handler's exception is set
    }
}


}  // namespace lessoncover::binding
