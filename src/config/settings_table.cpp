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
    static const std::vector<SettingEntry> table = {
        {"txtPageURL", ini::kHowToMonitor, ini::kHowToMonitor, "PageURL", K::Text, DefaultPageUrl()},
        {"txtPageCheckInterval", ini::kHowToMonitor, ini::kHowToMonitor, "Interval", K::Text, "10"},
        {"txtIISResetCommand", ini::kHowToMonitor, ini::kHowToMonitor, "CmdResetIIS", K::Text, "iisreset /restart"},
        {"chkIISReset", ini::kHowToMonitor, ini::kHowToMonitor, "ResetIIS", K::Check, "1"},
        {"txtPageFailureThreshold", ini::kHowToMonitor, ini::kHowToMonitor, "PageFailureThreshold", K::Text, "2"},
        {"txtComputerResetCommand", ini::kHowToMonitor, ini::kHowToMonitor, "CmdResetComputer", K::Text, "shutdown.exe -r"},
        {"chkComputerReset", ini::kHowToMonitor, ini::kHowToMonitor, "ResetComputer", K::Check, "1"},
        {"txtIISResetThreshold", ini::kHowToMonitor, ini::kHowToMonitor, "IISResetThreshold", K::Text, "2"},
        {"chkAbortMonitor", ini::kHowToMonitor, ini::kHowToMonitor, "AbortMonitor", K::Check, "1"},
        {"txtComputerResetThreshold", ini::kHowToMonitor, ini::kHowToMonitor, "ComputerResetThreshold", K::Text, "2"},
        {"chkNotifyIISReset", ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "NotifyIISReset", K::Check, "1"},
        {"chkNotifyComputerReset", ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "NotifyComputerReset", K::Check, "1"},
        {"chkNotifyAbortMonitor", ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "NotifyAbortMonitor", K::Check, "1"},
        {"txtReceiverEmail", ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "ReceiverEmail", K::Text, kDefaultMailAddress},
        {"txtSenderEmail", ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "SenderEmail", K::Text, kDefaultMailAddress},
        {"txtSenderSMTP", ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "SenderSMTP", K::Text, kDefaultSmtpHost},
        {"txtSenderAccount", ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "SenderAccount", K::Text, kDefaultMailAddress},
        {"txtSenderPassword", ini::kHowToNotifyWrite, ini::kHowToNotifyRead, "SenderPassword", K::Text, kDefaultPassword},
    };
    return table;
}

QString PathBeside(const QString& folder, const QString& fileName) {
    if (folder.endsWith(QLatin1Char('/'))) return folder + fileName;
    return folder + QLatin1Char('/') + fileName;
}

}  // namespace tarvesk
