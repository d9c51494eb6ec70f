// A mutex of four bytes for one record. Uncontended, locking and unlocking are one atomic
// instruction each, with no call; a thread that has to wait sleeps on the word itself
// (std::atomic wait, a futex on Linux) and is woken by the unlock that follows.
#pragma once

#include <atomic>
#include <cstdint>

namespace lessoncover {

class RecordMutex {
public:
    RecordMutex() noexcept = default;
    RecordMutex(const RecordMutex&) = delete;
    RecordMutex& operator=(const RecordMutex&) = delete;

    void lock() noexcept {
        std::uint32_t seen = kFree;
        if (!state_.compare_exchange_strong(seen, kLocked, std::memory_order_acquire,
                                            std::memory_order_relaxed)) {
            lock_contended(seen);
        }
    }

    bool try_lock() noexcept {
        std::uint32_t seen = kFree;
        return state_.compare_exchange_strong(seen, kLocked, std::memory_order_acquire,
                                              std::memory_order_relaxed);
    }

    void unlock() noexcept {
        if (state_.exchange(kFree, std::memory_order_release) == kWaitedFor) state_.notify_one();
    }

private:
    static constexpr std::uint32_t kFree = 0;
    static constexpr std::uint32_t kLocked = 1;
    static constexpr std::uint32_t kWaitedFor = 2;  // locked, and somebody may be waiting

    // Marks the lock as waited for, then sleeps until it is free. Whoever takes it from
    // here leaves it marked, so its unlock wakes the next waiter.
    void lock_contended(std::uint32_t seen) noexcept {
        if (seen != kWaitedFor) seen = state_.exchange(kWaitedFor, std::memory_order_acquire);
        while (seen != kFree) {
            state_.wait(kWaitedFor, std::memory_order_relaxed);
            seen = state_.exchange(kWaitedFor, std::memory_order_acquire);
        }
    }

    std::atomic<std::uint32_t> state_{kFree};
};

}  // namespace lessoncover
