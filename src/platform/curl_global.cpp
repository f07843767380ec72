#include "platform/curl_global.h"

#include <curl/curl.h>

#include <mutex>

namespace tarvesk {

void EnsureCurlInitialised() {
    static std::once_flag once;
    // Never paired with curl_global_cleanup: workers may still be inside a
    // transfer while the process exits, and the OS frees everything anyway.
    // A failed init shows up later as curl_easy_init returning null.
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace tarvesk
