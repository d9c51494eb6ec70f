// Where failures cross into Python. A body's designed error becomes the exception its
// rule names; any other failure becomes PanicException, after a diagnostic on stderr.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <new>
#include <source_location>
#include <type_traits>

#include "result.hpp"

namespace lessoncover::binding {

// The exception type for broken expectations, created on first use; a direct subclass
// of BaseException so that `except Exception` does not swallow it. Borrowed reference.
PyObject* panic_exception_type();
// Makes `type` the one panic_exception_type() gives, unless one is made already: a second
// extension module raises the first one's class rather than a class of its own.
void adopt_panic_exception_type(PyObject* type);

// Sets the Python exception for a core error (a panic's once boundary() is done).
void raise_error(const Error& error);
// Notes a panic for raise_pending_panic().
void raise_panic(const char* message, std::source_location where);
// Writes the diagnostic of the panic noted on this thread, if any, to sys.stderr, then
// raises PanicException. boundary() calls it once the call's borrows are released:
// writing to sys.stderr runs Python code, which can let other threads run, and they
// would find the call's objects still borrowed.
void raise_pending_panic() noexcept;

// Runs `body`, a slot's work that returns a PyObject* (NULL on error) or an int status
// (-1 on error). No C++ exception leaves a slot.
template <class Body>
auto boundary(Body&& body) noexcept -> std::invoke_result_t<Body&> {
    using Return = std::invoke_result_t<Body&>;
    static_assert(std::is_same_v<Return, PyObject*> || std::is_same_v<Return, int>);
    constexpr Return failed = [] {
        if constexpr (std::is_same_v<Return, int>) return -1;
        else return static_cast<PyObject*>(nullptr);
    }();
    try {
        // The body's borrows and converted arguments are its own locals: gone by now.
        const Return result = body();
        if (result == failed) [[unlikely]] raise_pending_panic();
        return result;
    } catch (const std::bad_alloc&) {
        // Every member leaves its objects as they were when memory runs out, so this is a
        // MemoryError like any other, not the end of the user's interpreter.
        if (!PyErr_Occurred()) PyErr_NoMemory();
    } catch (const std::exception& failure) {
        raise_panic(failure.what(), std::source_location::current());
    } catch (...) {
        raise_panic("unknown failure", std::source_location::current());
    }
    raise_pending_panic();
    return failed;
}

}  // namespace lessoncover::binding
