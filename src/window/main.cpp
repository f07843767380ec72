#include <QApplication>

#include <optional>
#include <vector>

#include "monitor/program_start.h"
#include "platform/display_environment.h"
#include "platform/program_beside.h"
#include "platform/services.h"
#include "platform/toolkit_environment.h"
#include "window/close_ends_process.h"
#include "window/main_window.h"
#include "window/message_box_prompt.h"
#include "window/message_option.h"
#include "window/program_icon.h"
#include "window/window_fonts.h"
#include "window/window_services.h"

int main(int argc, char* argv[]) {
    // The launcher's refusals, shown where a menu's click would otherwise
    // seem to do nothing.
    if (const std::optional<int> status = tarvesk::ShowMessageOption(argc, argv)) return *status;
    // A server without a desktop runs the service program, which loads no
    // display library, in this one's place: a unit or a script that starts
    // this program goes on working, as the same process. Where that cannot
    // be, this program runs without a window rather than have the toolkit
    // abort for want of a display.
    const bool noDisplay = tarvesk::NoDisplayInEnvironment();
    if (noDisplay) {
        tarvesk::ProgramStart::Say(tarvesk::RunProgramBesideInstead(tarvesk::kServiceProgramName, argv) +
                                   QStringLiteral("; running without a window in this program instead"));
    }
    tarvesk::ProgramStart::BeforeAnyThread();
    // The platform is chosen on the command line, not in the environment,
    // which the recovery commands inherit. Of the platforms without a
    // display, the minimal one loads no font files: with nothing ever drawn,
    // text is measured in boxes, which spares the faces and the font cache
    // their memory.
    std::vector<char*> arguments(argv, argv + argc);
    char platformOption[] = "-platform";
    char minimal[] = "minimal";
    if (noDisplay) arguments.insert(arguments.begin() + (argc > 0 ? 1 : 0), {platformOption, minimal});
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);

    tarvesk::ToolkitEnvironment toolkit(noDisplay);
    QApplication app(count, arguments.data());
    toolkit.restore();
    QApplication::setApplicationName(QStringLiteral("Tarvesk"));
    tarvesk::UseControlFontByDefault();

    tarvesk::Services services = tarvesk::MakeWindowServices();
    tarvesk::ProgramStart start(services, noDisplay);
    if (const int status = start.endStatus()) return status;

    tarvesk::MainWindow window(std::move(services));
    tarvesk::UseProgramIcon(window);
    // Closing the window ends the program at once.
    tarvesk::CloseEndsProcess closeEndsProcess;
    window.installEventFilter(&closeEndsProcess);
    // Without a display nobody can ever see the window: shown, it would
    // still be laid out and painted into memory at every change of a label,
    // and load the faces only drawing needs. Hidden, its labels still hold
    // the current values for whoever asks for them.
    if (!tarvesk::MessageBoxPrompt::NobodySeesWindows()) window.show();
    start.loaded(window.engine());
    return QApplication::exec();
}
