#pragma once

#include <chrono>

#include "platform/site_probe.h"

namespace tarvesk {

// Tells whether the web server behind a page address is up by trying a TCP
// connection to its host and port: accepted means started, refused means
// stopped, anything else (bad address, unknown host, no answer in time)
// means the state cannot be read. Blocks for at most the time-out, name
// lookup included, and needs no event loop, so it runs on any thread.
class TcpSiteProbe : public SiteProbe {
public:
    explicit TcpSiteProbe(std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));

    int state(const QString& pageUrl) override;

private:
    std::chrono::milliseconds m_timeout;
};

}  // namespace tarvesk
