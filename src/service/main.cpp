#include <QCoreApplication>

#include <memory>

#include "monitor/monitor_engine.h"
#include "monitor/program_start.h"
#include "platform/services.h"
#include "platform/standard_error_prompt.h"
#include "platform/toolkit_environment.h"

// The watchdog without a window, for a server: the engine under Qt Core
// alone, which loads no display library. What would be a message box is
// said on standard error, the service's journal.
int main(int argc, char* argv[]) {
    tarvesk::ProgramStart::BeforeAnyThread();
    tarvesk::ToolkitEnvironment toolkit(true);
    QCoreApplication app(argc, argv);
    toolkit.restore();
    QCoreApplication::setApplicationName(QStringLiteral("Tarvesk"));

    tarvesk::Services services = tarvesk::MakeCoreServices();
    services.prompt = std::make_shared<tarvesk::StandardErrorPrompt>();
    tarvesk::ProgramStart start(services, true);
    if (const int status = start.endStatus()) return status;

    tarvesk::MonitorEngine engine(std::move(services));
    engine.Form_Load();
    start.loaded(engine);
    return QCoreApplication::exec();
}
