#include <QApplication>

#include <cstdio>

#include "config/profile_store.h"
#include "config/settings_table.h"
#include "platform/atomic_file.h"
#include "platform/curl_global.h"
#include "platform/display_environment.h"
#include "platform/instance_lock.h"
#include "platform/strict_modes.h"
#include "platform/termination.h"
#include "platform/text_conv.h"
#include "window/close_ends_process.h"
#include "window/main_window.h"
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

}  // namespace

int main(int argc, char* argv[]) {
    // Before any other thread exists: libcurl's rule for its global init.
    tarvesk::EnsureCurlInitialised();
    tarvesk::IgnoreFileSizeSignal();
    // A server without a desktop runs the program without a window rather
    // than have the toolkit abort for want of a display.
    const bool noDisplay = tarvesk::NoDisplayInEnvironment();
    if (noDisplay) qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvesk"));
    tarvesk::UseControlFontByDefault();

    tarvesk::Services services = tarvesk::MakeWindowServices();
    const QString folder = services.executableFolder();
    const QString iniPath = tarvesk::PathBeside(folder, QString::fromLatin1(tarvesk::ini::kIniFileName));
    if (noDisplay) {
        SayOnStandardError(QStringLiteral("no display; running without a window, with %1").arg(iniPath));
    }

    // One copy per folder: a second one would count, log and run every
    // recovery command twice. It writes nothing and says why in the stored
    // language.
    tarvesk::InstanceLock lock(folder);
    if (lock.state() == tarvesk::InstanceLock::State::HeldElsewhere) {
        const QString language = tarvesk::TrimBlanks(
            tarvesk::ProfileStore::ReadIni(iniPath, QLatin1String(tarvesk::ini::kStatus),
                                           QLatin1String(tarvesk::ini::kLanguage), QString()))
                                     .toLower();
        services.prompt->setLanguage(language);
        services.prompt->inform(tarvesk::Text(tarvesk::Msg::AlreadyRunning, language));
        return kAlreadyRunningStatus;
    }

    // Closing the window, SIGTERM and SIGINT end the program at once.
    tarvesk::TerminationSignals terminationSignals;
    tarvesk::MainWindow window(std::move(services));
    // Said once here; the log says it again at every command not started.
    if (!tarvesk::CommandsFromFileMayRun(iniPath)) {
        SayOnStandardError(QStringLiteral("%1: %2").arg(iniPath, QLatin1String(tarvesk::MainWindow::kUntrustedIniText)));
    }
    if (tarvesk::ReadableByOthers(iniPath)) {
        SayOnStandardError(
            QStringLiteral("%1 can be read by other users and holds the mail password; chmod 600 %1").arg(iniPath));
    }
    tarvesk::UseProgramIcon(window);
    tarvesk::CloseEndsProcess closeEndsProcess;
    window.installEventFilter(&closeEndsProcess);
    window.show();
    return QApplication::exec();
}
