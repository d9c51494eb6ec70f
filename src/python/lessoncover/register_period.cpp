// The module function register_period.
#include "binding/call.hpp"
#include "binding/heap_type.hpp"
#include "binding/owned_ref.hpp"
#include "python/lessoncover/python_types.hpp"
#include "school/school.hpp"

namespace lessoncover::binding {
namespace {

Signature<4> register_period_signature{"register_period", {"teacher", "period", "school", "class"}};

PyObject* register_period_function(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                   PyObject* kwnames) noexcept {
    return call_function<Shared<Teacher>, std::int16_t, Exclusive<School>, Exclusive<Class>>(
        register_period_signature, args, nargs, kwnames,
        [](const Teacher& teacher, std::int16_t period, School& school, Class& school_class) {
            return school.register_period(teacher, period, school_class);
        });
}

PyMethodDef register_period_definition = {
    "register_period",
    fastcall(register_period_function),
    METH_FASTCALL | METH_KEYWORDS,
    "register_period(teacher, period, school, class)\n--\n\n",
};

}  // namespace

PyObject* create_register_period_function(PyObject* module) { return create_module_function(register_period_definition, module); }

}  // namespace lessoncover::binding
