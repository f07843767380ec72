#include "config/settings_table.h"

#include <QSysInfo>

namespace tarvesk {

QString DefaultPageUrl() {
    QString host = QSysInfo::machineHostName();
    if (host.isEmpty()) host = QStringLiteral("localhost");
    return QStringLiteral("http://") + host;
}

const std::vector<SettingEntry>& SettingsTable() {
    using R = SettingsRecord;
    static const std::vector<SettingEntry> table = {
        {ini::kHowToMonitor, ini::kHowToMonitor, "PageURL", DefaultPageUrl(), &R::pageUrl},
        {ini::kHowToMonitor, ini::kHowToMonitor, "Interval", "10", &R::interval},
        {ini::kHowToMonitor, ini::kHowToMonitor, "CmdResetIIS", "iisreset /restart", &R::iisResetCommand},
        {ini::kHowToMonitor, ini::kHowToMonitor, "ResetIIS", "1", nullptr, &R::iisReset},
        {ini::kHowToMonitor, ini::kHowToMonitor, "PageFailureThreshold", "2", &R::pageFailureThreshold},
        {ini::kHowToMonitor, ini::kHowToMonitor, "CmdResetComputer", "shutdown.exe -r", &R::computerResetCommand},
        {ini::kHowToMonitor, ini::kHowToMonitor, "ResetComputer", "1", nullptr, &R::computerReset},
        {ini::kHowToMonitor, ini::kHowToMonitor, "IISResetThreshold", "2", &R::iisResetThreshold},
        {ini::kHowToMonitor, ini::kHowToMonitor, "AbortMonitor", "1", nullptr, &R::abortMonitor},
        {ini::kHowToMonitor, ini::kHowToMonitor, "ComputerResetThreshold", "2", &R::computerResetThreshold},
        {ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "NotifyIISReset", "1", nullptr, &R::notifyIISReset},
        {ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "NotifyComputerReset", "1", nullptr, &R::notifyComputerReset},
        {ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "NotifyAbortMonitor", "1", nullptr, &R::notifyAbortMonitor},
        {ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "ReceiverEmail", kDefaultMailAddress, &R::receiverEmail},
        {ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "SenderEmail", kDefaultMailAddress, &R::senderEmail},
        {ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "SenderSMTP", kDefaultSmtpHost, &R::senderSmtp},
        {ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "SenderAccount", kDefaultMailAddress, &R::senderAccount},
        {ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "SenderPassword", kDefaultPassword, &R::senderPassword},
        {ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "CertificateWarnDays", "14", &R::certificateWarnDays,
         nullptr, true},
        {ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "NotifyCertificate", "1", nullptr, &R::notifyCertificate},
    };
    return table;
}

QString PathBeside(const QString& folder, const QString& fileName) {
    if (folder.endsWith(QLatin1Char('/'))) return folder + fileName;
    return folder + QLatin1Char('/') + fileName;
}

}  // namespace tarvesk
