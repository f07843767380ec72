#include "monitor/monitor_engine.h"

#include <QMetaMethod>
#include <utility>

#include "config/profile_store.h"
#include "config/settings_table.h"
#include "monitor/monitor_rules.h"
#include "notify/event_log.h"
#include "notify/mail_sender.h"
#include "notify/notification_texts.h"
#include "platform/folder.h"
#include "platform/off_thread.h"
#include "platform/path_walk.h"
#include "platform/text_conv.h"

namespace tarvesk {
namespace {

constexpr char kResetIIS[] = "Reset IIS";
constexpr char kResetComputer[] = "Reset Computer";
constexpr char kAbortMonitor[] = "Abort Monitor";
constexpr char kSendEmail[] = "Send Email";
constexpr char kSiteBack[] = "Site Back";
constexpr char kCertificate[] = "Certificate";
constexpr char kStartFailed[] = "Start failed: ";
constexpr char kRebootNotPersisted[] = "Not started: the run status could not be saved.";

QString IniName() { return QString::fromLatin1(ini::kIniFileName); }
QByteArray IniEntry() { return QByteArray(ini::kIniFileName); }

QString Switch(bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); }

}  // namespace

MonitorEngine::MonitorEngine(Services services, QObject* parent)
    : QObject(parent),
      m_services(std::move(services)),
      // The status line before anything is loaded, as the window was drawn.
      m_statusLine(Text(Msg::ReadyToStart, QStringLiteral("eng"))),
      m_timer1(this) {
    m_timer1.setObjectName(QStringLiteral("Timer1"));
    connect(&m_timer1, &PeriodTimer::tick, this, &MonitorEngine::Timer1_Timer);
}

MonitorEngine::~MonitorEngine() = default;

// ---------------------------------------------------------------------------
// Small helpers

QString MonitorEngine::msg(Msg message) const { return Text(message, m_language); }

void MonitorEngine::inform(const QString& text) {
    if (m_services.prompt) m_services.prompt->inform(text);
}

void MonitorEngine::showStatusLine(const QString& message) {
    setStatusText(message + QLatin1Char('\t') + FormatGeneralDateTime(m_services.now()));
    announce(message);
}

void MonitorEngine::setStatusText(const QString& text) {
    m_statusLine = text;
    emit statusLineChanged(m_statusLine);
}

void MonitorEngine::announceStatus() { announce(m_statusLine.section(QLatin1Char('\t'), 0, 0)); }

void MonitorEngine::announce(const QString& message) {
    static const QMetaMethod signal = QMetaMethod::fromSignal(&MonitorEngine::serviceStatusChanged);
    if (!isSignalConnected(signal)) return;
    const QString text = m_journal.statusChange(message);
    if (!text.isEmpty()) emit serviceStatusChanged(text);
}

QString MonitorEngine::lastCheckText() const {
    if (!m_lastCheckTime.isValid()) return {};
    QString text = LastCheckText(m_lastCheck, FormatGeneralDateTime(m_lastCheckTime), m_language);
    if (const std::optional<qint64> left = certificateSecondsLeft()) {
        text += QLatin1Char('\n') +
                CertificateText(m_lastCheck.certificateHost, m_lastCheck.certificateExpiry, *left, m_language);
    }
    return text;
}

void MonitorEngine::setCheckPeriod(int milliseconds) { m_timer1.setInterval(milliseconds); }

void MonitorEngine::logEvent(const QString& kind, const QString& detail) {
    LogToFile(kind, detail);
    m_journal.logged(kind, detail);
}

void MonitorEngine::showCounts() { emit countsChanged(m_pageCheckCount, m_iisResetCount, m_computerResetCount); }

void MonitorEngine::yieldToEvents() {
    if (m_services.yield) m_services.yield();
}

// ---------------------------------------------------------------------------
// Profile store, date form, log, mail, site state

