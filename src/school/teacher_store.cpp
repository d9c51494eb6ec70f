#include "school/teacher_store.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace lessoncover {

TeacherStore::TeacherStore() noexcept {
    static std::atomic<std::uint64_t> last{0};
    id_ = last.fetch_add(1, std::memory_order_relaxed) + 1;
}

void TextBlocks::make_room(std::size_t bytes) {
    if (capacity_ - used_ >= bytes) return;
    reserve_more(blocks_, 1);
    const std::size_t size = std::max(kBlockBytes, bytes);
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
    used_ = 0;
    capacity_ = size;
}

std::string_view TextBlocks::keep(std::string_view text) noexcept {
    if (text.empty()) return std::string_view("", 0);  // no block needed, and never a null pointer
    char* const at = blocks_.back().get() + used_;
    std::memcpy(at, text.data(), text.size());
    used_ += text.size();
    return std::string_view(at, text.size());
}

void TeacherStore::make_room_for_teacher(const Teacher& teacher) {
    reserve_more(copies_, 1);
    const bool default_reason = teacher.reason_of_absentee == kDefaultAbsenceReason;
    texts_.make_room(teacher.name.size() + (default_reason ? 0 : teacher.reason_of_absentee.size()));
    if (!teacher.periods.empty()) reserve_more(seeded_pairs_, 1);
}

TeacherStore::Texts TeacherStore::append(const Teacher& teacher, std::optional<PeriodSet> pairs) noexcept {
    CopiedTeacher copied{texts_.keep(teacher.name), kDefaultAbsenceReason, 0, teacher.sub, teacher.present};
    if (teacher.reason_of_absentee != kDefaultAbsenceReason) copied.reason = texts_.keep(teacher.reason_of_absentee);
    if (pairs) {
        seeded_pairs_.push_back(std::move(*pairs));  // room was made
        copied.pairs = static_cast<std::uint32_t>(seeded_pairs_.size());
    }
    copies_.push_back(copied);  // room was made
    return Texts{copied.name, copied.reason};
}

void TeacherStore::make_records() {
    if (handles_.size() == copies_.size()) return;
    reserve_more(handles_, copies_.size() - handles_.size());
    while (handles_.size() < copies_.size()) {
        const CopiedTeacher& copied = copies_[handles_.size()];
        Teacher teacher{std::string(copied.name), copied.sub, copied.present};
        teacher.reason_of_absentee = copied.reason;
        if (copied.pairs != 0) teacher.periods = seeded_pairs_[copied.pairs - 1];
        handles_.push_back(TeacherRef(std::move(teacher)));  // room was made
        if (copied.pairs != 0) seeded_pairs_[copied.pairs - 1] = PeriodSet();  // now in the record
    }
}

void TeacherStore::write_out() {
    std::size_t written = 0;
    std::uint32_t class_name = 0;  // the queue starts with a mark
    try {
        for (; written < queued_.size(); ++written) {
            const Queued& queued = queued_[written];
            if (queued.kind == kClassNameMark) {
                class_name = queued.slot_or_class_name;
                continue;
            }
            const auto record = handles_[queued.slot_or_class_name].lock();
            record->add_period(queued.period, class_names_[class_name]);  // a new pair
        }
    } catch (...) {
        // The rest stays queued, behind the mark of its class name.
        if (written > 0) {
            queued_[written - 1] = Queued{class_name, 0, kClassNameMark};
            queued_.erase(queued_.begin(), queued_.begin() + static_cast<std::ptrdiff_t>(written - 1));
        }
        throw;
    }
    queued_.clear();
}

}  // namespace lessoncover
