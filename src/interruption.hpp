// Long operations stop when their caller asks: a Python caller asks when a signal handler
// has raised (Ctrl-C is KeyboardInterrupt). The core cannot ask Python itself, so the
// caller hands in an Interruption, and the operation's loops count their steps with an
// InterruptionCheck, which asks once every few thousand steps. An operation that stops
// returns the error `interrupted` and leaves what it was changing as it was.
#pragma once

#include <cstdint>
#include <utility>

namespace lessoncover {

class Interruption {
public:
    // True when the operation is to stop now. It may run the caller's code (Python signal
    // handlers), so it is never asked while the operation holds a record's lock.
    virtual bool requested() = 0;

protected:
    ~Interruption() = default;
};

class InterruptionCheck {
public:
    static constexpr std::int64_t kStepsPerCheck = 4096;

    // Never stops.
    InterruptionCheck() noexcept = default;
    // Asks `interruption`, when there is one.
    explicit InterruptionCheck(Interruption* interruption) noexcept : interruption_(interruption) {}
    InterruptionCheck(const InterruptionCheck&) = delete;
    InterruptionCheck& operator=(const InterruptionCheck&) = delete;

    // Counts `steps` steps of work; true when the operation is to stop, and from then on.
    bool step(std::int64_t steps = 1) {
        countdown_ -= steps;
        if (countdown_ > 0) [[likely]] return false;
        return ask();
    }
    // Before a change that cannot be taken back: asks once more now, when the operation
    // has been long enough to be asked before (a short one runs none of the caller's code).
    bool ask_once_more() {
        if (!asked_ && !stopped_) return false;
        countdown_ = 0;
        return ask();
    }
    bool stopped() const noexcept { return stopped_; }

    // Marks the time a record's lock is held, during which nobody is asked: an Interruption
    // running Python code could call a member that takes the same lock.
    class LockHeld {
    public:
        explicit LockHeld(InterruptionCheck* check) noexcept : check_(check) {
            if (check_ != nullptr) ++check_->locks_held_;
        }
        LockHeld(const LockHeld&) = delete;
        LockHeld& operator=(const LockHeld&) = delete;
        ~LockHeld() {
            if (check_ != nullptr) --check_->locks_held_;
        }

    private:
        InterruptionCheck* check_;
    };

private:
    bool ask() {
        if (stopped_) return true;
        if (locks_held_ > 0) {
            countdown_ = 1;  // due: asked at the first step after the lock is let go
            return false;
        }
        countdown_ = kStepsPerCheck;
        if (interruption_ == nullptr) return false;
        asked_ = true;
        stopped_ = interruption_->requested();
        return stopped_;
    }

    Interruption* interruption_ = nullptr;
    std::int64_t countdown_ = kStepsPerCheck;
    std::int32_t locks_held_ = 0;
    bool asked_ = false;
    bool stopped_ = false;
};

// The text or value `make(check)` gives, made to the end: nothing stops it.
template <class Make>
auto made_without_stopping(Make&& make) {
    InterruptionCheck never;
    return std::move(make(never)).value();
}

// The same, stopping when `interruption` asks: the error `interrupted` then.
template <class Make>
auto made_unless_stopped(Interruption& interruption, Make&& make) {
    InterruptionCheck check(&interruption);
    return make(check);
}

}  // namespace lessoncover
