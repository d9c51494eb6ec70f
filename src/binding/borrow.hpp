// Guards over an object's borrow state. A shared borrow is refused while a writer holds
// the object, an exclusive one while anybody does; the guard releases on every path.
// Guards live only within one call, whose caller keeps the object alive meanwhile.
#pragma once

#include <optional>

#include "binding/record_object.hpp"

namespace lessoncover::binding {

inline constexpr const char* kAlreadyMutablyBorrowed = "Already mutably borrowed";
inline constexpr const char* kAlreadyBorrowed = "Already borrowed";

template <class Record>
class SharedBorrow {
public:
    // Empty, with RuntimeError set, when a writer holds the object.
    static bool acquire(std::optional<SharedBorrow>& out, PyObject* object) {
        auto* typed = as_record_object<Record>(object);
        if (typed->borrow.holders < 0) {
            PyErr_SetString(PyExc_RuntimeError, kAlreadyMutablyBorrowed);
            return false;
        }
        out.emplace(typed);
        return true;
    }

    explicit SharedBorrow(RecordObject<Record>* object) noexcept
        : object_(object) {
        ++object_->borrow.holders;
    }
    SharedBorrow(const SharedBorrow&) = delete;
    SharedBorrow& operator=(const SharedBorrow&) = delete;
    ~SharedBorrow() { --object_->borrow.holders; }

    const Record& record() const noexcept { return object_->record; }

private:
    RecordObject<Record>* object_;
};

template <class Record>
class ExclusiveBorrow {
public:
    // Empty, with RuntimeError set, when anybody holds the object.
    static bool acquire(std::optional<ExclusiveBorrow>& out, PyObject* object) {
        auto* typed = as_record_object<Record>(object);
        if (typed->borrow.holders != 0) {
            PyErr_SetString(PyExc_RuntimeError, kAlreadyBorrowed);
            return false;
        }
        out.emplace(typed);
        return true;
    }

    explicit ExclusiveBorrow(RecordObject<Record>* object) noexcept
        : object_(object) {
        object_->borrow.holders = -1;
    }
    ExclusiveBorrow(const ExclusiveBorrow&) = delete;
    ExclusiveBorrow& operator=(const ExclusiveBorrow&) = delete;
    ~ExclusiveBorrow() { object_->borrow.holders = 0; }

    Record& record() const noexcept { return object_->record; }

private:
    RecordObject<Record>* object_;
};

}  // namespace lessoncover::binding
