#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

namespace tarvesk {

// Runs `work` on another thread (one kept from call to call when it is free)
// while the calling thread keeps handling its Qt events in a local event
// loop, and returns once `work` has finished. Without a QCoreApplication,
// `work` simply runs on the calling thread. `work` must not throw;
// RunOffThread below carries exceptions across for you.
void RunWorkOffThread(const std::function<void()>& work);

// Runs a blocking call (an HTTP request, a mail) without freezing the window:
// the call runs on a worker thread and the window keeps repainting and taking
// clicks, then its result comes back here. An exception thrown by `fn` is
// rethrown on the calling thread.
//
// Other handlers (timer ticks, button clicks, even another RunOffThread) can
// run on the calling thread before this returns; guarding against that
// re-entrancy is the caller's business. `fn` must not touch widgets or other
// objects of the calling thread.
template <typename F>
auto RunOffThread(F&& fn) -> std::invoke_result_t<F&> {
    using Result = std::invoke_result_t<F&>;
    std::exception_ptr failure;
    if constexpr (std::is_void_v<Result>) {
        RunWorkOffThread([&] {
            try {
                fn();
            } catch (...) {
                failure = std::current_exception();
            }
        });
        if (failure) std::rethrow_exception(failure);
    } else {
        std::optional<Result> result;
        RunWorkOffThread([&] {
            try {
                result.emplace(fn());
            } catch (...) {
                failure = std::current_exception();
            }
        });
        if (failure) std::rethrow_exception(failure);
        return std::move(*result);
    }
}

}  // namespace tarvesk
