// Binding of call arguments to parameter names, and conversion of each argument to what
// a member's body takes. Every member goes through these; none parses arguments by hand.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string_view>

#include "binding/borrow.hpp"

namespace lessoncover::binding {

// The parameters of one member, with their names interned on first use.
struct ParameterNames {
    const char* member;                   // "add_period", "Teacher", ...
    std::span<const char* const> names;   // in parameter order
    std::span<PyObject*> interned;        // filled lazily, kept for the process
};

template <std::size_t N>
struct Signature {
    const char* member;
    std::array<const char*, N> names;
    std::array<PyObject*, N> interned{};

    ParameterNames parameters() noexcept { return {member, names, interned}; }
};

// Fills slots[i] with the argument of parameter i (a borrowed reference): positional
// arguments first, then keywords. Reports too many, unknown, repeated and missing
// arguments as TypeError naming the member.
bool bind_fastcall(ParameterNames parameters, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames, PyObject** slots);
// The same, with the common call, every argument by position, bound on the spot.
inline bool bind_arguments(ParameterNames parameters, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames, PyObject** slots) {
    if (kwnames == nullptr && static_cast<std::size_t>(nargs) == parameters.names.size()) {
        for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = args[i];
        return true;
    }
    return bind_fastcall(parameters, args, nargs, kwnames, slots);
}
bool bind_tuple_and_dict(ParameterNames parameters, PyObject* args, PyObject* kwargs,
                         PyObject** slots);

// Sets a conversion TypeError: "argument 'NAME': <what was given and expected>".
void raise_conversion_error(const char* parameter, PyObject* given, const char* expected);

// What a body receives for a parameter, and how it is made from the Python argument.
// Each Converter<T> has `Held` (kept alive for the call), `load` and `get`.
template <class T>
struct Converter;

// Each converter takes the common case (an ASCII str, a small int) inline and leaves
// everything else, errors included, to its general path.
template <>
struct Converter<std::string_view> {
    using Held = std::string_view;
    static bool load(std::optional<Held>& out, PyObject* argument, const char* parameter) {
        if (PyUnicode_Check(argument) && PyUnicode_IS_COMPACT_ASCII(argument)) {
            // ASCII is its own UTF-8; the str outlives the call.
            out.emplace(static_cast<const char*>(PyUnicode_DATA(argument)),
                        static_cast<std::size_t>(PyUnicode_GET_LENGTH(argument)));
            return true;
        }
        return load_general(out, argument, parameter);
    }
    static bool load_general(std::optional<Held>& out, PyObject* argument, const char* parameter);
    static std::string_view get(Held& held) noexcept { return held; }
};

template <>
struct Converter<std::int16_t> {
    using Held = std::int16_t;
    static bool load(std::optional<Held>& out, PyObject* argument, const char* parameter) {
        if (PyLong_CheckExact(argument)) {
            int overflow = 0;
            const long value = PyLong_AsLongAndOverflow(argument, &overflow);
            if (overflow == 0 && value >= std::numeric_limits<std::int16_t>::min() &&
                value <= std::numeric_limits<std::int16_t>::max()) {
                out.emplace(static_cast<std::int16_t>(value));
                return true;
            }
        }
        return load_general(out, argument, parameter);
    }
    static bool load_general(std::optional<Held>& out, PyObject* argument, const char* parameter);
    static std::int16_t get(Held& held) noexcept { return held; }
};

// Any int (or object with __index__) that fits 64 bits; OverflowError beyond.
template <>
struct Converter<std::int64_t> {
    using Held = std::int64_t;
    static bool load(std::optional<Held>& out, PyObject* argument, const char* parameter);
    static std::int64_t get(Held& held) noexcept { return held; }
};

template <>
struct Converter<bool> {
    using Held = bool;
    static bool load(std::optional<Held>& out, PyObject* argument, const char* parameter);
    static bool get(Held& held) noexcept { return held; }
};

// A record object of the module, read under a shared borrow.
template <class Record>
struct Shared {};
// A record object of the module, changed under an exclusive borrow.
template <class Record>
struct Exclusive {};
// A copy of a record object's record, taken under a shared borrow.
template <class Record>
struct Copied {};

bool check_record_argument(PyObject* argument, PyTypeObject* type, const char* parameter);
inline bool is_record_argument(PyObject* argument, PyTypeObject* type, const char* parameter) {
    return Py_IS_TYPE(argument, type) || check_record_argument(argument, type, parameter);
}

template <class Record>
struct Converter<Shared<Record>> {
    using Held = SharedBorrow<Record>;
    static bool load(std::optional<Held>& out, PyObject* argument, const char* parameter) {
        return is_record_argument(argument, python_type<Record>, parameter) &&
               Held::acquire(out, argument);
    }
    static const Record& get(Held& held) noexcept { return held.record(); }
};

template <class Record>
struct Converter<Exclusive<Record>> {
    using Held = ExclusiveBorrow<Record>;
    static bool load(std::optional<Held>& out, PyObject* argument, const char* parameter) {
        return is_record_argument(argument, python_type<Record>, parameter) &&
               Held::acquire(out, argument);
    }
    static Record& get(Held& held) noexcept { return held.record(); }
};

template <class Record>
struct Converter<Copied<Record>> {
    using Held = Record;
    static bool load(std::optional<Held>& out, PyObject* argument, const char* parameter) {
        std::optional<SharedBorrow<Record>> borrow;
        if (!check_record_argument(argument, python_type<Record>, parameter) ||
            !SharedBorrow<Record>::acquire(borrow, argument)) {
            return false;
        }
        out.emplace(borrow->record());
        return true;
    }
    static Record& get(Held& held) noexcept { return held; }
};

}  // namespace lessoncover::binding