// The program's own file is reached through its folder, opened once; any
// other path is opened for the call.
QString MonitorEngine::ReadIni(const QString& FileName, const QString& Section, const QString& KeyName,
                               const QString& DefaultValue) {
    if (m_ini && FileName == m_iniPath) return ProfileStore::ReadIni(*m_ini, Section, KeyName, DefaultValue);
    return ProfileStore::ReadIni(FileName, Section, KeyName, DefaultValue);
}

bool MonitorEngine::WriteIni(const QString& FileName, const QString& Section, const QString& KeyName,
                             const QString& Value) {
    if (m_ini && FileName == m_iniPath) return ProfileStore::WriteIni(*m_ini, Section, KeyName, Value);
    return ProfileStore::WriteIni(FileName, Section, KeyName, Value);
}

QString MonitorEngine::FormatDateAndTime(const QDateTime& Value) {
    return Value.isValid() ? FormatFixedDateTime(Value) : QString();
}

QString MonitorEngine::FormatDateAndTime(const QString& Value) {
    const std::optional<QDateTime> date = ParseDate(Value);
    return date ? FormatFixedDateTime(*date) : QString();
}

void MonitorEngine::LogToFile(const QString& FuncName, const QString& strDesc) {
    EventLog::Append(*m_folder, m_services.now(), FuncName, strDesc);
}

QString MonitorEngine::SendMail(const QString& MailServerName, const QString& MailFrom, const QString& MailTo,
                                const QString& MailCC, const QString& MailBCC, const QString& MailUID,
                                const QString& MailPWD, const QString& Subject, const QString& MailBody,
                                const QString& AttachFiles) {
    MailMessage message;
    message.server = MailServerName;
    message.from = MailFrom;
    message.to = MailTo;
    message.cc = MailCC;
    message.bcc = MailBCC;
    message.account = MailUID;
    message.password = MailPWD;
    message.subject = Subject;
    message.htmlBody = MailBody;
    message.attachment = AttachFiles;
    std::shared_ptr<MailTransport> transport = m_services.mail;
    // Events keep being handled (a window paints and takes clicks, a service
    // pings its watchdog) while the mail is composed (an attachment is read)
    // and goes out.
    const MailOutcome outcome =
        RunOffThread([transport, message] { return MailSender(*transport).send(message); });
    if (outcome.failure == MailFailure::None) return {};
    // The language is read at the moment of the failure.
    return notification::FailureText(outcome.failure, m_language == QLatin1String("cn")) + outcome.description;
}

int16_t MonitorEngine::GetIISStatus() {
    std::shared_ptr<SiteProbe> probe = m_services.siteProbe;
    const QString url = m_settings.pageUrl;
    const int state = RunOffThread([probe, url] { return probe->state(url); });
    return state == SiteStarted || state == SiteStopped ? static_cast<int16_t>(state) : int16_t{SiteUnknown};
}

// ---------------------------------------------------------------------------
// Start-up

void MonitorEngine::Form_Load() {
    m_loaded = false;
    m_timer1.setEnabled(false);
    // The folder is resolved once: a path renamed or replaced later changes
    // nothing the program reads or writes.
    if (!m_folder) {
        m_folder = m_services.programFolder
                       ? m_services.programFolder
                       : std::make_shared<const Folder>(Folder::Open(m_services.executableFolder()));
    }
    m_iniPath = PathBeside(m_services.executableFolder(), IniName());
    // Read and written many times a run: its bytes are kept while it is unchanged.
    if (!m_ini) m_ini = std::make_unique<KeptFile>(*m_folder, IniEntry());
    if (!m_folder->isOpen()) {
        // Factory settings saved over a run that cannot be seen would be
        // worse than nothing: say so and leave everything as it is.
        m_settingsTrust = Trust();
        m_untrustedCommands.clear();
        LoadDefaultSettings();
        SetLanguage(m_language);
        setStatusText(FolderUnusableText(m_folder->path(), m_folder->errorCode(), m_language));
        m_loaded = true;
        return;
    }
    // Copies of the settings (password included) that a killed write left.
    ProfileStore::RemoveLeftovers(*m_folder, IniName());
    if (m_folder->hasFile(IniEntry())) {
        LoadSettings();
    } else {
        m_settingsTrust = JudgeFile(*m_folder, IniEntry());
        m_untrustedCommands.clear();
        LoadDefaultSettings();
        SaveSettings();
    }
    SetLanguage(m_language);
    if (m_monitoring == QLatin1String("1")) StartMonitoring();
    m_loaded = true;
}

