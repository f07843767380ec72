#pragma once

#include <QString>
#include <QWidget>
#include <utility>
#include <vector>

#include "config/settings_record.h"
#include "monitor/messages.h"
#include "monitor/monitor_engine.h"
#include "platform/services.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tarvesk {

class ClickableLabel;

// The operator's window onto the engine it owns. Its fields are the engine's
// live settings: every edit is written to the engine's settings record at
// once, before any saving, and a load fills the fields from the record. It
// keeps what is the window's own: the controls and their captions, the
// validation of edits, the message boxes, and the manual actions with their
// confirmations; it shows what the engine reports.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(Services services, QWidget* parent = nullptr);
    ~MainWindow() override;

    MonitorEngine& engine() { return m_engine; }
    // The engine's language, with the window's captions in it.
    void SetLanguage(const QString& curLanguage);

public slots:
    void Option1_Click();
    void Option2_Click();

    void txtPageURL_Change();
    void txtPageCheckInterval_Change();
    void txtIISResetCommand_Change();
    void txtPageFailureThreshold_Change();
    void txtComputerResetCommand_Change();
    void txtIISResetThreshold_Change();
    void txtReceiverEmail_Change();
    void txtSenderEmail_Change();
    void txtSenderSMTP_Change();
    void txtSenderAccount_Change();
    void txtSenderPassword_Change();
    void txtCertificateWarnDays_Change();

    void chkIISReset_Click();
    void chkComputerReset_Click();
    void chkAbortMonitor_Click();

    void cmdCheckPage_Click();
    void cmdIISReset_Click();
    void cmdComputerReset_Click();
    void lblSupport_Click();
    void cmdSendEmail_Click();
    void cmdSave_Click();
    void cmdStartMonitor_Click();
    void cmdStopMonitor_Click();

private:
    void buildControls();
    // Accessible names and descriptions made from the current captions.
    void nameControls();
    void wireHandlers();
    void setTabOrder();
    // What the engine reports, shown.
    void showLanguage(const QString& language);
    void showSettings();
    void showCounts(int pageChecks, int iisResets, int computerResets);

    // Field access. Readers see the text trimmed of blanks, except the one
    // field that is never trimmed.
    QString field(const QLineEdit* edit) const;
    void setFieldText(QLineEdit* edit, const QString& text);
    void trimField(QLineEdit* edit);
    bool isOn(const QCheckBox* box) const;
    void setChecked(QCheckBox* box, bool on);

    QString msg(Msg message) const;
    void inform(const QString& text);
    void yieldToEvents();
    void checkPositiveNumber(QLineEdit* edit, bool retimes);

    MonitorEngine m_engine;
    // Each field and switch with the member of the settings record it edits.
    std::vector<std::pair<QLineEdit*, QString SettingsRecord::*>> m_textSettings;
    std::vector<std::pair<QCheckBox*, bool SettingsRecord::*>> m_checkSettings;

    // Top strip.
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    ClickableLabel* lblSupport = nullptr;
    // Settings - How to Monitor.
    QGroupBox* Frame1 = nullptr;
    QLineEdit* txtPageURL = nullptr;
    QPushButton* cmdCheckPage = nullptr;
    QLineEdit* txtPageCheckInterval = nullptr;
    QLineEdit* txtIISResetCommand = nullptr;
    QPushButton* cmdIISReset = nullptr;
    QCheckBox* chkIISReset = nullptr;
    QLineEdit* txtPageFailureThreshold = nullptr;
    QLineEdit* txtComputerResetCommand = nullptr;
    QPushButton* cmdComputerReset = nullptr;
    QCheckBox* chkComputerReset = nullptr;
    QLineEdit* txtIISResetThreshold = nullptr;
    QCheckBox* chkAbortMonitor = nullptr;
    QLineEdit* txtComputerResetThreshold = nullptr;
    // Settings - Email Notice.
    QGroupBox* Frame3 = nullptr;
    QCheckBox* chkNotifyIISReset = nullptr;
    QCheckBox* chkNotifyComputerReset = nullptr;
    QCheckBox* chkNotifyAbortMonitor = nullptr;
    QLineEdit* txtReceiverEmail = nullptr;
    QLineEdit* txtSenderEmail = nullptr;
    QPushButton* cmdSendEmail = nullptr;
    QLineEdit* txtSenderSMTP = nullptr;
    QLineEdit* txtSenderAccount = nullptr;
    QLineEdit* txtSenderPassword = nullptr;
    QLineEdit* txtCertificateWarnDays = nullptr;
    QCheckBox* chkNotifyCertificate = nullptr;
    // Status - Monitor Actions.
    QGroupBox* Frame2 = nullptr;
    QLabel* lblStartTime = nullptr;
    QLabel* lblPageCheckCount = nullptr;
    QLabel* lblIISResetCount = nullptr;
    QLabel* lblComputerResetCount = nullptr;
    QLabel* lblStatus = nullptr;
    // Button row.
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdStartMonitor = nullptr;
    QPushButton* cmdStopMonitor = nullptr;
};

}  // namespace tarvesk
