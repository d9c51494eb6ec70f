#include "binding/arguments.hpp"

#include <cstring>
#include <limits>
#include <string>

#include "binding/owned_ref.hpp"

namespace lessoncover::binding {
namespace {

bool intern_names(ParameterNames parameters) {
    for (std::size_t i = 0; i < parameters.names.size(); ++i) {
        if (parameters.interned[i] != nullptr) continue;
        PyObject* name = PyUnicode_InternFromString(parameters.names[i]);
        if (name == nullptr) return false;
        parameters.interned[i] = name;  // kept for the life of the process
    }
    return true;
}

// Index of the parameter called `keyword`, or -1. Interned names usually match by identity.
Py_ssize_t find_parameter(ParameterNames parameters, PyObject* keyword) {
    for (std::size_t i = 0; i < parameters.interned.size(); ++i) {
        if (parameters.interned[i] == keyword) return static_cast<Py_ssize_t>(i);
    }
    if (!PyUnicode_Check(keyword)) return -1;
    for (std::size_t i = 0; i < parameters.interned.size(); ++i) {
        if (PyUnicode_Compare(parameters.interned[i], keyword) == 0) return static_cast<Py_ssize_t>(i);
    }
    return -1;
}

bool take_positional(ParameterNames parameters, Py_ssize_t nargs, PyObject* const* args,
                     PyObject** slots) {
    const auto count = static_cast<Py_ssize_t>(parameters.names.size());
    if (nargs > count) {
        PyErr_Format(PyExc_TypeError, "%s() takes %zd positional argument%s but %zd %s given",
                     parameters.member, count, count == 1 ? "" : "s", nargs,
                     nargs == 1 ? "was" : "were");
        return false;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) slots[i] = args[i];
    return true;
}

bool take_keyword(ParameterNames parameters, PyObject* keyword, PyObject* value, PyObject** slots) {
    const Py_ssize_t index = find_parameter(parameters, keyword);
    if (index < 0) {
        PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%S'",
                     parameters.member, keyword);
        return false;
    }
    if (slots[index] != nullptr) {
        PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'",
                     parameters.member, parameters.names[index]);
        return false;
    }
    slots[index] = value;
    return true;
}

bool check_all_given(ParameterNames parameters, PyObject* const* slots) {
    std::string missing;
    std::size_t missing_count = 0;
    for (std::size_t i = 0; i < parameters.names.size(); ++i) {
        if (slots[i] != nullptr) continue;
        if (missing_count++ > 0) missing += ", ";
        missing += '\'';
        missing += parameters.names[i];
        missing += '\'';
    }
    if (missing_count == 0) return true;
    PyErr_Format(PyExc_TypeError, "%s() missing %zu required argument%s: %s", parameters.member,
                 missing_count, missing_count == 1 ? "" : "s", missing.c_str());
    return false;
}

// Says which parameter could not be converted, keeping the interpreter's reason.
void prefix_type_error(const char* parameter) {
#if PY_VERSION_HEX >= 0x030C0000
    OwnedRef reason = OwnedRef::steal(PyErr_GetRaisedException());
#else
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    OwnedRef reason = OwnedRef::steal(value);
    Py_XDECREF(type);
    Py_XDECREF(traceback);
#endif
    PyErr_Format(PyExc_TypeError, "argument '%s': %S", parameter, reason.get());
}

}  // namespace

bool bind_fastcall(ParameterNames parameters, PyObject* const* args, Py_ssize_t nargs,
                   PyObject* kwnames, PyObject** slots) {
    if (!intern_names(parameters) || !take_positional(parameters, nargs, args, slots)) return false;
    if (kwnames != nullptr) {
        const Py_ssize_t keyword_count = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t i = 0; i < keyword_count; ++i) {
            if (!take_keyword(parameters, PyTuple_GET_ITEM(kwnames, i), args[nargs + i], slots)) {
                return false;
            }
        }
    }
    return check_all_given(parameters, slots);
}

bool bind_tuple_and_dict(ParameterNames parameters, PyObject* args, PyObject* kwargs,
                         PyObject** slots) {
    if (!intern_names(parameters) ||
        !take_positional(parameters, PyTuple_GET_SIZE(args), &PyTuple_GET_ITEM(args, 0), slots)) {
        return false;
    }
    if (kwargs != nullptr) {
        Py_ssize_t position = 0;
        PyObject* keyword = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(kwargs, &position, &keyword, &value)) {
            if (!take_keyword(parameters, keyword, value, slots)) return false;
        }
    }
    return check_all_given(parameters, slots);
}

void raise_conversion_error(const char* parameter, PyObject* given, const char* expected) {
    PyErr_Format(PyExc_TypeError, "argument '%s': expected %s, got '%s'", parameter, expected,
                 Py_TYPE(given)->tp_name);
}

bool check_record_argument(PyObject* argument, PyTypeObject* type, const char* parameter) {
    if (PyObject_TypeCheck(argument, type)) return true;
    const char* dot = std::strrchr(type->tp_name, '.');
    raise_conversion_error(parameter, argument, dot != nullptr ? dot + 1 : type->tp_name);
    return false;
}

bool Converter<std::string_view>::load_general(std::optional<Held>& out, PyObject* argument,
                                               const char* parameter) {
    if (!PyUnicode_Check(argument)) {
        raise_conversion_error(parameter, argument, "str");
        return false;
    }
    Py_ssize_t size = 0;
    // The UTF-8 form is cached in the str object, which outlives the call.
    const char* utf8 = PyUnicode_AsUTF8AndSize(argument, &size);
    if (utf8 == nullptr) return false;  // a lone surrogate: UnicodeEncodeError is set
    out.emplace(utf8, static_cast<std::size_t>(size));
    return true;
}

bool Converter<std::int16_t>::load_general(std::optional<Held>& out, PyObject* argument,
                                           const char* parameter) {
    long value = 0;
    if (PyLong_CheckExact(argument)) {
        value = PyLong_AsLong(argument);
    } else {
        OwnedRef index = OwnedRef::steal(PyNumber_Index(argument));
        if (!index) {
            if (PyErr_ExceptionMatches(PyExc_TypeError)) {
                prefix_type_error(parameter);
            }
            return false;
        }
        value = PyLong_AsLong(index.get());
    }
    if (value == -1 && PyErr_Occurred()) return false;  // OverflowError from a huge int
    if (value < std::numeric_limits<std::int16_t>::min() ||
        value > std::numeric_limits<std::int16_t>::max()) {
        PyErr_SetString(PyExc_OverflowError, "value does not fit a signed 16-bit integer");
        return false;
    }
    out.emplace(static_cast<std::int16_t>(value));
    return true;
}

bool Converter<std::int64_t>::load(std::optional<Held>& out, PyObject* argument, const char* parameter) {
    OwnedRef index = OwnedRef::steal(PyNumber_Index(argument));
    if (!index) {
        if (PyErr_ExceptionMatches(PyExc_TypeError)) prefix_type_error(parameter);
        return false;
    }
    const long long value = PyLong_AsLongLong(index.get());
    if (value == -1 && PyErr_Occurred()) return false;  // OverflowError from a huge int
    out.emplace(static_cast<std::int64_t>(value));
    return true;
}

bool Converter<bool>::load(std::optional<Held>& out, PyObject* argument, const char* parameter) {
    if (argument == Py_True || argument == Py_False) {
        out.emplace(argument == Py_True);
        return true;
    }
    raise_conversion_error(parameter, argument, "bool");
    return false;
}

}  // namespace lessoncover::binding
