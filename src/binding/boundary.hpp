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

// Sets the Python exception for a core error.
void raise_error(const Error& error);
void raise_panic(const char* message, std::source_location where);
[[noreturn]] void abort_out_of_memory() noexcept;

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
        return body();
    } catch (const std::bad_alloc&) {
        abort_out_of_memory();  // out of memory ends the process
    } catch (const std::exception& failure) {
        raise_panic(failure.what(), std::source_location::current());
    } catch (...) {
        raise_panic("unknown failure", std::source_location::current());
    }
    return failed;
}

}  // namespace lessoncover::binding
