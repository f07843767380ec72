// Resident memory of the idle operator window against a bare window, each in
// a fresh process of this same executable so that neither inherits the
// other's heap, fonts or caches.
//
//   tarvesk_memory_bench            runs both children and prints the figures
//   tarvesk_memory_bench bare       child: a bare QWidget, shown
//   tarvesk_memory_bench window     child: the idle window, shown
// A child prints "<VmRSS in kB> <width>x<height>" and exits.

#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/services.h"
#include "window/main_window.h"

namespace {

long ResidentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Shows the window, lets the event loop paint it for a while, then reports.
int MeasureChild(int argc, char** argv, bool fullWindow) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    std::unique_ptr<QWidget> widget;
    if (fullWindow) {
        // The window's first run writes its settings beside the executable;
        // a temporary folder stands in for that.
        tarvesk::Services services = tarvesk::MakeCoreServices();
        const QString folder = dir.path();
        services.executableFolder = [folder] { return folder; };
        services.openUrl = [](const QString&) {};
        widget = std::make_unique<tarvesk::MainWindow>(std::move(services));
    } else {
        widget = std::make_unique<QWidget>();
    }
    widget->show();
    QTimer::singleShot(500, &app, &QCoreApplication::quit);
    QApplication::exec();
    std::printf("%ld %dx%d\n", ResidentKb(), widget->width(), widget->height());
    return 0;
}

// Runs this executable with `mode` and returns its one line of output.
std::string RunChild(const char* self, const char* mode) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    const pid_t pid = fork();
    if (pid < 0) return {};
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        execl(self, self, mode, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string out;
    char buffer[256];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "bare") == 0) return MeasureChild(argc, argv, false);
    if (argc > 1 && std::strcmp(argv[1], "window") == 0) return MeasureChild(argc, argv, true);

    char self[4096];
    const ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
    if (len <= 0) {
        std::fprintf(stderr, "cannot find this executable\n");
        return 1;
    }
    self[len] = '\0';

    const std::string bare = RunChild(self, "bare");
    const std::string window = RunChild(self, "window");
    if (bare.empty() || window.empty()) {
        std::fprintf(stderr, "a measuring child failed\n");
        return 1;
    }
    const long bareKb = std::atol(bare.c_str());
    const long windowKb = std::atol(window.c_str());
    std::printf("bare QWidget shown offscreen   : VmRSS %ld kB (size %s)\n", bareKb,
                bare.substr(bare.find(' ') + 1).c_str());
    std::printf("idle MainWindow shown offscreen: VmRSS %ld kB (size %s)\n", windowKb,
                window.substr(window.find(' ') + 1).c_str());
    if (bareKb > 0) {
        std::printf("MainWindow / bare QWidget = %.2f (difference %ld kB)\n",
                    static_cast<double>(windowKb) / static_cast<double>(bareKb), windowKb - bareKb);
    }
    return 0;
}
