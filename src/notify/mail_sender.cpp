#include "notify/mail_sender.h"

#include <QDateTime>
#include <QSysInfo>

namespace tarvesk {

MailSender::MailSender(MailTransport& transport) : m_transport(transport) {}

MailOutcome MailSender::send(const MailMessage& message) const {
    MailEnvelope envelope;
    envelope.server = message.server;
    envelope.account = message.account;
    envelope.password = message.password;

    for (const QString* field : {&message.to, &message.cc, &message.bcc}) {
        for (const QString& entry : SplitReceivers(*field)) {
            const QString address = EnvelopeAddress(entry);
            if (address.isEmpty()) {
                return MailOutcome{MailFailure::Receiver,
                                   QStringLiteral("\"%1\" holds no usable address.").arg(entry.simplified())};
            }
            envelope.receivers.append(address);
        }
    }
    // No receiver at all is the transport's to refuse, before it connects.

    // An empty sender field gives the null reverse path, MAIL FROM:<>.
    const QString from = message.from.trimmed();
    envelope.sender = EnvelopeAddress(from);
    if (!from.isEmpty() && envelope.sender.isEmpty()) {
        return MailOutcome{MailFailure::SendFailed,
                           QStringLiteral("The sender \"%1\" holds no usable address.").arg(from.simplified())};
    }

    QString composeError;
    const MimeMessage mime(message, QDateTime::currentDateTime(), QSysInfo::machineHostName());
    const std::optional<QByteArray> text = mime.compose(&composeError);
    if (!text) return MailOutcome{MailFailure::SendFailed, composeError};
    return m_transport.send(envelope, *text);
}

}  // namespace tarvesk
