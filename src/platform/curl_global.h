#pragma once

namespace tarvesk {

// Runs curl_global_init once per process. libcurl requires that call to
// happen before any other thread uses curl, and it is not thread-safe itself,
// so call this on the main thread while setting up the services (the HTTP
// client and the mail transport do it in their constructors).
void EnsureCurlInitialised();

}  // namespace tarvesk
