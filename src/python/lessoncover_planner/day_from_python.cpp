#include "python/lessoncover_planner/day_from_python.hpp"

#include <string>
#include <unordered_map>

#include "python/lessoncover_planner/period_from_python.hpp"
#include "python/lessoncover_planner/policy_from_python.hpp"
#include "teacher/subject_names.hpp"
#include "teacher/subjects.hpp"
#include "teacher/teacher.hpp"

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

// Reads `periods`, a tuple of periods, as (teacher, period) pairs into `out`; the
// refusals name `what`.
bool read_periods(PyObject* periods, std::uint32_t teacher, const char* what, PyObject* name,
                  std::vector<std::pair<std::uint32_t, std::int16_t>>& out) {
    if (!PyTuple_Check(periods)) {
        PyErr_Format(PyExc_TypeError, "%s[%R]: expected a tuple of periods, got %R", what, name, periods);
        return false;
    }
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(periods); ++i) {
        PyObject* item = PyTuple_GET_ITEM(periods, i);
        Period period = 0;
        if (!period_or_refuse(read_period, item, period, "%s[%R]: a period must be an int, got %R",
                              "%s[%R]: period %R", what, name, item)) {
            return false;
        }
        out.emplace_back(teacher, period);
    }
    return true;
}

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
        const std::string key = subject_key(display);
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