void MonitorEngine::SetLanguage(const QString& curLanguage) {
    m_language = TrimBlanks(curLanguage).toLower();
    if (m_services.prompt) m_services.prompt->setLanguage(m_language);
    if (m_language == QLatin1String("eng") || m_language == QLatin1String("cn")) {
        setStatusText(msg(Msg::ReadyToStart));
    }
    emit languageChanged(m_language);
}

// ---------------------------------------------------------------------------
// Settings record

// A later stage on turns the earlier ones on, also when loading: a file that
// says ResetComputer=0 with AbortMonitor=1 reboots. Nobody sees the switches
// of a service, so its journal says which stored values did not hold.
void MonitorEngine::sayStagesTurnedOn(const QStringList& stored) {
    QStringList changed;
    int index = 0;
    for (const SettingEntry& entry : SettingsTable()) {
        if (!entry.isSwitch()) continue;
        const QString loaded = Switch(m_settings.*entry.check);
        if (loaded != stored.value(index++)) changed.append(QLatin1String(entry.key) + QLatin1Char('=') + loaded);
    }
    if (changed.isEmpty()) return;
    m_journal.say(QStringLiteral("%1: loaded as %2, because a later stage is on and no stage is on while an earlier "
                                 "one is off")
                      .arg(m_iniPath, changed.join(QStringLiteral(", "))));
}

namespace {

// A text as its field shows it: every field but the last threshold drops the
// blanks around it.
void Put(SettingsRecord& record, const SettingEntry& entry, const QString& value) {
    const bool kept = entry.text == &SettingsRecord::computerResetThreshold;
    record.*entry.text = kept ? value : TrimBlanks(value);
}

}  // namespace

void MonitorEngine::LoadDefaultSettings() {
    for (const SettingEntry& entry : SettingsTable()) {
        if (entry.isSwitch()) {
            m_settings.*entry.check = entry.factoryValue == QLatin1String("1");
        } else {
            Put(m_settings, entry, entry.factoryValue);
        }
    }
    m_settings.applyStageChain();
    emit settingsLoaded();
    m_monitoring.clear();
    emit startTimeChanged(QString());
    emit countsChanged(0, 0, 0);
    m_language = QStringLiteral("eng");
}

void MonitorEngine::LoadSettings() {
    // Every read is judged on the very file it read.
    m_settingsTrust = Trust();
    auto read = [this](const char* section, const char* key, const QString& missing = QString()) {
        return ProfileStore::ReadIni(*m_ini, QLatin1String(section), QLatin1String(key), missing,
                                     &m_settingsTrust);
    };
    QStringList stored;  // each switch as the file has it
    for (const SettingEntry& entry : SettingsTable()) {
        const QString value = read(entry.readSection, entry.key, entry.missingIsFactory ? entry.factoryValue : QString());
        if (entry.isSwitch()) {
            // Only exactly "1" means on.
            m_settings.*entry.check = value == QLatin1String("1");
            stored.append(Switch(value == QLatin1String("1")));
        } else {
            Put(m_settings, entry, value);
        }
    }
    m_settings.applyStageChain();
    sayStagesTurnedOn(stored);
    emit settingsLoaded();

    m_monitoring = read(ini::kStatus, ini::kMonitoring);

    const std::optional<QDateTime> start = ParseDate(read(ini::kStatus, ini::kStartTime));
    if (start) {
        m_startTime = *start;
        emit startTimeChanged(FormatGeneralDateTime(m_startTime));
    }

    auto loadCounter = [&](const char* key, int32_t& counter) {
        // Letters, or a number outside 32 bits, leave the counter as it was.
        if (const std::optional<int32_t> value = ToInt32(read(ini::kStatus, key))) counter = *value;
    };
    loadCounter(ini::kPageCheckCount, m_pageCheckCount);
    loadCounter(ini::kIISResetCount, m_iisResetCount);
    loadCounter(ini::kComputerResetCount, m_computerResetCount);
    loadCounter(ini::kContinuousComputerResetFailure, m_continuousComputerResetFailure);
    // A run that a recovery left with the page bad: the notice that it is
    // back still comes after the reboot.
    const QString lastRecovery = read(ini::kStatus, ini::kLastRecovery);
    if (lastRecovery == QLatin1String(kResetIIS) || lastRecovery == QLatin1String(kResetComputer)) {
        m_lastRecovery = lastRecovery;
        m_pageBadSince = ParseDate(read(ini::kStatus, ini::kPageBadSince)).value_or(QDateTime());
    }
    m_certificateWarnedOn = QDate::fromString(read(ini::kStatus, ini::kCertificateWarnedOn), QStringLiteral("yyyy-M-d"));

    const QString language = read(ini::kStatus, ini::kLanguage);
    m_language = language.isEmpty() ? QStringLiteral("eng") : language;

    m_untrustedCommands.clear();
    if (!m_settingsTrust.trusted()) {
        m_untrustedCommands << m_settings.iisResetCommand << m_settings.computerResetCommand;
    }
}

