#include "notify/notification_texts.h"

namespace tarvesk::notification {

QString FailureText(MailFailure failure, bool chinese) {
    switch (failure) {
        case MailFailure::None:
            return {};
        case MailFailure::Connect:
            return chinese ? QStringLiteral("无法连接 SMTP Server。")
                           : QStringLiteral("Connect to SMTP Server failed.");
        case MailFailure::Authentication:
            return chinese ? QStringLiteral("无法登录 SMTP Server。")
                           : QStringLiteral("SMTP Server authentication failed.");
        case MailFailure::Receiver:
            return chinese ? QStringLiteral("Email 收件地址错误。")
                           : QStringLiteral("Email of Receiver is error.");
        case MailFailure::SendFailed:
            break;
    }
    return chinese ? QStringLiteral("Email 发送失败。") : QStringLiteral("Send Email failed.");
}

QString SentDetail(const QString& receivers) {
    return QStringLiteral("Send success, to:") + receivers;
}

QString NotSentDetail(const QString& receivers, const QString& failureText) {
    return QStringLiteral("Send failed, to:") + receivers + QLatin1Char(',') + failureText;
}

QString EventBody(const QString& detail) {
    if (detail.isEmpty()) return {};
    return QStringLiteral("<HTML><BODY style='font-size:10pt;'>") + detail.toHtmlEscaped() +
           QStringLiteral("</BODY></HTML>");
}

QString TestSubject() { return QStringLiteral("(Tarvesk) Trial of Send Email"); }

QString TestBody(const QString& dateTimeText) {
    return QStringLiteral("<HTML><BODY style='font-size:10pt;'>") +
           QStringLiteral("Dear Sirs,<BR>This is an Email Notification Trail in Tarvesk.<BR>Thanks.<BR>") +
           dateTimeText + QStringLiteral("</BODY></HTML>");
}

}  // namespace tarvesk::notification
