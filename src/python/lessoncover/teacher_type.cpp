// The Python class Teacher over the teacher record.
#include <array>
#include <string>

#include "binding/call.hpp"
#include "binding/signal_handlers.hpp"
#include "python/lessoncover/python_types.hpp"
#include "teacher/teacher.hpp"

namespace lessoncover::binding {
namespace {

using TeacherObject = RecordObject<Teacher>;

Signature<3> constructor_signature{"Teacher", {"name", "sub", "present"}};
Signature<2> add_period_signature{"add_period", {"period", "grade"}};

PyObject* teacher_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return call_constructor<Teacher, std::string_view, std::string_view, bool>(
        constructor_signature, type, args, kwargs,
        [](std::string_view name, std::string_view sub, bool present) -> Result<Teacher> {
            Result<Subjects> subject = parse_subject(sub);
            if (!subject.ok()) return subject.error();
            return Teacher(std::string(name), subject.value(), present);
        });
}

PyObject* teacher_add_period(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) noexcept {
    return call_method<Exclusive<Teacher>, std::int16_t, std::string_view>(
        add_period_signature, self, args, nargs, kwnames,
        [](Teacher& teacher, std::int16_t period, std::string_view grade) {
            teacher.add_period(period, grade);
        });
}

// The display names as str objects, made on first use and kept for the process.
PyObject* display_name_object(Subjects subject) noexcept {
    static std::array<PyObject*, kSubjectCount> names{};
    PyObject*& name = names[static_cast<std::size_t>(subject)];
    if (name == nullptr) {
        const std::string_view text = display_name(subject);
        name = PyUnicode_InternFromString(std::string(text).c_str());
        if (name == nullptr) return nullptr;
    }
    return Py_NewRef(name);
}

PyObject* teacher_get_sub(PyObject* self, PyObject*) noexcept {
    return call_on_receiver<Shared<Teacher>>(
        self, [](const Teacher& teacher) { return NewReference{display_name_object(teacher.sub)}; });
}

PyObject* teacher_str(PyObject* self) noexcept {
    return call_on_receiver<Shared<Teacher>>(
        self, [](const Teacher& teacher) {
            SignalHandlers signals;
            return printed_text(teacher, signals);
        });
}

// The name never changes, so its str is made once per object.
PyObject* get_name(PyObject* self, void*) noexcept {
    return call_on_receiver_object<Shared<Teacher>>(self, [](TeacherObject& object) {
        if (object.text_cache == nullptr) {
            object.text_cache = PyUnicode_FromStringAndSize(
                object.record.name.data(), static_cast<Py_ssize_t>(object.record.name.size()));
            if (object.text_cache == nullptr) return NewReference{nullptr};
        }
        return NewReference{Py_NewRef(object.text_cache)};
    });
}

PyObject* get_present(PyObject* self, void*) noexcept {
    return call_on_receiver<Shared<Teacher>>(self, [](const Teacher& teacher) { return teacher.present; });
}

int set_present(PyObject* self, PyObject* value, void*) noexcept {
    return call_setter<Teacher, bool>(self, value, "value",
                                      [](Teacher& teacher, bool present) { teacher.present = present; });
}

PyObject* get_reason(PyObject* self, void*) noexcept {
    return call_on_receiver<Shared<Teacher>>(
        self, [](const Teacher& teacher) { return std::string_view(teacher.reason_of_absentee); });
}

int set_reason(PyObject* self, PyObject* value, void*) noexcept {
    return call_setter<Teacher, std::string_view>(
        self, value, "value",
        [](Teacher& teacher, std::string_view reason) { teacher.reason_of_absentee = reason; });
}

PyMethodDef teacher_methods[] = {
    {"add_period", fastcall(teacher_add_period),
     METH_FASTCALL | METH_KEYWORDS, "add_period($self, period, grade)\n--\n\n"},
    {"get_sub", teacher_get_sub, METH_NOARGS, "get_sub($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef teacher_properties[] = {
    {"name", get_name, nullptr, nullptr, nullptr},
    {"present", get_present, set_present, nullptr, nullptr},
    {"reason_of_absentee", get_reason, set_reason, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot teacher_slots[] = {
    {Py_tp_doc, const_cast<char*>("Teacher(name, sub, present)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(teacher_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_record_object<Teacher>)},
    {Py_tp_str, reinterpret_cast<void*>(teacher_str)},
    {Py_tp_methods, teacher_methods},
    {Py_tp_getset, teacher_properties},
    {0, nullptr},
};

PyType_Spec teacher_spec = {
    "lessoncover.Teacher", sizeof(TeacherObject), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE, teacher_slots,
};

}  // namespace

PyObject* create_teacher_type() { return create_type_for_process(teacher_spec, python_type<Teacher>); }

}  // namespace lessoncover::binding
