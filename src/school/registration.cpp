// Registration of a lesson: who teaches which class in which period (School::register_period).
#include "reserve_more.hpp"
#include "school/school.hpp"

namespace lessoncover {
namespace {

constexpr std::size_t kEntriesOfADay = 8;  // a class has about this many lessons a day

// The class name as the store keeps it, remembered by the class for the next call.
TeacherStore::ClassNameId class_name_in(TeacherStore& store, Class& school_class) {
    ClassNameMemo& memo = school_class.class_name_memo;
    if (memo.store_id != store.id()) {
        memo.class_name = store.class_name_id(school_class.class_name);
        memo.store_id = store.id();
    }
    return memo.class_name;
}

}  // namespace

Result<Done> School::register_period(const Teacher& teacher, std::int16_t period, Class& school_class) {
    TeacherList& list = noted_list();
    const Found found = find_teacher(teacher);
    if (found.entry == TeacherNames::kNotFound) {
        return panic("Teacher not found in existing list. Please add to 'teacher_list.csv'");
    }
    // Room first, so that once the pair is in the record (or queued) nothing is left to fail.
    // A class's first lesson makes room for a day's.
    std::vector<PeriodEntry>& entries = school_class.list_of_periods;
    if (entries.capacity() == 0) {
        entries.reserve(kEntriesOfADay);
    } else {
        reserve_more(entries, 1);
    }
    if (found.slot == TeacherList::kNotListed) {
        // Filed by file_unlisted: the class holds the handle itself.
        const TeacherRef& handle = names_.unlisted_handle(found.entry);
        reserve_more(school_class.own_handles, 1);
        school_class.own_handles.push_back(handle);
        const OwnHandleId own{static_cast<std::uint32_t>(school_class.own_handles.size() - 1)};
        {
            const auto record = handle.lock();
            record->add_period(period, school_class.class_name);  // only on the class's name
        }
        entries.push_back(PeriodEntry::of_own(own, period, true));
        return Done{};
    }

    TeacherStore& store = *store_;
    const std::uint16_t source = school_class.source_for(store_);
    PeriodEntry entry = PeriodEntry::of_store(source, found.slot, period, true);
    if (source == PeriodEntry::kOwnHandle) {  // the class names too many stores
        reserve_more(school_class.own_handles, 1);
        store.make_records();
        school_class.own_handles.push_back(store.handle(found.slot));
        entry = PeriodEntry::of_own(OwnHandleId{static_cast<std::uint32_t>(school_class.own_handles.size() - 1)},
                                    period, true);
    }
    list.make_room_for_note();
    const std::uint64_t bit = list.bit_for(period);
    if (bit != 0 && (list.busy(found.slot) & bit) == 0) {
        // The teacher holds no pair in this period: the pair is new, and is queued.
        const TeacherStore::ClassNameId class_name = class_name_in(store, school_class);
        store.make_room_for_pairs(1);
        store.queue(found.slot, period, class_name);
        list.note_pair_added(found.slot, bit);
    } else {
        // It may be there already: the record decides, once it holds every pair queued.
        store.ready_records();
        bool added = false;
        {
            const auto record = store.handle(found.slot).lock();
            added = record->add_period(period, school_class.class_name);
        }
        if (added) list.note_pair_added(found.slot, bit);
    }
    entries.push_back(entry);
    return Done{};
}

}  // namespace lessoncover
