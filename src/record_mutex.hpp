// A mutex of four bytes for one record. Uncontended, locking and unlocking are one atomic
// instruction each, with no call; a thread that has to wait sleeps on the word itself
// (std::atomic wait, a futex on Linux) and is woken by the unlock that follows. While the
// process has never had a second thread, as the C library tells where it can, nobody can
// contend or watch, and the word is set and cleared without atomic instructions (the C
// library does the same for its own mutexes).
//
// Kept over std::mutex for its size, 4 bytes to 40: a made teacher record's cell takes 144
// bytes, not 176, and bench.py's D pipeline peaks at 39.6 MiB, not 40.1 (medians of 15
// interleaved rounds); its times at M and D were the same within the machine's noise.
#pragma once

#include <atomic>
#include <cstdint>

#if __has_include(<sys/single_threaded.h>)
#include <sys/single_threaded.h>
#define LESSONCOVER_KNOWS_SINGLE_THREADED 1
#endif

namespace lessoncover {

class RecordMutex {
public:
    RecordMutex() noexcept = default;
    RecordMutex(const RecordMutex&) = delete;
    RecordMutex& operator=(const RecordMutex&) = delete;

    void lock() noexcept {
        if (single_threaded() && state_.load(std::memory_order_relaxed) == kFree) {
            state_.store(kLocked, std::memory_order_relaxed);
            return;
        }
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
        if (single_threaded()) {  // so there has never been a waiter
            state_.store(kFree, std::memory_order_relaxed);
            return;
        }
        if (state_.exchange(kFree, std::memory_order_release) == kWaitedFor) wake_one();
    }

private:
    static constexpr std::uint32_t kFree = 0;
    static constexpr std::uint32_t kLocked = 1;
    static constexpr std::uint32_t kWaitedFor = 2;  // locked, and somebody may be waiting

    // True only while no second thread has ever run; once false, it stays false.
    static bool single_threaded() noexcept {
#ifdef LESSONCOVER_KNOWS_SINGLE_THREADED
        return __libc_single_threaded != 0;
#else
        return false;
#endif
    }

    // The slow paths stay out of line, so that the fast ones inline small.
    [[gnu::noinline]] void wake_one() noexcept { state_.notify_one(); }

    // Marks the lock as waited for, then sleeps until it is free. Whoever takes it from
    // here leaves it marked, so its unlock wakes the next waiter.
    [[gnu::noinline]] void lock_contended(std::uint32_t seen) noexcept {
        if (seen != kWaitedFor) seen = state_.exchange(kWaitedFor, std::memory_order_acquire);
        while (seen != kFree) {
            state_.wait(kWaitedFor, std::memory_order_relaxed);
            seen = state_.exchange(kWaitedFor, std::memory_order_acquire);
        }
    }

    std::atomic<std::uint32_t> state_{kFree};
};

}  // namespace lessoncover
