// The module lessoncover: created once per process, published in a fixed order, and
// refused in any interpreter but the one that first imported it.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "binding/boundary.hpp"
#include "binding/owned_ref.hpp"
#include "python/lessoncover/python_types.hpp"

namespace lessoncover::binding {
namespace {

// The module and the interpreter it belongs to, kept for the life of the process.
struct ModuleHolder {
    PyObject* module = nullptr;
    std::int64_t interpreter = -1;
};

ModuleHolder& module_holder() {
    static ModuleHolder* holder = new ModuleHolder();  // never destroyed
    return *holder;
}

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "lessoncover",
    "",  // the module's docstring is present and empty
    0,   // no per-module state; a size of 0 makes every import reach PyInit_lessoncover
    nullptr, nullptr, nullptr, nullptr, nullptr,
};

// Appends `name` to __all__ (created when missing), then sets the attribute.
bool publish(PyObject* module, const char* name, OwnedRef member) {
    if (!member) return false;
    PyObject* dict = PyModule_GetDict(module);
    PyObject* all = PyDict_GetItemString(dict, "__all__");
    if (all == nullptr) {
        OwnedRef created = OwnedRef::steal(PyList_New(0));
        if (!created || PyDict_SetItemString(dict, "__all__", created.get()) < 0) return false;
        all = created.get();
    }
    OwnedRef name_object = OwnedRef::steal(PyUnicode_FromString(name));
    if (!name_object || PyList_Append(all, name_object.get()) < 0) return false;
    return PyModule_AddObjectRef(module, name, member.get()) == 0;
}

PyObject* create_module() {
    OwnedRef module = OwnedRef::steal(PyModule_Create(&module_definition));
    if (!module) return nullptr;
    PyObject* m = module.get();
    const bool published = publish(m, "Teacher", OwnedRef::steal(create_teacher_type())) &&
                           publish(m, "School", OwnedRef::steal(create_school_type())) &&
                           publish(m, "Class", OwnedRef::steal(create_class_type())) &&
                           publish(m, "register_period",
                                   OwnedRef::steal(create_register_period_function(m)));
    if (!published) return nullptr;
    // Reachable by name for scripts that catch it, but not part of __all__.
    PyObject* panic_type = panic_exception_type();
    if (panic_type == nullptr || PyModule_AddObjectRef(m, "PanicException", panic_type) < 0) {
        return nullptr;
    }
    return module.release();
}

}  // namespace

}  // namespace lessoncover::binding

PyMODINIT_FUNC PyInit_lessoncover(void) {
    using lessoncover::binding::module_holder;
    auto& holder = module_holder();
    const std::int64_t interpreter = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (interpreter < 0) return nullptr;
    if (holder.module != nullptr) {
        if (interpreter != holder.interpreter) {
            PyErr_SetString(PyExc_ImportError,
                            "lessoncover does not support sub-interpreters: it was already "
                            "initialised in another interpreter of this process");
            return nullptr;
        }
        return Py_NewRef(holder.module);
    }
    PyObject* module = lessoncover::binding::create_module();
    if (module == nullptr) return nullptr;
    holder.module = Py_NewRef(module);
    holder.interpreter = interpreter;
    return module;
}
