#pragma once

namespace tarvesk {

// Runs curl_global_init once per process, at the first transfer rather than at
// start-up: it loads the TLS library, a few MB that an idle window need not
// carry. Safe from any thread: Debian's libcurl is built thread-safe (7.84 and
// later make the global init itself thread-safe), and call_once makes every
// other caller wait until the one init has finished.
void EnsureCurlInitialised();

}  // namespace tarvesk
