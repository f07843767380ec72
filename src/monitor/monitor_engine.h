#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>

#include "config/settings_record.h"
#include "monitor/messages.h"
#include "monitor/page_state_journal.h"
#include "platform/kept_file.h"
#include "platform/period_timer.h"
#include "platform/services.h"
#include "platform/strict_modes.h"

namespace tarvesk {

class Folder;

// The watchdog: start-up and resume, starting and stopping a run, the page
// check, the timed cycle with its escalation, the recovery actions, the log
// and the mail notices. It owns the live settings, the run status and the
// monitoring timer, and uses no widget: the service runs it alone, and the
// window edits its settings and shows what it reports through the signals.
// Where a message box is due it asks the prompt of its services.
class MonitorEngine : public QObject {
    Q_OBJECT
public:
    // A command that was not started says why: for the log in one language,
    // as every log detail, and for a box in the operator's. Empty when it was.
    struct CommandStart {
        QString logText;
        QString boxText;
        bool started() const { return logText.isEmpty(); }
    };

    explicit MonitorEngine(Services services, QObject* parent = nullptr);
    ~MonitorEngine() override;

    // Start-up: the settings and status loaded (the factory settings written
    // on a first run), the language set, and a saved run resumed.
    void Form_Load();
    void LoadDefaultSettings();
    void LoadSettings();
    void SaveSettings();
    // Takes the language code ("eng", "cn"); the status line says "ready" in
    // it, and languageChanged tells the window.
    void SetLanguage(const QString& curLanguage);

    // The start button's fresh run, once its checks have passed: a new start
    // time and every persisted count at 0, then StartMonitoring.
    void StartNewRun();
    // Arms the timer; also what start-up calls to resume a run.
    void StartMonitoring();
    // The stop button's work: the timer off and the run recorded as stopped.
    void StopMonitoring();
    bool CheckPage();
    void Timer1_Timer();
    CommandStart RunIISReset();
    CommandStart RunComputerReset();
    void AbortMonitoring();
    // The first good check after a recovery the cycle made: how long the page
    // was bad and which recovery came last, logged, and mailed where that
    // recovery was.
    void SiteBack();
    // Once a calendar day while the certificate of the page's server is
    // within the warning days of its end: logged, and mailed when asked.
    void WarnOfCertificate();
    // Mails the event `kind`; `detail`, where there is one, is its body.
    void NotifyByEmail(const QString& kind, const QString& detail = QString());
    // Starts a command without waiting, as root only when the settings it
    // came from are root's alone.
    CommandStart startCommand(const QString& command);

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

    // The status line: a message with the time after a TAB, told to the
    // service manager too; or a bare text, told only by announceStatus.
    void showStatusLine(const QString& message);
    void setStatusText(const QString& text);
    // Says the status line's message, without its time, through
    // serviceStatusChanged.
    void announceStatus();
    // The last check's reason, duration and time, for the status tool tip.
    QString lastCheckText() const;
    // The timer's period, changed by an edit of the interval; the on/off
    // state stays, so a running cycle goes on at the new pace.
    void setCheckPeriod(int milliseconds);

    // The live settings: the window writes each edit here at once.
    SettingsRecord& settings() { return m_settings; }
    const SettingsRecord& settings() const { return m_settings; }
    const Services& services() const { return m_services; }

    // Read-only views for the program's own checks and for tests.
    const QString& iniPath() const { return m_iniPath; }
    // Root's verdict on the settings as they were read at start-up.
    const Trust& settingsTrust() const { return m_settingsTrust; }
    const QString& language() const { return m_language; }
    const QString& monitoring() const { return m_monitoring; }
    bool loaded() const { return m_loaded; }
    const QString& statusLine() const { return m_statusLine; }
    const QDateTime& startTime() const { return m_startTime; }
    int32_t pageCheckCount() const { return m_pageCheckCount; }
    int32_t iisResetCount() const { return m_iisResetCount; }
    int32_t computerResetCount() const { return m_computerResetCount; }
    int32_t continuousPageFailure() const { return m_continuousPageFailure; }
    int32_t continuousIISResetFailure() const { return m_continuousIISResetFailure; }
    int32_t continuousComputerResetFailure() const { return m_continuousComputerResetFailure; }
    const PeriodTimer& timer1() const { return m_timer1; }

signals:
    void statusLineChanged(const QString& text);
    void countsChanged(int pageChecks, int iisResets, int computerResets);
    // The start time as shown, or "" when none is to be shown.
    void startTimeChanged(const QString& text);
    // A run started, or one stopped or given up: the start button follows.
    void runningChanged(bool running);
    void languageChanged(const QString& language);
    // Loading or defaulting replaced the settings record.
    void settingsLoaded();
    // The status for the service manager: the status line's message and,
    // while the page fails, the reason; sent only when one of them changes,
    // and only while something listens.
    void serviceStatusChanged(const QString& text);

private:
    void sayStagesTurnedOn(const QStringList& stored);
    QString msg(Msg message) const;
    void inform(const QString& text);
    void announce(const QString& message);
    // Writes an event to the log, and says it on standard error.
    void logEvent(const QString& kind, const QString& detail);
    void showCounts();
    void yieldToEvents();
    // startCommand, logging a failure as a second line of the event `kind`.
    CommandStart startLoggedCommand(const QString& kind, const QString& command);
    // A recovery stage fired: what the site-back notice will need is on disk
    // before its command runs, so a reboot does not lose it.
    void noteRecovery(const char* kind);
    void forgetRecovery();
    // The seconds the certificate of the last check has left, when it lies
    // within the warning days.
    std::optional<qint64> certificateSecondsLeft() const;

    Services m_services;
    SettingsRecord m_settings;
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
    QString m_statusLine;
    bool m_inTick = false;
    PageStateJournal m_journal;
    HttpResult m_lastCheck;
    QDateTime m_lastCheckTime;
    // The first failed check of the streak, and the recovery the cycle made
    // last in it (its event kind): persisted once a recovery fires.
    QDateTime m_pageBadSince;
    QString m_lastRecovery;
    QDate m_certificateWarnedOn;

    PeriodTimer m_timer1;
};

}  // namespace tarvesk
