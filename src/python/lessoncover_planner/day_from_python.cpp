#include "python/lessoncover_planner/day_from_python.hpp"

#include <string>
#include <unordered_map>

#include "teacher/subjects.hpp"
#include "teacher/teacher.hpp"
#include "unicode_text.hpp"

namespace lessoncover::binding {
namespace {

// The item `index` of a private list as a tuple of `size`, made one when it is another
// sequence; stored back, so that the list keeps it.
PyObject* tuple_item(PyObject* list, Py_ssize_t index, Py_ssize_t size, const char* list_name, const char* shape) {
    PyObject* item = PyList_GET_ITEM(list, index);
    if (!PyTuple_Check(item)) {
        if (PyUnicode_Check(item) || PyBytes_Check(item) || !PySequence_Check(item)) {
            PyErr_Format(PyExc_TypeError, "%s[%zd]: expected a %s tuple, got %R", list_name, index, shape, item);
            return nullptr;
        }
        PyObject* tuple = PySequence_Tuple(item);
        if (tuple == nullptr) return nullptr;
        PyList_SET_ITEM(list, index, tuple);  // the list's reference to the old item goes
        Py_DECREF(item);
        item = tuple;
    }
    if (PyTuple_GET_SIZE(item) != size) {
        PyErr_Format(PyExc_TypeError, "%s[%zd]: expected a %s tuple, got %R", list_name, index, shape, item);
        return nullptr;
    }
    return item;
}

// The UTF-8 text of a str, viewed in the str (which caches it).
bool text_of(PyObject* value, std::string_view& text, const char* what, const char* list_name, Py_ssize_t index) {
    if (!PyUnicode_Check(value)) {
        PyErr_Format(PyExc_TypeError, "%s[%zd]: %s must be a str, got %R", list_name, index, what, value);
        return false;
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(value, &size);
    if (data == nullptr) return false;
    text = std::string_view(data, static_cast<std::size_t>(size));
    return true;
}

bool keep(DayObjects& objects, PyObject* value) { return PyList_Append(objects.kept.get(), value) == 0; }

// Subjects: the twenty known ones first, by number; then the school's own, each under
// its lower-cased text, shown as first written.
class SubjectReader {
public:
    SubjectReader(Day& day, DayObjects& objects, PyObject* resolve) : day_(day), objects_(objects), resolve_(resolve) {
        for (std::size_t subject = 0; subject < kSubjectCount; ++subject) {
            day_.subjects.push_back(display_name(static_cast<Subjects>(subject)));
            objects_.subject_names.push_back(nullptr);  // made when a record needs it
        }
    }

    // The subject of teachers[index], whose subject is `text`; false with an error set.
    bool read(PyObject* text, Py_ssize_t index, SubjectId& subject) {
        if (!PyUnicode_Check(text)) {
            PyErr_Format(PyExc_TypeError, "teachers[%zd]: subject must be a str, got %R", index, text);
            return false;
        }
        PyObject* known = PyDict_GetItemWithError(by_text_.get(), text);
        if (known != nullptr) {
            subject = static_cast<SubjectId>(PyLong_AsUnsignedLong(known));
            return true;
        }
        if (PyErr_Occurred()) return false;
        OwnedRef resolved = OwnedRef::steal(PyObject_CallOneArg(resolve_, text));
        if (!resolved) return false;
        if (resolved.get() == Py_None) {
            PyErr_Format(PyExc_ValueError, "teachers[%zd]: empty subject %R", index, text);
            return false;
        }
        if (PyLong_CheckExact(resolved.get())) {
            const long number = PyLong_AsLong(resolved.get());
            if (number < 0 || number >= static_cast<long>(kSubjectCount)) {
                PyErr_Format(PyExc_ValueError, "resolve_subject(%R) gave %R, not a known subject", text, resolved.get());
                return false;
            }
            subject = static_cast<SubjectId>(number);
        } else if (PyUnicode_Check(resolved.get())) {
            std::string_view display;
            if (!text_of(resolved.get(), display, "subject", "teachers", index)) return false;
            if (!own_subject(resolved.get(), display, subject)) return false;
        } else {
            PyErr_Format(PyExc_TypeError, "resolve_subject(%R) gave %R: expected an int, a str or None", text,
                         resolved.get());
            return false;
        }
        OwnedRef number = OwnedRef::steal(PyLong_FromUnsignedLong(subject));
        return number && PyDict_SetItem(by_text_.get(), text, number.get()) == 0;
    }

    bool ready() const { return static_cast<bool>(by_text_); }

private:
    bool own_subject(PyObject* display_object, std::string_view display, SubjectId& subject) {
        const std::string key = unicode::to_lower_full(display);
        const auto found = own_by_key_.find(key);
        if (found != own_by_key_.end()) {
            subject = found->second;
            return true;
        }
        if (!keep(objects_, display_object)) return false;
        subject = static_cast<SubjectId>(day_.subjects.size());
        day_.subjects.push_back(display);
        objects_.subject_names.push_back(display_object);
        own_by_key_.emplace(key, subject);
        return true;
    }

    Day& day_;
    DayObjects& objects_;
    PyObject* resolve_;
    OwnedRef by_text_ = OwnedRef::steal(PyDict_New());
    std::unordered_map<std::string, SubjectId> own_by_key_;
};

bool read_teachers(Day& day, DayObjects& objects, PyObject* resolve, OwnedRef& index_by_name) {
    PyObject* teachers = objects.teachers.get();
    const Py_ssize_t count = PyList_GET_SIZE(teachers);
    if (static_cast<std::uint64_t>(count) >= (std::uint64_t{1} << 32)) {
        PyErr_SetString(PyExc_ValueError, "teachers: too many teachers");
        return false;
    }
    SubjectReader subjects(day, objects, resolve);
    if (!subjects.ready()) return false;
    day.teachers.reserve(static_cast<std::size_t>(count));
    objects.teacher_names.reserve(static_cast<std::size_t>(count));
    for (Py_ssize_t index = 0; index < count; ++index) {
        PyObject* item = tuple_item(teachers, index, 2, "teachers", "(name, subject)");
        if (item == nullptr) return false;
        PyObject* name = PyTuple_GET_ITEM(item, 0);
        DayTeacher teacher{{}, kDefaultAbsenceReason, 0, true};
        if (!text_of(name, teacher.name, "name", "teachers", index)) return false;
        OwnedRef number = OwnedRef::steal(PyLong_FromSsize_t(index));
        if (!number) return false;
        PyObject* earlier = PyDict_SetDefault(index_by_name.get(), name, number.get());
        if (earlier == nullptr) return false;
        if (earlier != number.get()) {
            PyErr_Format(PyExc_ValueError, "teachers[%zd]: duplicate teacher name %R (also teachers[%R])", index, name,
                         earlier);
            return false;
        }
        if (!subjects.read(PyTuple_GET_ITEM(item, 1), index, teacher.subject)) return false;
        day.teachers.push_back(teacher);
        objects.teacher_names.push_back(name);
    }
    return true;
}

bool read_absences(Day& day, DayObjects& objects, PyObject* index_by_name, PyObject* default_reason) {
    objects.reasons.assign(day.teachers.size(), nullptr);
    PyObject* name = nullptr;
    PyObject* reason = nullptr;
    Py_ssize_t position = 0;
    while (PyDict_Next(objects.absences.get(), &position, &name, &reason)) {
        if (!PyUnicode_Check(name)) {
            PyErr_Format(PyExc_TypeError, "absences: a name must be a str, got %R", name);
            return false;
        }
        PyObject* found = PyDict_GetItemWithError(index_by_name, name);
        if (found == nullptr) {
            if (!PyErr_Occurred()) PyErr_Format(PyExc_ValueError, "absences: %R is not a teacher", name);
            return false;
        }
        const auto teacher = static_cast<std::size_t>(PyLong_AsSsize_t(found));
        DayTeacher& absent = day.teachers[teacher];
        absent.present = false;
        if (reason == Py_None || (PyUnicode_Check(reason) && PyUnicode_GET_LENGTH(reason) == 0)) {
            objects.reasons[teacher] = default_reason;
            continue;
        }
        if (!PyUnicode_Check(reason)) {
            PyErr_Format(PyExc_TypeError, "absences[%R]: reason must be a str or None, got %R", name, reason);
            return false;
        }
        Py_ssize_t size = 0;
        const char* data = PyUnicode_AsUTF8AndSize(reason, &size);
        if (data == nullptr) return false;
        absent.reason = std::string_view(data, static_cast<std::size_t>(size));
        objects.reasons[teacher] = reason;
    }
    return true;
}

bool read_lessons(Day& day, DayObjects& objects, PyObject* index_by_name) {
    PyObject* lessons = objects.lessons.get();
    const Py_ssize_t count = PyList_GET_SIZE(lessons);
    OwnedRef class_by_name = OwnedRef::steal(PyDict_New());
    if (!class_by_name) return false;
    day.lessons.reserve(static_cast<std::size_t>(count));
    for (Py_ssize_t index = 0; index < count; ++index) {
        PyObject* item = tuple_item(lessons, index, 3, "lessons", "(teacher, period, class)");
        if (item == nullptr) return false;
        PyObject* name = PyTuple_GET_ITEM(item, 0);
        if (!PyUnicode_Check(name)) {
            PyErr_Format(PyExc_TypeError, "lessons[%zd]: teacher must be a str, got %R", index, name);
            return false;
        }
        PyObject* teacher = PyDict_GetItemWithError(index_by_name, name);
        if (teacher == nullptr) {
            if (!PyErr_Occurred()) PyErr_Format(PyExc_ValueError, "lessons[%zd]: unknown teacher %R", index, name);
            return false;
        }
        PyObject* period_object = PyTuple_GET_ITEM(item, 1);
        long period = 0;
        if (PyLong_CheckExact(period_object)) {
            int overflow = 0;
            period = PyLong_AsLongAndOverflow(period_object, &overflow);
            if (overflow != 0) period = 1L << 20;  // refused below
        } else {
            if (!PyIndex_Check(period_object)) {
                PyErr_Format(PyExc_TypeError, "lessons[%zd]: period must be an int, got %R", index, period_object);
                return false;
            }
            OwnedRef number = OwnedRef::steal(PyNumber_Index(period_object));
            if (!number) return false;
            int overflow = 0;
            period = PyLong_AsLongAndOverflow(number.get(), &overflow);
            if (overflow != 0) period = 1L << 20;
        }
        if (period == -1 && PyErr_Occurred()) return false;
        if (period < -32768 || period > 32767) {
            PyErr_Format(PyExc_ValueError, "lessons[%zd]: period %R is outside -32768..32767", index, period_object);
            return false;
        }
        PyObject* class_name = PyTuple_GET_ITEM(item, 2);
        std::string_view class_text;
        if (!text_of(class_name, class_text, "class", "lessons", index)) return false;
        OwnedRef next_id = OwnedRef::steal(PyLong_FromSize_t(day.classes.size()));
        if (!next_id) return false;
        PyObject* class_id = PyDict_SetDefault(class_by_name.get(), class_name, next_id.get());
        if (class_id == nullptr) return false;
        if (class_id == next_id.get()) {
            day.classes.push_back(class_text);
            objects.class_names.push_back(class_name);
        }
        day.lessons.push_back(DayLesson{static_cast<std::uint32_t>(PyLong_AsSsize_t(teacher)),
                                        static_cast<std::uint32_t>(PyLong_AsSsize_t(class_id)),
                                        static_cast<std::int16_t>(period)});
    }
    return true;
}

}  // namespace

bool read_day(PyObject* teachers, PyObject* lessons, PyObject* absences, PyObject* resolve_subject, Day& day,
              DayObjects& objects) {
    // Private copies: nothing the caller (or a callback) does to its lists reaches them.
    objects.teachers = OwnedRef::steal(PyList_GetSlice(teachers, 0, PyList_GET_SIZE(teachers)));
    objects.lessons = OwnedRef::steal(PyList_GetSlice(lessons, 0, PyList_GET_SIZE(lessons)));
    objects.absences = OwnedRef::steal(PyDict_Copy(absences));
    objects.kept = OwnedRef::steal(PyList_New(0));
    OwnedRef index_by_name = OwnedRef::steal(PyDict_New());
    OwnedRef default_reason = OwnedRef::steal(
        PyUnicode_FromStringAndSize(kDefaultAbsenceReason.data(), static_cast<Py_ssize_t>(kDefaultAbsenceReason.size())));
    if (!objects.teachers || !objects.lessons || !objects.absences || !objects.kept || !index_by_name ||
        !default_reason || !keep(objects, default_reason.get())) {
        return false;
    }
    return read_teachers(day, objects, resolve_subject, index_by_name) &&
           read_absences(day, objects, index_by_name.get(), default_reason.get()) &&
           read_lessons(day, objects, index_by_name.get());
}

}  // namespace lessoncover::binding
