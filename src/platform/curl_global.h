#pragma once

namespace tarvesk {

// Runs curl_global_init once per process. The program and the test mains call
// it first thing in main(), on the main thread before any other thread exists,
// as libcurl asks: OpenSSL then keeps the state of its start-up on the main
// thread, which its exit handler frees, not on a worker that outlives that
// handler. The transfers call it again as a guard for callers that did not
// (call_once makes that a no-op, or the one init).
void EnsureCurlInitialised();

}  // namespace tarvesk
