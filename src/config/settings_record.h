#pragma once

#include <QString>

namespace tarvesk {

// The 20 settings as the watchdog uses them: every operation reads the one it
// needs at the moment of use, so an edit takes effect at its next use, saved
// or not. Texts are held as the operator's fields show them (blanks around
// them dropped, but for the last threshold); a switch is on or off.
struct SettingsRecord {
    // How to monitor.
    QString pageUrl;
    QString interval;
    QString iisResetCommand;
    bool iisReset = false;
    QString pageFailureThreshold;
    QString computerResetCommand;
    bool computerReset = false;
    QString iisResetThreshold;
    bool abortMonitor = false;
    QString computerResetThreshold;
    // How to notify.
    bool notifyIISReset = false;
    bool notifyComputerReset = false;
    bool notifyAbortMonitor = false;
    QString receiverEmail;
    QString senderEmail;
    QString senderSmtp;
    QString senderAccount;
    QString senderPassword;
    // Days before its end from which the page's certificate is warned of,
    // once a day; 0 never.
    QString certificateWarnDays;
    bool notifyCertificate = false;

    // A later stage is never on while an earlier one is off: a later stage
    // that is on turns the earlier ones on.
    void applyStageChain();
};

}  // namespace tarvesk
