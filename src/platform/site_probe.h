#pragma once

#include <QString>

namespace tarvesk {

// Running state of the watched web site, in the numbers the escalation logic
// has always used.
enum SiteState : int {
    SiteUnknown = 0,
    SiteStarted = 2,
    SiteStopped = 4,
};

// Reads whether the web server behind a page address is up.
class SiteProbe {
public:
    virtual ~SiteProbe() = default;
    virtual int state(const QString& pageUrl) = 0;
};

}  // namespace tarvesk
