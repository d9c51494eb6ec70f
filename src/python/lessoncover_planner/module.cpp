// The native part of lessoncover_planner: the module lessoncover_planner._planner. It plans
// with the same core as lessoncover, and raises lessoncover's PanicException, not a class
// of its own.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "binding/boundary.hpp"
#include "binding/owned_ref.hpp"
#include "python/lessoncover_planner/contract.hpp"
#include "python/lessoncover_planner/plan_day.hpp"

namespace lessoncover::binding {
namespace {

int exec_module(PyObject* module) {
    OwnedRef lessoncover = OwnedRef::steal(PyImport_ImportModule("lessoncover"));
    if (!lessoncover) return -1;
    OwnedRef panic = OwnedRef::steal(PyObject_GetAttrString(lessoncover.get(), "PanicException"));
    if (!panic) return -1;
    adopt_panic_exception_type(panic.get());
    OwnedRef plan_day = OwnedRef::steal(create_plan_day_function(module));
    if (!plan_day) return -1;
    if (PyModule_AddObjectRef(module, "plan_day", plan_day.get()) < 0) return -1;
    return add_contract(module);
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "lessoncover_planner._planner",
    "The native part of lessoncover_planner: plan_day(), and the facts of the core that the\n"
    "package reads rather than restates.",
    0,
    nullptr, module_slots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace lessoncover::binding

PyMODINIT_FUNC PyInit__planner(void) { return PyModuleDef_Init(&lessoncover::binding::module_definition); }
