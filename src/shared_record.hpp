// A shared, reference-counted handle to one record guarded by its own mutex.
// Copying the handle shares the record; the record lives until the last handle goes.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "record_mutex.hpp"

namespace lessoncover {

template <class Record>
class SharedRecord {
    // The lock lies next to the record's first members, which the busiest paths touch
    // together with it.
    struct Cell {
        explicit Cell(Record&& r) : record(std::move(r)) {}
        RecordMutex mutex;
        Record record;
    };

public:
    // Access to the record for as long as this object lives.
    class Locked {
    public:
        Locked(RecordMutex& m, Record& r) : lock_(m), record_(&r) {}
        Locked(RecordMutex& m, Record& r, std::try_to_lock_t) : lock_(m, std::try_to_lock), record_(&r) {}
        bool owns_lock() const noexcept { return lock_.owns_lock(); }
        Record& operator*() const noexcept { return *record_; }
        Record* operator->() const noexcept { return record_; }

    private:
        std::unique_lock<RecordMutex> lock_;
        Record* record_;
    };

    explicit SharedRecord(Record record) : cell_(std::make_shared<Cell>(std::move(record))) {}

    Locked lock() const { return Locked(cell_->mutex, cell_->record); }

    // Never waits: empty when somebody (possibly our own caller) holds the lock.
    std::optional<Locked> try_lock() const {
        std::optional<Locked> locked(std::in_place, cell_->mutex, cell_->record, std::try_to_lock);
        if (!locked->owns_lock()) locked.reset();
        return locked;
    }

    const void* identity() const noexcept { return cell_.get(); }

private:
    std::shared_ptr<Cell> cell_;
};

}  // namespace lessoncover
