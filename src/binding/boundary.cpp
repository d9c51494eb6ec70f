#include "binding/boundary.hpp"

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace lessoncover::binding {
namespace {

// Source paths relative to the project, as "src/school/registration.cpp".
const char* project_relative(const char* path) noexcept {
    std::string_view full(path);
    const auto at = full.rfind("src/");
    return at == std::string_view::npos ? path : path + at;
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
    PySys_FormatStderr("lessoncover: panic at %s:%u: %s\n", project_relative(where.file_name()),
                       static_cast<unsigned>(where.line()), message);
    if (PyObject* type = panic_exception_type()) PyErr_SetString(type, message);
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
    }
}

void abort_out_of_memory() noexcept {
    std::fputs("lessoncover: out of memory\n", stderr);
    std::abort();
}

}  // namespace lessoncover::binding