void MonitorEngine::SaveSettings() {
    for (const SettingEntry& entry : SettingsTable()) {
        const QString value = entry.isSwitch() ? Switch(m_settings.*entry.check) : m_settings.*entry.text;
        WriteIni(m_iniPath, QLatin1String(entry.writeSection), QLatin1String(entry.key), value);
    }
    WriteIni(m_iniPath, QLatin1String(ini::kStatus), QLatin1String(ini::kLanguage), m_language);
}

// ---------------------------------------------------------------------------
// Starting and stopping

void MonitorEngine::StartNewRun() {
    m_startTime = m_services.now();
    m_pageCheckCount = 0;
    m_iisResetCount = 0;
    m_computerResetCount = 0;
    m_continuousComputerResetFailure = 0;

    const QString status = QLatin1String(ini::kStatus);
    WriteIni(m_iniPath, status, QLatin1String(ini::kMonitoring), QStringLiteral("1"));
    WriteIni(m_iniPath, status, QLatin1String(ini::kStartTime), FormatDateAndTime(m_startTime));
    WriteIni(m_iniPath, status, QLatin1String(ini::kPageCheckCount), QStringLiteral("0"));
    WriteIni(m_iniPath, status, QLatin1String(ini::kIISResetCount), QStringLiteral("0"));
    WriteIni(m_iniPath, status, QLatin1String(ini::kComputerResetCount), QStringLiteral("0"));
    WriteIni(m_iniPath, status, QLatin1String(ini::kContinuousComputerResetFailure), QStringLiteral("0"));
    forgetRecovery();
    m_pageBadSince = QDateTime();

    StartMonitoring();
}

void MonitorEngine::StartMonitoring() {
    // A period that is not positive or does not fit the timer is refused like
    // a missing interval: the timer would otherwise spin or never tick.
    const std::optional<int> period = TimerPeriodMs(m_settings.interval);
    if (!IsAcceptableAddress(m_settings.pageUrl) || !period) {
        inform(msg(Msg::FillUrlAndInterval));
        return;
    }
    m_continuousPageFailure = 0;
    m_continuousIISResetFailure = 0;
    emit runningChanged(true);
    m_timer1.setInterval(*period);
    m_timer1.setEnabled(true);
    setStatusText(msg(Msg::Monitoring));
    announceStatus();
    emit startTimeChanged(m_startTime.isValid() ? FormatGeneralDateTime(m_startTime) : QString());
    showCounts();
    yieldToEvents();
    WriteIni(m_iniPath, QLatin1String(ini::kStatus), QLatin1String(ini::kMonitoring), QStringLiteral("1"));
}

