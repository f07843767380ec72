#pragma once

#include <QDateTime>
#include <QString>

#include "platform/http_client.h"
#include "platform/instance_lock.h"
#include "platform/program_starter.h"
#include "platform/strict_modes.h"

namespace tarvesk {

// Every message box and status text, in both languages.
enum class Msg {
    // Start button checks, in the order they are made.
    FillPageUrl,
    FillInterval,
    FillIISResetCommand,
    FillPageFailureThreshold,
    FillComputerResetCommand,
    FillIISResetThreshold,
    FillComputerResetThreshold,
    FillUrlAndInterval,
    // Running state.
    ReadyToStart,
    Monitoring,
    MonitorStopped,
    PageValidStatus,
    PageInvalidStatus,
    ComputerResettingStatus,
    IISResettingStatus,
    // Settings.
    SettingsSaved,
    // Field validation.
    ShouldStartWithHttp,
    ShouldBeBiggerThanZero,
    ShouldBeNumber,
    ShouldBeZeroOrMore,
    // Manual actions.
    FillPageUrlToCheck,
    PageValid,
    PageInvalid,
    ConfirmIISReset,
    IISResetting,
    IISResetByManual,
    ConfirmComputerReset,
    ComputerResetting,
    // Test mail.
    FillReceiverEmail,
    FillSenderEmail,
    FillSenderSmtp,
    FillSenderAccount,
    FillSenderPassword,
    EmailSent,
    // Process.
    AlreadyRunning,
};

// The text of a message; Chinese exactly when `language` is "cn".
QString Text(Msg message, const QString& language);

// Why root does not run a recovery command, and what to do about it.
// `atRead`: the verdict on the settings as they were read at start-up, which
// stands for the life of the process even once the files are mended (a
// writer may still hold the file open); otherwise the verdict on the files
// as they are now.
QString UntrustedText(const Trust& trust, bool atRead, const QString& language);

// Why root did not start the program a command names, with the mend that
// fits; "" when it was not refused.
QString ProgramRefusalText(const ProgramRefusal& refusal, const QString& language);

// Why the program does not start because of the lock file `lockFile`
// (held by another user's process, or, as root, not root's alone in a
// folder that is not root's alone either); "" for any other state.
QString LockRefusalText(const InstanceLock& lock, const QString& lockFile, const QString& language);
// Who holds the lock, for standard error: "process 12 (tarvesk) of user root".
QString LockHolderText(const InstanceLock::Holder& holder);

// The program's folder cannot be opened at all: nothing can be read, saved
// or logged, and a run saved there is not resumed.
QString FolderUnusableText(const QString& folder, int errorCode, const QString& language);

// What a page check gives when the page address cannot be used at all.
inline constexpr char kUnusableAddressText[] = "no usable page address";

// The status tool tip: the last check's outcome, how long it took and when
// (`when`, already formatted). The HTTP library's own words stay as they are.
QString LastCheckText(const HttpResult& result, const QString& when, const QString& language);

// The detail of the notice that the page is good again after a recovery:
// how long it was bad (from `since`, the first failed check, to `now`) and
// which recovery came last: the reboot, or the restart.
QString SiteBackText(const QDateTime& since, const QDateTime& now, bool afterReboot, const QString& language);
// The detail of the warning that the certificate of `host` ends at `expiry`,
// `secondsLeft` from now.
QString CertificateText(const QString& host, const QDateTime& expiry, qint64 secondsLeft, const QString& language);

// Status lines that carry a number.
QString GivingUpStatus(int computerResets, const QString& language);
QString IISResetDoneStatus(int iisResets, const QString& language);

}  // namespace tarvesk
