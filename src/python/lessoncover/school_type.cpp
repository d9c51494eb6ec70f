// The Python class School over the school registry.
#include "binding/call.hpp"
#include "binding/signal_handlers.hpp"
#include "python/lessoncover/python_types.hpp"
#include "binding/text_sink.hpp"
#include "school/school.hpp"

namespace lessoncover::binding {
namespace {

Signature<0> constructor_signature{"School", {}};
Signature<1> add_teacher_signature{"add_teacher", {"teacher"}};
Signature<1> add_class_signature{"add_class", {"class"}};
Signature<2> add_to_hashmap_signature{"add_to_hashmap", {"name", "teacher"}};

PyObject* school_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return call_constructor<School>(constructor_signature, type, args, kwargs,
                                    []() -> Result<School> { return School{}; });
}

PyObject* school_add_teacher(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) noexcept {
    return call_method<Exclusive<School>, Shared<Teacher>>(
        add_teacher_signature, self, args, nargs, kwnames,
        [](School& school, const Teacher& teacher) { school.add_teacher(teacher); });
}

PyObject* school_add_class(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) noexcept {
    return call_method<Exclusive<School>, Shared<Class>>(
        add_class_signature, self, args, nargs, kwnames,
        [](School& school, const Class& school_class) {
            SignalHandlers signals;
            return school.add_class(school_class, signals);
        });
}

PyObject* school_add_to_hashmap(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames) noexcept {
    return call_method<Exclusive<School>, std::string_view, Copied<Teacher>>(
        add_to_hashmap_signature, self, args, nargs, kwnames,
        [](School& school, std::string_view name, Teacher& teacher) {
            school.file_unlisted(name, std::move(teacher));
        });
}

PyObject* school_generate_substitutions(PyObject* self, PyObject*) noexcept {
    return call_on_receiver<Exclusive<School>>(self, [](School& school) -> Result<NewReference> {
        PythonTextSink report;
        SignalHandlers signals;
        Result<Done> done = school.generate_substitutions(report, &signals);
        if (!done.ok()) return done.error();
        return NewReference{report.take()};
    });
}

PyObject* school_str(PyObject* self) noexcept {
    return call_on_receiver<Exclusive<School>>(self, [](School& school) {
        SignalHandlers signals;
        return school.printed_text(signals);
    });
}

PyMethodDef school_methods[] = {
    {"add_teacher", fastcall(school_add_teacher), METH_FASTCALL | METH_KEYWORDS,
     "add_teacher($self, teacher)\n--\n\n"},
    {"add_class", fastcall(school_add_class), METH_FASTCALL | METH_KEYWORDS,
     "add_class($self, class)\n--\n\n"},
    {"add_to_hashmap", fastcall(school_add_to_hashmap), METH_FASTCALL | METH_KEYWORDS,
     "add_to_hashmap($self, name, teacher)\n--\n\n"},
    {"generate_substitutions", school_generate_substitutions, METH_NOARGS,
     "generate_substitutions($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot school_slots[] = {
    {Py_tp_doc, const_cast<char*>("School()\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(school_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_record_object<School>)},
    {Py_tp_str, reinterpret_cast<void*>(school_str)},
    {Py_tp_methods, school_methods},
    {0, nullptr},
};

PyType_Spec school_spec = {
    "lessoncover.School", sizeof(RecordObject<School>), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, school_slots,
};

}  // namespace

PyObject* create_school_type() { return create_type_for_process(school_spec, python_type<School>); }

}  // namespace lessoncover::binding
