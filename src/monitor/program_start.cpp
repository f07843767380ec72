#include "monitor/program_start.h"

#include "config/profile_store.h"
#include "config/settings_table.h"
#include "monitor/messages.h"
#include "monitor/monitor_engine.h"
#include "platform/atomic_file.h"
#include "platform/curl_global.h"
#include "platform/display_environment.h"
#include "platform/folder.h"
#include "platform/services.h"
#include "platform/standard_error_prompt.h"
#include "platform/strict_modes.h"
#include "platform/text_conv.h"

namespace tarvesk {
namespace {

// What the lock could not guard against, said once.
void SayWhatTheLockLacks(InstanceLock::State state, const QString& folder) {
    using State = InstanceLock::State;
    const QString lockFile = PathBeside(folder, QLatin1String(InstanceLock::kFileName));
    switch (state) {
        case State::AcquiredOnFolder:
            ProgramStart::Say(QStringLiteral("%1 holds no %2 and none can be made; the folder itself is locked, "
                                             "which any user who may read it can hold to keep Tarvesk from starting")
                                  .arg(folder, QLatin1String(InstanceLock::kFileName)));
            break;
        case State::OthersCanHoldIt:
            ProgramStart::Say(QStringLiteral("%1 can be opened by other users, who can hold it to keep Tarvesk "
                                             "from starting; it should be this user's alone, with mode 0600")
                                  .arg(lockFile));
            break;
        case State::Unavailable:
            ProgramStart::Say(QStringLiteral("%1 cannot be locked; a second copy started from this folder would "
                                             "not be stopped")
                                  .arg(folder));
            break;
        case State::Acquired:
        case State::HeldElsewhere:
        case State::HeldByOther:
        case State::Refused:
            break;
    }
}

}  // namespace

void ProgramStart::BeforeAnyThread() {
    EnsureCurlInitialised();
    IgnoreFileSizeSignal();
}

void ProgramStart::Say(const QString& text) { StandardErrorPrompt::Say(text, false); }

ProgramStart::ProgramStart(Services& services, bool windowless) {
    // The folder is resolved once, here: the lock, the settings and the log
    // all go through this one descriptor.
    const QString folderPath = services.executableFolder();
    m_folder = std::make_shared<const Folder>(Folder::Open(folderPath));
    services.programFolder = m_folder;
    const QString iniName = QString::fromLatin1(ini::kIniFileName);
    m_iniPath = PathBeside(folderPath, iniName);
    if (windowless) {
        Say(QStringLiteral("%1running without a window, with %2")
                .arg(NoDisplayInEnvironment() ? QStringLiteral("no display; ") : QString(), m_iniPath));
    }
    if (!m_folder->isOpen()) Say(FolderUnusableText(folderPath, m_folder->errorCode(), QStringLiteral("eng")));

    // One copy per folder: a second one would count, log and run every
    // recovery command twice. It writes nothing and says why in the stored
    // language.
    m_lock = std::make_unique<InstanceLock>(*m_folder);
    const QString lockFile = PathBeside(folderPath, QLatin1String(InstanceLock::kFileName));
    if (endStatus() != 0) {
        const QString language =
            TrimBlanks(ProfileStore::ReadIni(*m_folder, iniName, QLatin1String(ini::kStatus),
                                             QLatin1String(ini::kLanguage), QString()))
                .toLower();
        services.prompt->setLanguage(language);
        if (m_lock->state() == InstanceLock::State::HeldElsewhere) {
            Say(QStringLiteral("%1 is held by %2").arg(lockFile, LockHolderText(m_lock->holder())));
            services.prompt->inform(Text(Msg::AlreadyRunning, language));
        } else {
            services.prompt->inform(LockRefusalText(*m_lock, lockFile, language));
        }
        return;
    }
    if (m_lock->replaced()) {
        Say(QStringLiteral("%1 was not root's alone (%2 held it); replaced it with a new lock file of root's")
                .arg(lockFile, m_lock->holder().pid > 0 ? LockHolderText(m_lock->holder()) : QStringLiteral("nobody")));
    }
    SayWhatTheLockLacks(m_lock->state(), folderPath);
    m_terminationSignals = std::make_unique<TerminationSignals>();
}

ProgramStart::~ProgramStart() = default;

int ProgramStart::endStatus() const {
    switch (m_lock->state()) {
        case InstanceLock::State::HeldElsewhere:
            return kAlreadyRunningStatus;
        case InstanceLock::State::HeldByOther:
        case InstanceLock::State::Refused:
            return 1;
        default:
            return 0;
    }
}

void ProgramStart::loaded(MonitorEngine& engine) {
    // Said once here; the log says it again at every command not started.
    if (!engine.settingsTrust().trusted()) {
        Say(QStringLiteral("%1: %2").arg(m_iniPath,
                                         UntrustedText(engine.settingsTrust(), false, QStringLiteral("eng"))));
    }
    if (ReadableByOthers(*m_folder, QByteArray(ini::kIniFileName))) {
        Say(QStringLiteral("%1 can be read by other users and holds the mail password; chmod 600 %1")
                .arg(m_iniPath));
    }
    // Under systemd: ready once the settings are loaded and a run resumed;
    // from then on the status line and the watchdog's pings.
    m_notifier = SystemdNotifier::FromEnvironment();
    if (m_notifier) {
        QObject::connect(&engine, &MonitorEngine::serviceStatusChanged, m_notifier.get(), &SystemdNotifier::status);
        engine.announceStatus();
        m_notifier->ready();
    }
}

}  // namespace tarvesk
