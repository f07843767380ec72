#pragma once

#include "notify/mime_message.h"
#include "platform/mail_transport.h"

namespace tarvesk {

// Turns the mail fields into a finished message and its envelope and hands
// them to a transport. Receivers are settled here, before any connection: an
// entry without a usable address, or no entry at all, is a receiver failure.
class MailSender {
public:
    explicit MailSender(MailTransport& transport);

    MailOutcome send(const MailMessage& message) const;

private:
    MailTransport& m_transport;
};

}  // namespace tarvesk