void MonitorEngine::StopMonitoring() {
    emit runningChanged(false);
    m_timer1.setEnabled(false);
    setStatusText(msg(Msg::MonitorStopped));
    announceStatus();
    WriteIni(m_iniPath, QLatin1String(ini::kStatus), QLatin1String(ini::kMonitoring), QStringLiteral("0"));
}

// ---------------------------------------------------------------------------
// Page check and the monitoring cycle

bool MonitorEngine::CheckPage() {
    const QString url = m_settings.pageUrl;
    // Kept for the status tool tip and told to the journal, which says only
    // changes.
    auto note = [&](bool good, const HttpResult& result) {
        m_lastCheck = result;
        m_lastCheckTime = m_services.now();
        m_journal.checked(good, result, url);
        return good;
    };
    if (!IsAcceptableAddress(url)) {
        HttpResult refused;
        refused.error = QLatin1String(kUnusableAddressText);
        return note(false, refused);
    }
    // The count is on disk before the request goes out, so it survives a
    // check that never comes back.
    m_pageCheckCount = Incremented(m_pageCheckCount);
    WriteIni(m_iniPath, QLatin1String(ini::kStatus), QLatin1String(ini::kPageCheckCount),
             QString::number(m_pageCheckCount));
    std::shared_ptr<HttpClient> http = m_services.http;
    // Events keep being handled (clicks, paints, the watchdog's pings) while
    // the request runs.
    const HttpResult result = RunOffThread([http, url] { return http->get(url); });
    return note(result.transferOk && result.status == 200, result);
}

void MonitorEngine::Timer1_Timer() {
    // A tick that arrives while an earlier one waits at a yield is skipped:
    // two ticks interleaved would run the recovery commands twice.
    if (m_inTick) return;
    m_inTick = true;

    const bool good = CheckPage();
    WarnOfCertificate();
    if (good) {
        m_continuousPageFailure = 0;
        m_continuousIISResetFailure = 0;
        m_continuousComputerResetFailure = 0;
        WriteIni(m_iniPath, QLatin1String(ini::kStatus), QLatin1String(ini::kContinuousComputerResetFailure),
                 QStringLiteral("0"));
        if (!m_lastRecovery.isEmpty()) SiteBack();
        m_pageBadSince = QDateTime();
        // Nothing waits before the tick ends: its return to the event loop
        // paints the status line and the counts together.
        showStatusLine(msg(Msg::PageValidStatus));
    } else {
        if (!m_pageBadSince.isValid()) m_pageBadSince = m_lastCheckTime;
        m_continuousPageFailure = Incremented(m_continuousPageFailure);
        showStatusLine(msg(Msg::PageInvalidStatus));
        yieldToEvents();

        // The stages are examined from the last back to the first, each on its
        // own, in every failed tick. Each reads its switch and threshold now:
        // an edit made during a yield counts at once.
        if (StageFires(m_settings.abortMonitor, m_settings.computerResetThreshold,
                       m_continuousComputerResetFailure)) {
            showStatusLine(GivingUpStatus(m_continuousComputerResetFailure, m_language));
            yieldToEvents();
            AbortMonitoring();
        }
        if (StageFires(m_settings.computerReset, m_settings.iisResetThreshold, m_continuousIISResetFailure)) {
            showStatusLine(msg(Msg::ComputerResettingStatus));
            yieldToEvents();
            // On disk before the reboot starts, so the chain carries on after it.
            // A reboot whose count is lost would come back to the old count and
            // never reach the give-up stage: then it is not started, and the
            // tick goes on as if the stage had not fired (no counter changes),
            // so that the next failed check tries again.
            const int32_t reboots = Incremented(m_continuousComputerResetFailure);
            if (WriteIni(m_iniPath, QLatin1String(ini::kStatus),
                         QLatin1String(ini::kContinuousComputerResetFailure), QString::number(reboots))) {
                m_continuousPageFailure = 0;
                m_continuousIISResetFailure = 0;
                m_continuousComputerResetFailure = reboots;
                noteRecovery(kResetComputer);
                RunComputerReset();
            } else {
                logEvent(QLatin1String(kResetComputer), QLatin1String(kRebootNotPersisted));
                showStatusLine(msg(Msg::PageInvalidStatus));
            }
        }
        if (StageFires(m_settings.iisReset, m_settings.pageFailureThreshold, m_continuousPageFailure)) {
            showStatusLine(msg(Msg::IISResettingStatus));
            yieldToEvents();
            m_continuousIISResetFailure = Incremented(m_continuousIISResetFailure);
            m_continuousPageFailure = 0;
            noteRecovery(kResetIIS);
            RunIISReset();
            showStatusLine(IISResetDoneStatus(m_iisResetCount, m_language));
            yieldToEvents();
        }
    }
    showCounts();
    m_inTick = false;
}

