#pragma once

#include <QString>

#include "platform/mail_transport.h"

namespace tarvesk {

// Texts of the mail side, in English or (when `chinese`) Chinese.
namespace notification {

// What the operator is told for each failure class; the transport's own
// description follows it directly.
QString FailureText(MailFailure failure, bool chinese);

// Log details of a notification's outcome.
QString SentDetail(const QString& receivers);
QString NotSentDetail(const QString& receivers, const QString& failureText);

// The body of an event's notice: empty for an event without a detail, as
// the notices have always been; the detail, escaped, for one with it.
QString EventBody(const QString& detail);

// The operator's test mail.
QString TestSubject();
QString TestBody(const QString& dateTimeText);

}  // namespace notification
}  // namespace tarvesk
