// A long run of good monitoring ticks through the real window: does anything
// grow with the number of checks? Memory, open file descriptors, and the
// check count kept in the settings file against the checks actually made.
//
//   tarvesk_longrun [checks]     (100000 if not given)
//
// Pace: the ticks are called back to back, with QCoreApplication::
// processEvents() between two of them, instead of waiting for the monitoring
// timer. Each tick still does everything a timed tick does (the settings
// writes, the GET off the GUI thread against the loopback server, the status
// line and the counts). The settings writes are flushed to disk, so a tick
// costs some milliseconds and a run of 100000 takes a good while.
//
// Figures are printed every 10% of the run and at its end; nothing is judged
// here.

#include <dirent.h>

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "config/profile_store.h"
#include "config/settings_table.h"
#include "platform/services.h"
#include "support/http_test_server.h"
#include "window/main_window.h"

namespace tarvesk {
namespace {

constexpr long kWarmUpChecks = 1000;

long ResidentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Entries of /proc/self/fd, less the one the listing itself holds open.
long OpenDescriptors() {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return -1;
    long count = 0;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') ++count;
    }
    closedir(dir);
    return count - 1;
}

Services LongRunServices(const QString& folder) {
    Services services = MakeCoreServices();
    services.executableFolder = [folder] { return folder; };
    services.sleepOneSecond = [] {};
    services.openUrl = [](const QString&) {};
    return services;
}

long StoredCheckCount(const QString& ini) {
    return ProfileStore::ReadIni(ini, QLatin1String(ini::kStatus), QLatin1String(ini::kPageCheckCount),
                                 QStringLiteral("-1"))
        .toLong();
}

int Run(long checks) {
    HttpTestServer server;
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    MainWindow window(LongRunServices(dir.path()));
    window.findChild<QLineEdit*>(QStringLiteral("txtPageURL"))->setText(server.url(QStringLiteral("/ok")));
    const QString ini = window.engine().iniPath();
    const long countBefore = window.engine().pageCheckCount();

    std::printf("%ld good ticks against %s, executable folder %s\n", checks,
                qPrintable(server.url(QStringLiteral("/ok"))), qPrintable(dir.path()));
    std::printf("ticks called back to back with processEvents() between them, no timer\n\n");
    std::printf("%10s %9s %11s %11s %5s %12s %10s %9s\n", "checks", "seconds", "VmRSS kB", "growth kB", "fds",
                "ini count", "requests", "ms/check");
    std::fflush(stdout);

    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    long baseRss = ResidentKb();
    long baseFds = OpenDescriptors();
    long failures = 0;
    const long warmUp = checks < kWarmUpChecks ? checks : kWarmUpChecks;
    long nextReport = checks / 10 > 0 ? checks / 10 : 1;
    auto lastReportTime = start;
    long lastReportChecks = 0;

    auto report = [&](long done, const char* label) {
        const auto now = Clock::now();
        const double seconds = std::chrono::duration<double>(now - start).count();
        const double slice = std::chrono::duration<double, std::milli>(now - lastReportTime).count();
        const long rss = ResidentKb();
        std::printf("%10ld %9.1f %11ld %+11ld %5ld %12ld %10d %9.2f %s\n", done, seconds, rss, rss - baseRss,
                    OpenDescriptors(), StoredCheckCount(ini), server.requestCount(),
                    done > lastReportChecks ? slice / static_cast<double>(done - lastReportChecks) : 0.0, label);
        std::fflush(stdout);
        lastReportTime = now;
        lastReportChecks = done;
    };

    for (long done = 1; done <= checks; ++done) {
        window.engine().Timer1_Timer();
        QCoreApplication::processEvents();
        // A good tick clears the failure run; anything else left it standing.
        if (window.engine().continuousPageFailure() != 0) ++failures;
        if (done == warmUp) {
            baseRss = ResidentKb();
            baseFds = OpenDescriptors();
            report(done, "(after warm-up; growth counted from here)");
        }
        if (done == nextReport || done == checks) {
            if (done != warmUp) report(done, done == checks ? "(end)" : "");
            nextReport += checks / 10 > 0 ? checks / 10 : 1;
        }
    }

    const long endRss = ResidentKb();
    const long endFds = OpenDescriptors();
    const long stored = StoredCheckCount(ini);
    const long made = static_cast<long>(window.engine().pageCheckCount()) - countBefore;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("\nchecks made            : %ld in %.1f s (%.2f ms per check), %ld failed\n", checks, seconds,
                1000.0 * seconds / static_cast<double>(checks), failures);
    std::printf("VmRSS after %ld checks : %ld kB\n", warmUp, baseRss);
    std::printf("VmRSS at the end       : %ld kB (growth %+ld kB, %.3f bytes per check after warm-up)\n", endRss,
                endRss - baseRss,
                checks > warmUp ? 1024.0 * static_cast<double>(endRss - baseRss) / static_cast<double>(checks - warmUp)
                                : 0.0);
    std::printf("open descriptors       : %ld after warm-up, %ld at the end\n", baseFds, endFds);
    std::printf("Status/PageCheckCount  : %ld in the settings file (was %ld), window counted %ld, ticks made %ld\n",
                stored, countBefore, made, checks);
    std::printf("requests at the server : %d\n", server.requestCount());
    return 0;
}

}  // namespace
}  // namespace tarvesk

int main(int argc, char** argv) {
    long checks = 100000;
    if (argc > 1) {
        char* end = nullptr;
        checks = std::strtol(argv[1], &end, 10);
        if (!end || *end != '\0' || checks <= 0) {
            std::fprintf(stderr, "usage: %s [checks]   (a positive number, 100000 if not given)\n", argv[0]);
            return 2;
        }
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    return tarvesk::Run(checks);
}
