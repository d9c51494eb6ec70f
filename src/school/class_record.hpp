// The class record: a class's name and the (teacher, period) entries taught in it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "debug_text.hpp"
#include "interruption.hpp"
#include "result.hpp"
#include "school/teacher_store.hpp"
#include "shared_record.hpp"
#include "strong_index.hpp"
#include "teacher/teacher.hpp"
#include "teacher/teacher_indices.hpp"

namespace lessoncover {

// A handle's place among those a class holds itself (Class::own_handles).
using OwnHandleId = Index<struct OwnHandleIdTag>;

// An entry names its teacher without holding a handle of its own: by slot in one of the
// class's stores (a school's listed teachers), or by place among the class's own handles
// (a teacher the school filed by name only, or one of a store past the 32,767 a class can
// name). One entry can stand for two equal entries in a row, as registration makes them.
// Eight bytes, and making one touches no record.
struct PeriodEntry {
    static constexpr std::uint16_t kOwnHandle = 0x7fff;

    std::uint32_t teacher;  // slot in sources[source], or place in own_handles: see below
    std::int16_t period;
    std::uint16_t source : 15;  // place in sources, or kOwnHandle
    std::uint16_t twice : 1;    // stands for two equal entries

    // An entry naming the teacher of `slot` in the class's store at `source`.
    static PeriodEntry of_store(std::uint16_t source, TeacherSlot slot, std::int16_t period, bool twice) noexcept {
        return PeriodEntry{slot.value, period, source, twice};
    }
    // An entry naming one of the class's own handles.
    static PeriodEntry of_own(OwnHandleId handle, std::int16_t period, bool twice) noexcept {
        return PeriodEntry{handle.value, period, kOwnHandle, twice};
    }
    // The teacher's slot in its store; source is not kOwnHandle.
    TeacherSlot slot() const noexcept { return TeacherSlot{teacher}; }
    // The teacher's handle among the class's own; source is kOwnHandle.
    OwnHandleId own_handle() const noexcept { return OwnHandleId{teacher}; }
    std::size_t times() const noexcept { return twice ? 2 : 1; }
};

// Which of a store's class names the class's name is, as registration last found it.
struct ClassNameMemo {
    std::uint64_t store_id = 0;
    TeacherStore::ClassNameId class_name{0};

    ClassNameMemo() noexcept = default;
    ClassNameMemo(const ClassNameMemo&) noexcept {}
    ClassNameMemo& operator=(const ClassNameMemo&) noexcept { return *this; }
};

struct Class {
    std::string class_name;
    // In order of registration; repeats allowed. An entry with `twice` set is two entries
    // of the list.
    std::vector<PeriodEntry> list_of_periods;
    std::vector<TeacherStoreRef> sources;      // the stores entries name teachers in
    std::vector<TeacherRef> own_handles;       // handles entries hold themselves
    ClassNameMemo class_name_memo;             // not part of the class's value

    Class() = default;
    explicit Class(std::string name) : class_name(std::move(name)) {}

    // The handle of the entry's teacher; a store's records must be made (ready_sources).
    const TeacherRef& teacher(const PeriodEntry& entry) const noexcept {
        return entry.source == PeriodEntry::kOwnHandle ? own_handles[entry.own_handle().value]
                                                       : sources[entry.source]->handle(entry.slot());
    }
    // The place of `store` in sources, added when missing; kOwnHandle when the class
    // names as many stores as it can. May throw std::bad_alloc, and then nothing changed.
    std::uint16_t source_for(const TeacherStoreRef& store) {
        for (std::size_t at = sources.size(); at-- > 0;) {
            if (sources[at] == store) return static_cast<std::uint16_t>(at);
        }
        if (sources.size() >= PeriodEntry::kOwnHandle) return PeriodEntry::kOwnHandle;
        sources.push_back(store);
        return static_cast<std::uint16_t>(sources.size() - 1);
    }
    // Makes ready the records of every store the entries name teachers in: then teacher()
    // gives each entry's handle, holding every pair registered so far.
    void ready_sources() const {
        for (const TeacherStoreRef& store : sources) store->ready_records();
    }
    // `times` entries of a handle the class holds itself; for tests and tools that build
    // classes by hand.
    void append_own(TeacherRef handle, std::int16_t period, int times = 1) {
        own_handles.push_back(std::move(handle));
        const OwnHandleId own{static_cast<std::uint32_t>(own_handles.size() - 1)};
        for (int i = 0; i < times; ++i) list_of_periods.push_back(PeriodEntry::of_own(own, period, false));
    }
};

using ClassRef = SharedRecord<Class>;

// The text str() gives: the quoted name, a blank, and the entries in pretty form.
std::string printed_text(const Class& school_class);
// The same, stopping with `interrupted` when the interruption asks.
Result<std::string> printed_text(const Class& school_class, Interruption& interruption);

void describe(DebugWriter& writer, const Class& school_class);
void describe(DebugWriter& writer, const ClassRef& school_class);
// A class as describing a handle that holds it, unlocked, shows it.
void describe_as_held(DebugWriter& writer, const Class& school_class);

}  // namespace lessoncover
