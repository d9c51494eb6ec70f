// The record lock under contention.
#include <doctest/doctest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "record_mutex.hpp"

using namespace lessoncover;

// Threads that keep taking the same lock, each holding it across a read and a write of a
// plain counter: any increment lost means two held it at once, and a missed wake-up hangs.
TEST_CASE("the record mutex excludes and wakes") {
    RecordMutex mutex;
    long long counter = 0;
    constexpr int kThreads = 4;
    constexpr int kRounds = 200'000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < kRounds; ++round) {
                const std::lock_guard held(mutex);
                const long long seen = counter;
                if (round % 1000 == 0) std::this_thread::yield();  // make the others wait
                counter = seen + 1;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    CHECK(counter == static_cast<long long>(kThreads) * kRounds);
    CHECK(mutex.try_lock());  // free at the end
}
