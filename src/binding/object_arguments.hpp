// Converters for arguments that stay Python objects: a list, a dict, a callable. The body
// gets a borrowed reference, kept alive by the caller for the call.
#pragma once

#include "binding/arguments.hpp"

namespace lessoncover::binding {

// An argument accepted when `accepts(object)` holds, refused as not being `expected`.
template <int (*accepts)(PyObject*), const char* expected>
struct ObjectArgument {
    PyObject* object;
};

inline constexpr char kList[] = "list";
inline constexpr char kDict[] = "dict";
inline constexpr char kCallable[] = "callable";
inline constexpr char kObject[] = "object";

inline int is_list(PyObject* object) { return PyList_Check(object); }
inline int is_dict(PyObject* object) { return PyDict_Check(object); }
inline int is_anything(PyObject*) { return 1; }

using ListArgument = ObjectArgument<is_list, kList>;
using DictArgument = ObjectArgument<is_dict, kDict>;
using CallableArgument = ObjectArgument<PyCallable_Check, kCallable>;
// Any object, for a body that reads it by its attributes.
using AnyArgument = ObjectArgument<is_anything, kObject>;

template <int (*accepts)(PyObject*), const char* expected>
struct Converter<ObjectArgument<accepts, expected>> {
    using Held = ObjectArgument<accepts, expected>;
    static bool load(std::optional<Held>& out, PyObject* argument, const char* parameter) {
        if (!accepts(argument)) {
            raise_conversion_error(parameter, argument, expected);
            return false;
        }
        out.emplace(Held{argument});
        return true;
    }
    static Held get(Held& held) noexcept { return held; }
};

}  // namespace lessoncover::binding
