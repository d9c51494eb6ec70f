// The Python class Class over the class record.
#include "binding/call.hpp"
#include "binding/signal_handlers.hpp"
#include "python/lessoncover/python_types.hpp"
#include "school/class_record.hpp"

namespace lessoncover::binding {
namespace {

Signature<1> constructor_signature{"Class", {"name"}};

PyObject* class_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return call_constructor<Class, std::string_view>(
        constructor_signature, type, args, kwargs,
        [](std::string_view name) -> Result<Class> { return Class{std::string(name)}; });
}

PyObject* class_str(PyObject* self) noexcept {
    return call_on_receiver<Shared<Class>>(
        self, [](const Class& school_class) {
            SignalHandlers signals;
            return printed_text(school_class, signals);
        });
}

PyType_Slot class_slots[] = {
    {Py_tp_doc, const_cast<char*>("Class(name)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(class_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_record_object<Class>)},
    {Py_tp_str, reinterpret_cast<void*>(class_str)},
    {0, nullptr},
};

PyType_Spec class_spec = {
    "lessoncover.Class", sizeof(RecordObject<Class>), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, class_slots,
};

}  // namespace

PyObject* create_class_type() { return create_type_for_process(class_spec, python_type<Class>); }

}  // namespace lessoncover::binding
