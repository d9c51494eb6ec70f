#include "school/teacher_store.hpp"

#include <atomic>

namespace lessoncover {

TeacherStore::TeacherStore() noexcept {
    static std::atomic<std::uint64_t> last{0};
    id_ = last.fetch_add(1, std::memory_order_relaxed) + 1;
}

void TeacherStore::write_out() const {
    std::size_t written = 0;
    Grade grade = 0;  // the queue starts with a mark
    try {
        for (; written < queued_.size(); ++written) {
            const Queued& queued = queued_[written];
            if (queued.kind == kGradeMark) {
                grade = queued.slot_or_grade;
                continue;
            }
            const auto record = handles_[queued.slot_or_grade].lock();
            record->add_period(queued.period, grades_[grade]);  // a new pair
        }
    } catch (...) {
        // The rest stays queued, behind the mark of its grade.
        if (written > 0) {
            queued_[written - 1] = Queued{grade, 0, kGradeMark};
            queued_.erase(queued_.begin(), queued_.begin() + static_cast<std::ptrdiff_t>(written - 1));
        }
        throw;
    }
    queued_.clear();
}

}  // namespace lessoncover