bool read_teachers(Day& day, DayObjects& objects, PyObject* resolve, OwnedRef& index_by_name,
                   InterruptionCheck& check) {
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
        if (check.step()) return false;
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

bool read_absences(Day& day, DayObjects& objects, PyObject* index_by_name, PyObject* default_reason,
                   InterruptionCheck& check) {
    objects.reasons.assign(day.teachers.size(), nullptr);
    PyObject* name = nullptr;
    PyObject* reason = nullptr;
    Py_ssize_t position = 0;
    while (PyDict_Next(objects.absences.get(), &position, &name, &reason)) {
        if (check.step()) return false;
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
        if (PyTuple_Check(reason)) {
            // (reason, periods): absent in those periods only.
            if (PyTuple_GET_SIZE(reason) != 2) {
                PyErr_Format(PyExc_TypeError, "absences[%R]: expected a reason or (reason, periods), got %R", name,
                             reason);
                return false;
            }
            PyObject* periods = PyTuple_GET_ITEM(reason, 1);
            if (!read_periods(periods, static_cast<std::uint32_t>(teacher), "absences", name,
                              day.policy.absent_periods)) {
                return false;
            }
            if (PyTuple_GET_SIZE(periods) == 0) {
                PyErr_Format(PyExc_ValueError, "absences[%R]: a part-day absence needs periods, got none", name);
                return false;
            }
            absent.present = true;
            absent.part_day = true;
            reason = PyTuple_GET_ITEM(reason, 0);
        }
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

bool read_lessons(Day& day, DayObjects& objects, PyObject* index_by_name, OwnedRef& class_by_name,
                  InterruptionCheck& check) {
    PyObject* lessons = objects.lessons.get();
    const Py_ssize_t count = PyList_GET_SIZE(lessons);
    class_by_name = OwnedRef::steal(PyDict_New());
    if (!class_by_name) return false;
    PyObject_GC_UnTrack(class_by_name.get());  // as read_day's own copies
    day.lessons.reserve(static_cast<std::size_t>(count));
    OwnedRef previous_class;
    std::uint32_t previous_class_id = 0;
    for (Py_ssize_t index = 0; index < count; ++index) {
        if (check.step()) return false;
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
        Period period = 0;
        if (!period_or_refuse(read_period, period_object, period, "lessons[%zd]: period must be an int, got %R",
                              "lessons[%zd]: period %R", index, period_object)) {
            return false;
        }
        PyObject* class_name = PyTuple_GET_ITEM(item, 2);
        // A class's lessons mostly come one after another, naming it with one str object:
        // the lesson before tells its number then. The object is held, so that no other
        // can take its place.
        if (class_name != previous_class.get()) {
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
            previous_class = OwnedRef::borrow(class_name);
            previous_class_id = static_cast<std::uint32_t>(PyLong_AsSsize_t(class_id));
        }
        day.lessons.push_back(DayLesson{static_cast<std::uint32_t>(PyLong_AsSsize_t(teacher)), previous_class_id, period});
    }
    return true;
}

// The teacher named `name` in a policy's mapping `what`; false with ValueError when none.
bool policy_teacher(PyObject* index_by_name, PyObject* name, const char* what, std::uint32_t& teacher) {
    PyObject* found = PyDict_GetItemWithError(index_by_name, name);
    if (found == nullptr) {
        if (!PyErr_Occurred()) PyErr_Format(PyExc_ValueError, "policy.%s: %R is not a teacher", what, name);
        return false;
    }
    teacher = static_cast<std::uint32_t>(PyLong_AsSsize_t(found));
    return true;
}

// The place of `name` in `by_name`, DayPin::kUnknown when it has none.
bool place_or_unknown(PyObject* by_name, PyObject* name, std::uint32_t& place) {
    PyObject* found = PyDict_GetItemWithError(by_name, name);
    if (found == nullptr) {
        place = DayPin::kUnknown;
        return !PyErr_Occurred();
    }
    place = static_cast<std::uint32_t>(PyLong_AsSsize_t(found));
    return true;
}

// Pins are only looked up here: what they name is checked against the day by
// pin_lessons(), which refuses names the day does not have.
bool read_pins(const PolicyObjects& policy, Day& day, DayObjects& objects, PyObject* index_by_name,
               PyObject* class_by_name) {
    PyObject* pins = policy.pins.get();
    objects.pins = OwnedRef::borrow(pins);
    day.policy.pins.reserve(static_cast<std::size_t>(PyTuple_GET_SIZE(pins)));
    for (Py_ssize_t index = 0; index < PyTuple_GET_SIZE(pins); ++index) {
        PyObject* pin = PyTuple_GET_ITEM(pins, index);
        DayPin read{};
        read.period = policy.pin_periods[static_cast<std::size_t>(index)];
        if (!place_or_unknown(index_by_name, PyTuple_GET_ITEM(pin, 0), read.absent) ||
            !place_or_unknown(class_by_name, PyTuple_GET_ITEM(pin, 2), read.class_id) ||
            !place_or_unknown(index_by_name, PyTuple_GET_ITEM(pin, 3), read.substitute)) {
            return false;
        }
        day.policy.pins.push_back(read);
    }
    return true;
}

// The policy's options, read and checked by read_policy_object(), put to the day: each
// name it gives must be a teacher or class of the day.
bool read_policy(PyObject* policy_object, Day& day, DayObjects& objects, PyObject* index_by_name,
                 PyObject* class_by_name) {
    if (policy_object == Py_None) return true;
    PolicyObjects policy;
    if (!read_policy_object(policy_object, policy)) return false;
    DayPolicy& read = day.policy;
    read.max_covers = policy.max_covers;
    read.keep_doubles = policy.keep_doubles;
    read.combined_lessons = policy.combined_lessons;
    read.co_taught_no_cover = policy.co_taught_no_cover;
    PyObject* prior = policy.prior_covers.get();
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(prior); ++i) {
        std::uint32_t teacher = 0;
        if (!policy_teacher(index_by_name, PyTuple_GET_ITEM(PyList_GET_ITEM(prior, i), 0), "prior_covers", teacher)) {
            return false;
        }
        if (read.prior_covers.empty()) read.prior_covers.assign(day.teachers.size(), 0);
        read.prior_covers[teacher] = policy.prior_counts[static_cast<std::size_t>(i)];
    }
    PyObject* unavailable = policy.unavailable.get();
    std::vector<std::uint32_t> unavailable_teachers;
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(unavailable); ++i) {
        std::uint32_t teacher = 0;
        if (!policy_teacher(index_by_name, PyTuple_GET_ITEM(PyList_GET_ITEM(unavailable, i), 0), "unavailable",
                            teacher)) {
            return false;
        }
        unavailable_teachers.push_back(teacher);
    }
    for (const auto& [pair, period] : policy.unavailable_periods) {
        read.unavailable.emplace_back(unavailable_teachers[static_cast<std::size_t>(pair)], period);
    }
    PyObject* away = policy.away_classes.get();
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(away); ++i) {
        PyObject* class_name = PyTuple_GET_ITEM(away, i);
        PyObject* class_id = PyDict_GetItemWithError(class_by_name, class_name);
        if (class_id == nullptr) {
            if (!PyErr_Occurred()) {
                PyErr_Format(PyExc_ValueError, "policy.away_classes: no lesson is in class %R", class_name);
            }
            return false;
        }
        if (read.class_away.empty()) read.class_away.assign(day.classes.size(), 0);
        read.class_away[static_cast<std::size_t>(PyLong_AsSsize_t(class_id))] = 1;
    }
    PyObject* supply = policy.supply.get();
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(supply); ++i) {
        std::uint32_t teacher = 0;
        if (!policy_teacher(index_by_name, PyTuple_GET_ITEM(supply, i), "supply", teacher)) return false;
        if (read.supply.empty()) read.supply.assign(day.teachers.size(), 0);
        read.supply[teacher] = 1;
    }
    read.strategy = policy.strategy;
    return read_pins(policy, day, objects, index_by_name, class_by_name);
}

}  // namespace

bool read_day(PyObject* teachers, PyObject* lessons, PyObject* absences, PyObject* resolve_subject, PyObject* policy,
              Day& day, DayObjects& objects, InterruptionCheck& check) {
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
    // Nothing outside this call ever holds these, so they can be in no reference cycle: the
    // cyclic collector, which the call's allocations set off, need not walk their items.
    for (PyObject* own : {objects.teachers.get(), objects.lessons.get(), objects.absences.get(), objects.kept.get(),
                          index_by_name.get()}) {
        PyObject_GC_UnTrack(own);
    }
    OwnedRef class_by_name;
    return read_teachers(day, objects, resolve_subject, index_by_name, check) &&
           read_absences(day, objects, index_by_name.get(), default_reason.get(), check) &&
           read_lessons(day, objects, index_by_name.get(), class_by_name, check) &&
           read_policy(policy, day, objects, index_by_name.get(), class_by_name.get());
}

}  // namespace lessoncover::binding
