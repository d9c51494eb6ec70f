#include "school/registration.hpp"

#include "reserve_more.hpp"

namespace lessoncover {
namespace {

constexpr std::size_t kEntriesOfADay = 8;  // a class has about this many lessons a day

// The class name as a grade of the store, remembered by the class for the next call.
TeacherStore::ClassNameId grade_in(TeacherStore& store, Class& school_class) {
    GradeMemo& memo = school_class.grade_memo;
    if (memo.store_id != store.id()) {
        memo.grade = store.grade_for(school_class.class_name);
        memo.store_id = store.id();
    }
    return memo.grade;
}

}  // namespace

Result<Done> register_period(const Teacher& teacher, std::int16_t period, School& school,
                             Class& school_class) {
    school.note_covers();
    const School::Found found = school.find_teacher(teacher);
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
        // Filed by add_to_hashmap: the class holds the handle itself.
        const TeacherRef& handle = school.teacher_hashtable.unlisted_handle(found.entry);
        reserve_more(school_class.own_handles, 1);
        school_class.own_handles.push_back(handle);
        const auto own = static_cast<std::uint32_t>(school_class.own_handles.size() - 1);
        {
            const auto record = handle.lock();
            record->add_period(period, school_class.class_name);  // only on the class's name
        }
        entries.push_back(PeriodEntry{own, period, PeriodEntry::kOwnHandle, 1});  // twice
        return Done{};
    }

    TeacherStore& store = *school.store;
    TeacherList& list = school.teacher_list;
    std::uint16_t source = school_class.source_for(school.store);
    std::uint32_t named = found.slot;  // what the entries hold
    if (source == PeriodEntry::kOwnHandle) {  // the class names too many stores
        reserve_more(school_class.own_handles, 1);
        store.make_records();
        school_class.own_handles.push_back(store.handle(found.slot));
        named = static_cast<std::uint32_t>(school_class.own_handles.size() - 1);
    }
    list.make_room_for_note();
    const std::uint64_t bit = list.bit_for(period);
    if (bit != 0 && (list.busy(found.slot) & bit) == 0) {
        // The teacher holds no pair in this period: the pair is new, and is queued.
        const TeacherStore::ClassNameId grade = grade_in(store, school_class);
        store.make_room_for_pairs(1);
        store.queue(found.slot, period, grade);
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
    entries.push_back(PeriodEntry{named, period, source, 1});  // twice
    return Done{};
}

}  // namespace lessoncover