// ---------------------------------------------------------------------------
// Recovery actions

MonitorEngine::CommandStart MonitorEngine::RunIISReset() {
    m_iisResetCount = Incremented(m_iisResetCount);
    WriteIni(m_iniPath, QLatin1String(ini::kStatus), QLatin1String(ini::kIISResetCount),
             QString::number(m_iisResetCount));
    const QString command = m_settings.iisResetCommand;
    logEvent(QLatin1String(kResetIIS), command);
    if (m_settings.notifyIISReset) NotifyByEmail(QLatin1String(kResetIIS));

    const CommandStart start = startLoggedCommand(QLatin1String(kResetIIS), command);
    // Nothing was started, so there is nothing to wait for.
    if (!start.started()) return start;
    for (int reading = 0; reading < 60; ++reading) {
        if (GetIISStatus() == SiteStopped) break;
        m_services.sleepOneSecond();
        yieldToEvents();
    }
    for (int reading = 0; reading < 60; ++reading) {
        if (GetIISStatus() == SiteStarted) break;
        m_services.sleepOneSecond();
        yieldToEvents();
    }
    return {};
}

MonitorEngine::CommandStart MonitorEngine::RunComputerReset() {
    m_computerResetCount = Incremented(m_computerResetCount);
    WriteIni(m_iniPath, QLatin1String(ini::kStatus), QLatin1String(ini::kComputerResetCount),
             QString::number(m_computerResetCount));
    const QString command = m_settings.computerResetCommand;
    logEvent(QLatin1String(kResetComputer), command);
    if (m_settings.notifyComputerReset) NotifyByEmail(QLatin1String(kResetComputer));

    return startLoggedCommand(QLatin1String(kResetComputer), command);
}

MonitorEngine::CommandStart MonitorEngine::startCommand(const QString& command) {
    // As root, a command that another user could have written is not run:
    // not one read from such a file at start-up, whatever the files look like
    // now, and none while the files are such.
    // The text says which holds: the files as they are now, or, once they
    // have been mended, as they were when the commands were read.
    const Trust now = JudgeFile(*m_folder, IniEntry());
    const bool readUntrusted = now.trusted() && m_untrustedCommands.contains(command);
    const Trust& trust = readUntrusted ? m_settingsTrust : now;
    if (!trust.trusted()) {
        return {UntrustedText(trust, readUntrusted, QStringLiteral("eng")),
                UntrustedText(trust, readUntrusted, m_language)};
    }
    QString error;
    ProgramRefusal refusal;
    if (m_services.programs->start(command, &error, &refusal)) return {};
    if (refusal.refused()) {
        return {ProgramRefusalText(refusal, QStringLiteral("eng")), ProgramRefusalText(refusal, m_language)};
    }
    if (error.isEmpty()) error = QStringLiteral("The command could not be started.");
    return {error, error};
}

MonitorEngine::CommandStart MonitorEngine::startLoggedCommand(const QString& kind, const QString& command) {
    const CommandStart start = startCommand(command);
    // A command that cannot be started leaves a trace beside its event.
    if (!start.started()) logEvent(kind, QLatin1String(kStartFailed) + start.logText);
    return start;
}

