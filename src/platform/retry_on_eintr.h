#pragma once

#include <cerrno>

namespace tarvesk {

// Repeats a POSIX call that a signal interrupted (-1 with EINTR), so that a
// signal handled meanwhile never looks like a failure.
template <typename F>
auto RetryOnEintr(F call) -> decltype(call()) {
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

}  // namespace tarvesk
