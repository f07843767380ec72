#pragma once

#include <QDateTime>
#include <QString>
#include <QWidget>
#include <QStringList>
#include <cstdint>
#include <memory>

#include "monitor/page_state_journal.h"
#include "platform/kept_file.h"
#include "platform/period_timer.h"
#include "platform/services.h"
#include "platform/strict_modes.h"
#include "window/messages.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tarvesk {

class ClickableLabel;
class Folder;

// The program's one window. It owns every setting (its input fields are the
// live settings), the run status and the monitoring timer, and keeps the
// sequencing of every operation; the work that needs no widget lives in the
// core classes it calls.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(Services services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Profile store, always on m_iniPath in practice.
    QString ReadIni(const QString& FileName, const QString& Section, const QString& KeyName,
                    const QString& DefaultValue);
    bool WriteIni(const QString& FileName, const QString& Section, const QString& KeyName,
                  const QString& Value);

    // "yyyy-m-d hh:mm:ss" of a date-time, or of a text that reads as a date;
    // "" for anything else.
    QString FormatDateAndTime(const QDateTime& Value);
    QString FormatDateAndTime(const QString& Value);

    // Sends one HTML mail; "" on success, otherwise the failure text in the
    // current language followed by the transport's description.
    QString SendMail(const QString& MailServerName, const QString& MailFrom, const QString& MailTo,
                     const QString& MailCC, const QString& MailBCC, const QString& MailUID,
                     const QString& MailPWD, const QString& Subject, const QString& MailBody,
                     const QString& AttachFiles);

    // Running state of the web site: 2 started, 4 stopped, 0 unknown.
    int16_t GetIISStatus();

    void LogToFile(const QString& FuncName, const QString& strDesc);
    void SetLanguage(const QString& curLanguage);

    // Read-only views for the program's own checks and for tests.
    const QString& iniPath() const { return m_iniPath; }
    // Root's verdict on the settings as they were read at start-up.
    const Trust& settingsTrust() const { return m_settingsTrust; }
    const QString& language() const { return m_language; }
    const QString& monitoring() const { return m_monitoring; }
    bool loaded() const { return m_loaded; }
    const QDateTime& startTime() const { return m_startTime; }
    int32_t pageCheckCount() const { return m_pageCheckCount; }
    int32_t iisResetCount() const { return m_iisResetCount; }
    int32_t computerResetCount() const { return m_computerResetCount; }
    int32_t continuousPageFailure() const { return m_continuousPageFailure; }
    int32_t continuousIISResetFailure() const { return m_continuousIISResetFailure; }
    int32_t continuousComputerResetFailure() const { return m_continuousComputerResetFailure; }
    const PeriodTimer& timer1() const { return m_timer1; }

    // Says the text of the status line, without its time, through
    // serviceStatusChanged.
    void announceStatus();

signals:
    // The status for the service manager: the status line's message and,
    // while the page fails, the reason; sent only when one of them changes,
    // and only while something listens.
    void serviceStatusChanged(const QString& text);

public slots:
    void Form_Load();
    void Timer1_Timer();

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

protected:
    // A command that was not started says why: for the log in one language,
    // as every log detail, and for a box in the window's. Empty when it was.
    struct CommandStart {
        QString logText;
        QString boxText;
        bool started() const { return logText.isEmpty(); }
    };

    void LoadDefaultSettings();
    void LoadSettings();
    void sayStagesTurnedOn(const QStringList& stored);
    void SaveSettings();
    void StartMonitoring();
    bool CheckPage();
    CommandStart RunIISReset();
    CommandStart RunComputerReset();
    void AbortMonitoring();
    void NotifyByEmail(const QString& kind);

private:
    void buildControls();
    // Accessible names and descriptions made from the current captions.
    void nameControls();
    void wireHandlers();
    void setTabOrder();

    // Field access. Readers see the text trimmed of blanks, except the one
    // field that is never trimmed.
    QString field(const QLineEdit* edit) const;
    void setFieldText(QLineEdit* edit, const QString& text);
    void trimField(QLineEdit* edit);
    bool isOn(const QCheckBox* box) const;
    void setChecked(QCheckBox* box, bool on);

    QString msg(Msg message) const;
    void inform(const QString& text);
    void showStatusLine(const QString& message);
    void announce(const QString& message);
    // The last check's reason, duration and time, for the status tool tip.
    QString lastCheckText() const;
    // Writes an event to the log, and says it on standard error.
    void logEvent(const QString& kind, const QString& detail);
    void showCounts();
    void yieldToEvents();
    void checkPositiveNumber(QLineEdit* edit, bool retimes);
    // Starts a command without waiting.
    CommandStart startCommand(const QString& command);
    // The same, logging a failure as a second line of the event `kind`.
    CommandStart startLoggedCommand(const QString& kind, const QString& command);

    Services m_services;
    // The executable's folder, opened once: every file is reached through it.
    std::shared_ptr<const Folder> m_folder;
    std::unique_ptr<KeptFile> m_ini;  // Tarvesk.ini in m_folder
    // Root's verdict on the settings as read, and the command texts read
    // while it failed: those are never run as root, whatever the files look
    // like later.
    Trust m_settingsTrust;
    QStringList m_untrustedCommands;

    // Run status.
    bool m_loaded = false;
    QString m_iniPath;
    QDateTime m_startTime;
    int32_t m_pageCheckCount = 0;
    int32_t m_iisResetCount = 0;
    int32_t m_computerResetCount = 0;
    int32_t m_continuousPageFailure = 0;
    int32_t m_continuousIISResetFailure = 0;
    int32_t m_continuousComputerResetFailure = 0;
    QString m_monitoring;
    QString m_language;
    bool m_inTick = false;
    PageStateJournal m_journal;
    HttpResult m_lastCheck;
    QDateTime m_lastCheckTime;

    PeriodTimer m_timer1;

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