void MonitorEngine::AbortMonitoring() {
    m_timer1.setEnabled(false);
    emit runningChanged(false);
    logEvent(QLatin1String(kAbortMonitor), QString());
    if (m_settings.notifyAbortMonitor) NotifyByEmail(QLatin1String(kAbortMonitor));
}

// ---------------------------------------------------------------------------
// Notification

void MonitorEngine::noteRecovery(const char* kind) {
    m_lastRecovery = QLatin1String(kind);
    const QString status = QLatin1String(ini::kStatus);
    WriteIni(m_iniPath, status, QLatin1String(ini::kLastRecovery), m_lastRecovery);
    WriteIni(m_iniPath, status, QLatin1String(ini::kPageBadSince), FormatDateAndTime(m_pageBadSince));
}

// Written only where there is something to clear: a file that never saw a
// recovery keeps its bytes.
void MonitorEngine::forgetRecovery() {
    if (m_lastRecovery.isEmpty()) return;
    m_lastRecovery.clear();
    const QString status = QLatin1String(ini::kStatus);
    WriteIni(m_iniPath, status, QLatin1String(ini::kLastRecovery), QString());
    WriteIni(m_iniPath, status, QLatin1String(ini::kPageBadSince), QString());
}

void MonitorEngine::SiteBack() {
    const bool afterReboot = m_lastRecovery == QLatin1String(kResetComputer);
    const QString detail = SiteBackText(m_pageBadSince, m_lastCheckTime, afterReboot, m_language);
    logEvent(QLatin1String(kSiteBack), detail);
    // Told the way the recovery itself was told.
    if (afterReboot ? m_settings.notifyComputerReset : m_settings.notifyIISReset) {
        NotifyByEmail(QLatin1String(kSiteBack), detail);
    }
    forgetRecovery();
}

std::optional<qint64> MonitorEngine::certificateSecondsLeft() const {
    const std::optional<int32_t> days = ToInt32(m_settings.certificateWarnDays);
    if (!m_lastCheck.certificateExpiry.isValid() || !days) return std::nullopt;
    // 0 days never warn: a certificate that has ended fails the check itself.
    const qint64 left = m_lastCheckTime.secsTo(m_lastCheck.certificateExpiry);
    if (left > static_cast<qint64>(*days) * 86400) return std::nullopt;
    return left;
}

void MonitorEngine::WarnOfCertificate() {
    const std::optional<qint64> left = certificateSecondsLeft();
    if (!left) return;
    // At most once a calendar day, on the day the clock says: set back a
    // day, it does not warn again; a day stored further ahead than
    // tomorrow is a clock that was wrong, and does not silence the warning.
    const QDate today = m_lastCheckTime.date();
    if (m_certificateWarnedOn.isValid() && today <= m_certificateWarnedOn && m_certificateWarnedOn <= today.addDays(1))
        return;
    m_certificateWarnedOn = today;
    WriteIni(m_iniPath, QLatin1String(ini::kStatus), QLatin1String(ini::kCertificateWarnedOn),
             today.toString(QStringLiteral("yyyy-M-d")));
    const QString detail =
        CertificateText(m_lastCheck.certificateHost, m_lastCheck.certificateExpiry, *left, m_language);
    logEvent(QLatin1String(kCertificate), detail);
    if (m_settings.notifyCertificate) NotifyByEmail(QLatin1String(kCertificate), detail);
}

void MonitorEngine::NotifyByEmail(const QString& kind, const QString& detail) {
    const SettingsRecord& s = m_settings;
    for (const QString* field : {&s.receiverEmail, &s.senderEmail, &s.senderSmtp, &s.senderAccount,
                                 &s.senderPassword}) {
        if (field->isEmpty()) return;
    }
    const QString receivers = s.receiverEmail;
    const QString result = SendMail(s.senderSmtp, s.senderEmail, receivers, QString(), QString(), s.senderAccount,
                                    s.senderPassword, kind, notification::EventBody(detail), QString());
    LogToFile(QLatin1String(kSendEmail), result.isEmpty() ? notification::SentDetail(receivers)
                                                           : notification::NotSentDetail(receivers, result));
}

}  // namespace tarvesk
