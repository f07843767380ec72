#include <QApplication>

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "config/profile_store.h"
#include "config/settings_table.h"
#include "platform/atomic_file.h"
#include "platform/character_type.h"
#include "platform/curl_global.h"
#include "platform/display_environment.h"
#include "platform/folder.h"
#include "platform/instance_lock.h"
#include "platform/strict_modes.h"
#include "platform/systemd_notifier.h"
#include "platform/termination.h"
#include "platform/text_conv.h"
#include "window/close_ends_process.h"
#include "window/main_window.h"
#include "window/message_box_prompt.h"
#include "window/message_option.h"
#include "window/messages.h"
#include "window/program_icon.h"
#include "window/window_fonts.h"
#include "window/window_services.h"

namespace {

// Exit status of a second copy that found the folder taken; the service unit
// does not restart the program for it.
constexpr int kAlreadyRunningStatus = 3;

void SayOnStandardError(const QString& text) {
    std::fprintf(stderr, "Tarvesk: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

// What the lock could not guard against, said once.
void SayWhatTheLockLacks(tarvesk::InstanceLock::State state, const QString& folder) {
    using State = tarvesk::InstanceLock::State;
    const QString lockFile = tarvesk::PathBeside(folder, QLatin1String(tarvesk::InstanceLock::kFileName));
    switch (state) {
        case State::AcquiredOnFolder:
            SayOnStandardError(QStringLiteral("%1 holds no %2 and none can be made; the folder itself is locked, "
                                              "which any user who may read it can hold to keep Tarvesk from starting")
                                   .arg(folder, QLatin1String(tarvesk::InstanceLock::kFileName)));
            break;
        case State::OthersCanHoldIt:
            SayOnStandardError(QStringLiteral("%1 can be opened by other users, who can hold it to keep Tarvesk "
                                              "from starting; it should be this user's alone, with mode 0600")
                                   .arg(lockFile));
            break;
        case State::Unavailable:
            SayOnStandardError(QStringLiteral("%1 cannot be locked; a second copy started from this folder would "
                                              "not be stopped")
                                   .arg(folder));
            break;
        case State::Acquired:
        case State::HeldElsewhere:
            break;
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    if (const std::optional<int> status = tarvesk::ShowMessageOption(argc, argv)) return *status;
    // Before any other thread exists: libcurl's rule for its global init.
    tarvesk::EnsureCurlInitialised();
    tarvesk::IgnoreFileSizeSignal();
    // A server without a desktop runs the program without a window rather
    // than have the toolkit abort for want of a display. The platform is
    // chosen on the command line, not in the environment, which the recovery
    // commands inherit. Of the platforms without a display, the minimal one
    // loads no font files: with nothing ever drawn, text is measured in
    // boxes, which spares the faces and the font cache their memory.
    const bool noDisplay = tarvesk::NoDisplayInEnvironment();
    std::vector<char*> arguments(argv, argv + argc);
    char platformOption[] = "-platform";
    char minimal[] = "minimal";
    if (noDisplay) arguments.insert(arguments.begin() + (argc > 0 ? 1 : 0), {platformOption, minimal});
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);

    // Without any locale (a service's environment) Qt would warn that it
    // switched to UTF-8; asking for it here keeps the journal quiet without
    // touching the date form, which follows the system's locale.
    tarvesk::Utf8CharacterType characterType;
    // Qt's own event loop costs less per turn than glib's, which only the
    // integration with a desktop needs. Qt takes that choice from the
    // environment alone, when the application is made; it is taken back out
    // at once, like the character type, since the recovery commands inherit
    // the environment.
    const char* const ownLoop = "QT_NO_GLIB";
    const bool chooseOwnLoop = noDisplay && qEnvironmentVariableIsEmpty(ownLoop);
    if (chooseOwnLoop) qputenv(ownLoop, "1");
    QApplication app(count, arguments.data());
    if (chooseOwnLoop) qunsetenv(ownLoop);
    characterType.restore();
    QApplication::setApplicationName(QStringLiteral("Tarvesk"));
    tarvesk::UseControlFontByDefault();

    tarvesk::Services services = tarvesk::MakeWindowServices();
    // The folder is resolved once, here: the lock, the settings and the log
    // all go through this one descriptor.
    const QString folderPath = services.executableFolder();
    auto folder = std::make_shared<const tarvesk::Folder>(tarvesk::Folder::Open(folderPath));
    services.programFolder = folder;
    const QString iniName = QString::fromLatin1(tarvesk::ini::kIniFileName);
    const QString iniPath = tarvesk::PathBeside(folderPath, iniName);
    if (noDisplay) {
        SayOnStandardError(QStringLiteral("no display; running without a window, with %1").arg(iniPath));
    }
    if (!folder->isOpen()) {
        SayOnStandardError(tarvesk::FolderUnusableText(folderPath, folder->errorCode(), QStringLiteral("eng")));
    }

    // One copy per folder: a second one would count, log and run every
    // recovery command twice. It writes nothing and says why in the stored
    // language.
    tarvesk::InstanceLock lock(*folder);
    if (lock.state() == tarvesk::InstanceLock::State::HeldElsewhere) {
        const QString language =
            tarvesk::TrimBlanks(tarvesk::ProfileStore::ReadIni(*folder, iniName,
                                                               QLatin1String(tarvesk::ini::kStatus),
                                                               QLatin1String(tarvesk::ini::kLanguage), QString()))
                .toLower();
        services.prompt->setLanguage(language);
        services.prompt->inform(tarvesk::Text(tarvesk::Msg::AlreadyRunning, language));
        return kAlreadyRunningStatus;
    }
    SayWhatTheLockLacks(lock.state(), folderPath);

    // Closing the window, SIGTERM and SIGINT end the program at once.
    tarvesk::TerminationSignals terminationSignals;
    tarvesk::MainWindow window(std::move(services));
    // Said once here; the log says it again at every command not started.
    if (!window.settingsTrust().trusted()) {
        SayOnStandardError(QStringLiteral("%1: %2").arg(
            iniPath, tarvesk::UntrustedText(window.settingsTrust(), false, QStringLiteral("eng"))));
    }
    if (tarvesk::ReadableByOthers(*folder, iniName.toLatin1())) {
        SayOnStandardError(
            QStringLiteral("%1 can be read by other users and holds the mail password; chmod 600 %1").arg(iniPath));
    }
    tarvesk::UseProgramIcon(window);
    tarvesk::CloseEndsProcess closeEndsProcess;
    window.installEventFilter(&closeEndsProcess);
    // Without a display nobody can ever see the window: shown, it
    // would still be laid out and painted into memory at every change of a
    // label, and load the faces only drawing needs. Hidden, its labels still
    // hold the current values for whoever asks for them.
    if (!tarvesk::MessageBoxPrompt::NobodySeesWindows()) window.show();
    // Under systemd: ready once the settings are loaded and a run resumed;
    // from then on the status line and the watchdog's pings.
    const std::unique_ptr<tarvesk::SystemdNotifier> notifier = tarvesk::SystemdNotifier::FromEnvironment();
    if (notifier) {
        QObject::connect(&window, &tarvesk::MainWindow::serviceStatusChanged, notifier.get(),
                         &tarvesk::SystemdNotifier::status);
        window.announceStatus();
        notifier->ready();
    }
    return QApplication::exec();
}
