// The one road every published member takes: bind the arguments, borrow the receiver,
// convert the arguments in parameter order, run the body, release every borrow, and
// turn the body's result (or error) into a Python object (or exception).
#pragma once

#include <string>
#include <tuple>
#include <utility>

#include "binding/arguments.hpp"
#include "binding/boundary.hpp"

namespace lessoncover::binding {

// A METH_FASTCALL | METH_KEYWORDS function as a PyMethodDef holds it.
template <class Function>
PyCFunction fastcall(Function function) noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

// A new reference that a body hands out as it is (NULL with an exception set on failure).
struct NewReference {
    PyObject* object;
};

inline PyObject* to_python(Done) noexcept { Py_RETURN_NONE; }
inline PyObject* to_python(bool value) noexcept { return Py_NewRef(value ? Py_True : Py_False); }
inline PyObject* to_python(NewReference reference) noexcept { return reference.object; }
inline PyObject* to_python(std::string_view text) noexcept {
    return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

template <class T>
PyObject* to_python(Result<T>&& result) {
    if (!result.ok()) {
        raise_error(result.error());
        return nullptr;
    }
    return to_python(std::move(result).value());
}

// Runs `body` and converts what it returns; a body returning nothing gives None.
template <class Body, class... Args>
PyObject* run_body(Body& body, Args&&... args) {
    if constexpr (std::is_void_v<std::invoke_result_t<Body&, Args...>>) {
        body(std::forward<Args>(args)...);
        Py_RETURN_NONE;
    } else {
        return to_python(body(std::forward<Args>(args)...));
    }
}

// Converts the bound arguments in parameter order (the first failure ends the call) and
// hands them to `run`; everything converted is released when this returns.
template <class... Params, std::size_t... I, class Run>
PyObject* convert_then([[maybe_unused]] ParameterNames parameters, [[maybe_unused]] PyObject* const* slots,
                       std::index_sequence<I...>, Run&& run) {
    std::tuple<std::optional<typename Converter<Params>::Held>...> held;
    const bool converted =
        (Converter<Params>::load(std::get<I>(held), slots[I], parameters.names[I]) && ...);
    if (!converted) return nullptr;
    return run(Converter<Params>::get(*std::get<I>(held))...);
}

// Access to the receiver of a method, as Shared<Record> or Exclusive<Record>.
template <class Access>
struct Receiver;

template <class Record>
struct Receiver<Shared<Record>> {
    using Held = SharedBorrow<Record>;
};

template <class Record>
struct Receiver<Exclusive<Record>> {
    using Held = ExclusiveBorrow<Record>;
};

template <class Access>
bool acquire_receiver(std::optional<typename Receiver<Access>::Held>& held, PyObject* self) {
    using Held = typename Receiver<Access>::Held;
    using Record = std::remove_cvref_t<decltype(std::declval<Held&>().record())>;
    if (!is_instance<Record>(self)) {
        PyErr_Format(PyExc_TypeError, "descriptor requires a '%s' object", python_type<Record>->tp_name);
        return false;
    }
    return Held::acquire(held, self);
}

// A method with parameters (METH_FASTCALL | METH_KEYWORDS).
template <class Access, class... Params, std::size_t N, class Body>
PyObject* call_method(Signature<N>& signature, PyObject* self, PyObject* const* args,
                      Py_ssize_t nargs, PyObject* kwnames, Body body) noexcept {
    static_assert(N == sizeof...(Params));
    return boundary([&]() -> PyObject* {
        std::array<PyObject*, N> slots{};
        if (!bind_arguments(signature.parameters(), args, nargs, kwnames, slots.data())) return nullptr;
        std::optional<typename Receiver<Access>::Held> receiver;
        if (!acquire_receiver<Access>(receiver, self)) return nullptr;
        return convert_then<Params...>(
            signature.parameters(), slots.data(), std::index_sequence_for<Params...>{},
            [&](auto&&... converted) { return run_body(body, receiver->record(), converted...); });
    });
}

// A method without parameters (METH_NOARGS), a property read, or a slot such as str().
template <class Access, class Body>
PyObject* call_on_receiver(PyObject* self, Body body) noexcept {
    return boundary([&]() -> PyObject* {
        std::optional<typename Receiver<Access>::Held> receiver;
        if (!acquire_receiver<Access>(receiver, self)) return nullptr;
        return run_body(body, receiver->record());
    });
}

// The same, for a body that works on the receiver's Python object rather than its record
// (to keep Python objects made from the record's texts).
template <class Access, class Body>
PyObject* call_on_receiver_object(PyObject* self, Body body) noexcept {
    return boundary([&]() -> PyObject* {
        std::optional<typename Receiver<Access>::Held> receiver;
        if (!acquire_receiver<Access>(receiver, self)) return nullptr;
        using Record = std::remove_cvref_t<decltype(receiver->record())>;
        return run_body(body, *as_record_object<Record>(self));
    });
}

// A property write: deletion is refused first, then the value converted, then the
// receiver borrowed exclusively.
template <class Record, class Param, class Body>
int call_setter(PyObject* self, PyObject* value, const char* name, Body body) noexcept {
    return boundary([&]() -> int {
        if (value == nullptr) {
            PyErr_SetString(PyExc_AttributeError, "can't delete attribute");
            return -1;
        }
        std::optional<typename Converter<Param>::Held> converted;
        if (!Converter<Param>::load(converted, value, name)) return -1;
        std::optional<ExclusiveBorrow<Record>> receiver;
        if (!acquire_receiver<Exclusive<Record>>(receiver, self)) return -1;
        body(receiver->record(), Converter<Param>::get(*converted));
        return 0;
    });
}

// A module-level function.
template <class... Params, std::size_t N, class Body>
PyObject* call_function(Signature<N>& signature, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames, Body body) noexcept {
    static_assert(N == sizeof...(Params));
    return boundary([&]() -> PyObject* {
        std::array<PyObject*, N> slots{};
        if (!bind_arguments(signature.parameters(), args, nargs, kwnames, slots.data())) return nullptr;
        return convert_then<Params...>(
            signature.parameters(), slots.data(), std::index_sequence_for<Params...>{},
            [&](auto&&... converted) { return run_body(body, converted...); });
    });
}

// A constructor (tp_new): arguments are bound and converted, the body builds the record,
// and only then is the object allocated.
template <class Record, class... Params, std::size_t N, class Body>
PyObject* call_constructor(Signature<N>& signature, PyTypeObject* type, PyObject* args,
                           PyObject* kwargs, Body body) noexcept {
    static_assert(N == sizeof...(Params));
    return boundary([&]() -> PyObject* {
        std::array<PyObject*, N> slots{};
        if (!bind_tuple_and_dict(signature.parameters(), args, kwargs, slots.data())) return nullptr;
        return convert_then<Params...>(
            signature.parameters(), slots.data(), std::index_sequence_for<Params...>{},
            [&](auto&&... converted) -> PyObject* {
                Result<Record> built = body(converted...);
                if (!built.ok()) {
                    raise_error(built.error());
                    return nullptr;
                }
                return new_record_object<Record>(type, std::move(built).value());
            });
    });
}

}  // namespace lessoncover::binding
