#pragma once

namespace tarvesk {

// Resident set size of this process in KiB, or -1 when /proc cannot tell.
long long ResidentKiB();

}  // namespace tarvesk
