// Converters for arguments that stay Python objects: a list, a dict, a callable. The body
// gets a borrowed reference, kept alive by the caller for the call.
#pragma once

#include "binding/arguments.hpp"

namespace lessoncover::binding {

struct ListArgument {
    PyObject* object;
};
struct DictArgument {
    PyObject* object;
};
struct CallableArgument {
    PyObject* object;
};

template <>
struct Converter<ListArgument> {
    using Held = ListArgument;
    static bool load(std::optional<Held>& out, PyObject* argument, const char* parameter) {
        if (!PyList_Check(argument)) {
            raise_conversion_error(parameter, argument, "list");
            return false;
        }
        out.emplace(ListArgument{argument});
        return true;
    }
    static ListArgument get(Held& held) noexcept { return held; }
};

template <>
struct Converter<DictArgument> {
    using Held = DictArgument;
    static bool load(std::optional<Held>& out, PyObject* argument, const char* parameter) {
        if (!PyDict_Check(argument)) {
            raise_conversion_error(parameter, argument, "dict");
            return false;
        }
        out.emplace(DictArgument{argument});
        return true;
    }
    static DictArgument get(Held& held) noexcept { return held; }
};

template <>
struct Converter<CallableArgument> {
    using Held = CallableArgument;
    static bool load(std::optional<Held>& out, PyObject* argument, const char* parameter) {
        if (!PyCallable_Check(argument)) {
            raise_conversion_error(parameter, argument, "callable");
            return false;
        }
        out.emplace(CallableArgument{argument});
        return true;
    }
    static CallableArgument get(Held& held) noexcept { return held; }
};

}  // namespace lessoncover::binding
