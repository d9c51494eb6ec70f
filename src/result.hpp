// Errors in the core are values: an operation that can fail returns a Result,
// and only the Python boundary turns the error into an exception.
#pragma once

#include <source_location>
#include <string>
#include <utility>
#include <variant>

namespace lessoncover {

enum class ErrorKind {
    // A designed refusal that Python sees as TypeError (an unknown subject).
    type_error,
    // A broken expectation that Python sees as PanicException (an unknown teacher).
    panic,
    // Memory ran out before anything was changed: Python sees MemoryError.
    out_of_memory,
    // The caller's Interruption asked the operation to stop, and nothing was changed; the
    // reason is the caller's (in Python the exception a signal handler raised is set).
    interrupted,
};

struct Error {
    ErrorKind kind;
    std::string message;
    std::source_location where;
};

inline Error type_error(std::string message,
                        std::source_location where = std::source_location::current()) {
    return Error{ErrorKind::type_error, std::move(message), where};
}

inline Error panic(std::string message,
                   std::source_location where = std::source_location::current()) {
    return Error{ErrorKind::panic, std::move(message), where};
}

inline Error out_of_memory(std::string message,
                           std::source_location where = std::source_location::current()) {
    return Error{ErrorKind::out_of_memory, std::move(message), where};
}

inline Error interrupted(std::source_location where = std::source_location::current()) {
    return Error{ErrorKind::interrupted, "interrupted", where};
}

// Nothing to return, but the operation can still fail.
struct Done {};

// A value, or the error that kept it from being made. An operation whose refusals carry
// more than a message (the item at fault, say) names its own error type.
template <class T, class E = Error>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(E error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const noexcept { return state_.index() == 0; }
    T& value() & { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    const E& error() const { return std::get<1>(state_); }

private:
    std::variant<T, E> state_;
};

}  // namespace lessoncover
