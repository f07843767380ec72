#include "config/settings_table.h"

#include <QSysInfo>

namespace tarvesk {

QString DefaultPageUrl() {
    QString host = QSysInfo::machineHostName();
    if (host.isEmpty()) host = QStringLiteral("localhost");
    return QStringLiteral("http://") + host;
}

const std::vector<SettingEntry>& SettingsTable() {
    using K = SettingEntry::Kind;
    using R = SettingsRecord;
    static const std::vector<SettingEntry> table = {
        {ini::kHowToMonitor, ini::kHowToMonitor, "PageURL", K::Text, DefaultPageUrl(), &R::pageUrl},
        {ini::kHowToMonitor, ini::kHowToMonitor, "Interval", K::Text, "10", &R::interval},
        {ini::kHowToMonitor, ini::kHowToMonitor, "CmdResetIIS", K::Text, "iisreset /restart", &R::iisResetCommand},
        {ini::kHowToMonitor, ini::kHowToMonitor, "ResetIIS", K::Check, "1", nullptr, &R::iisReset},
        {ini::kHowToMonitor, ini::kHowToMonitor, "PageFailureThreshold", K::Text, "2", &R::pageFailureThreshold},
        {ini::kHowToMonitor, ini::kHowToMonitor, "CmdResetComputer", K::Text, "shutdown.exe -r", &R::computerResetCommand},
        {ini::kHowToMonitor, ini::kHowToMonitor, "ResetComputer", K::Check, "1", nullptr, &R::computerReset},
        {ini::kHowToMonitor, ini::kHowToMonitor, "IISResetThreshold", K::Text, "2", &R::iisResetThreshold},
        {ini::kHowToMonitor, ini::kHowToMonitor, "AbortMonitor", K::Check, "1", nullptr, &R::abortMonitor},
        {ini::kHowToMonitor, ini::kHowToMonitor, "ComputerResetThreshold", K::Text, "2", &R::computerResetThreshold},
        {ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "NotifyIISReset", K::Check, "1", nullptr, &R::notifyIISReset},
        {ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "NotifyComputerReset", K::Check, "1", nullptr, &R::notifyComputerReset},
        {ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "NotifyAbortMonitor", K::Check, "1", nullptr, &R::notifyAbortMonitor},
        {ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "ReceiverEmail", K::Text, kDefaultMailAddress, &R::receiverEmail},
        {ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "SenderEmail", K::Text, kDefaultMailAddress, &R::senderEmail},
        {ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "SenderSMTP", K::Text, kDefaultSmtpHost, &R::senderSmtp},
        {ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "SenderAccount", K::Text, kDefaultMailAddress, &R::senderAccount},
        {ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "SenderPassword", K::Text, kDefaultPassword, &R::senderPassword},
        {ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "CertificateWarnDays", K::Text, "14", &R::certificateWarnDays,
         nullptr, true},
        {ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "NotifyCertificate", K::Check, "1", nullptr,
         &R::notifyCertificate},
    };
    return table;
}

QString PathBeside(const QString& folder, const QString& fileName) {
    if (folder.endsWith(QLatin1Char('/'))) return folder + fileName;
    return folder + QLatin1Char('/') + fileName;
}

}  // namespace tarvesk
