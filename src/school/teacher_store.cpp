#include "school/teacher_store.hpp"

#include <atomic>

namespace lessoncover {

TeacherStore::TeacherStore() noexcept {
    static std::atomic<std::uint64_t> last{0};
    id_ = last.fetch_add(1, std::memory_order_relaxed) + 1;
}

void TeacherStore::write_out() const {
    std::size_t written = 0;
    try {
        for (; written < queued_.size(); ++written) {
            const Queued& pair = queued_[written];
            const auto record = handles_[pair.slot].lock();
            record->add_period(pair.period, grades_[pair.grade]);  // a new pair
        }
    } catch (...) {
        queued_.erase(queued_.begin(), queued_.begin() + static_cast<std::ptrdiff_t>(written));
        throw;
    }
    queued_.clear();
}

}  // namespace lessoncover
