// Timings of the work the watchdog repeats: the settings file, the event log,
// the page check (against a bare libcurl GET of the same page) and one good
// monitoring tick. Everything is real: files in a temporary folder, libcurl,
// and the loopback HTTP server of the test support library.

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <QApplication>
#include <QDateTime>
#include <QLineEdit>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <memory>

#include "config/profile_store.h"
#include "config/settings_table.h"
#include "notify/event_log.h"
#include "platform/services.h"
#include "support/http_test_server.h"
#include "window/main_window.h"

namespace tarvesk {
namespace {

// Real services, with the executable folder moved to `folder` and nothing
// that could block or open a browser.
Services BenchServices(const QString& folder) {
    Services services = MakeCoreServices();
    services.executableFolder = [folder] { return folder; };
    services.sleepOneSecond = [] {};
    services.openUrl = [](const QString&) {};
    return services;
}

HttpTestServer& Server() {
    static HttpTestServer server;
    return server;
}

// A window on its own temporary folder. The first run writes the 18 settings
// and the language; starting and a few ticks would add the other Status keys,
// which are written here directly so the file has its full size.
struct WindowOnDisk {
    QTemporaryDir dir;
    std::unique_ptr<MainWindow> window;

    WindowOnDisk() {
        window = std::make_unique<MainWindow>(BenchServices(dir.path()));
        const QString ini = window->engine().iniPath();
        const QString status = QLatin1String(ini::kStatus);
        ProfileStore::WriteIni(ini, status, QLatin1String(ini::kMonitoring), QStringLiteral("0"));
        ProfileStore::WriteIni(ini, status, QLatin1String(ini::kStartTime), QStringLiteral("2024-3-5 08:15:00"));
        ProfileStore::WriteIni(ini, status, QLatin1String(ini::kPageCheckCount), QStringLiteral("12345"));
        ProfileStore::WriteIni(ini, status, QLatin1String(ini::kIISResetCount), QStringLiteral("3"));
        ProfileStore::WriteIni(ini, status, QLatin1String(ini::kComputerResetCount), QStringLiteral("1"));
        ProfileStore::WriteIni(ini, status, QLatin1String(ini::kContinuousComputerResetFailure),
                               QStringLiteral("0"));
    }

    void pointAt(const QString& url) { window->findChild<QLineEdit*>(QStringLiteral("txtPageURL"))->setText(url); }
};

// Per-iteration wall time of the last run of each HTTP benchmark, for the
// closing ratio line.
double g_checkPageNs = 0;
double g_bareGetNs = 0;
double g_bareGetPlusIniNs = 0;

using Clock = std::chrono::steady_clock;

double NsPerIteration(Clock::time_point start, const benchmark::State& state) {
    if (state.iterations() == 0) return 0;
    const auto total = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    return total / static_cast<double>(state.iterations());
}

// ---------------------------------------------------------------------------
// Settings file

void BM_ReadIni(benchmark::State& state) {
    WindowOnDisk disk;
    const QString ini = disk.window->engine().iniPath();
    // The last key of the last section: the longest scan through the file.
    const QString section = QLatin1String(ini::kStatus);
    const QString key = QLatin1String(ini::kContinuousComputerResetFailure);
    for (auto _ : state) {
        QString value = ProfileStore::ReadIni(ini, section, key, QString());
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_ReadIni);

void BM_WriteIni(benchmark::State& state) {
    WindowOnDisk disk;
    const QString ini = disk.window->engine().iniPath();
    const QString section = QLatin1String(ini::kStatus);
    const QString key = QLatin1String(ini::kPageCheckCount);
    int count = 0;
    for (auto _ : state) {
        if (!ProfileStore::WriteIni(ini, section, key, QString::number(++count))) {
            state.SkipWithError("WriteIni failed");
            break;
        }
    }
}
BENCHMARK(BM_WriteIni);

void BM_LoadSettings(benchmark::State& state) {
    WindowOnDisk disk;
    for (auto _ : state) disk.window->engine().LoadSettings();
}
BENCHMARK(BM_LoadSettings);

void BM_SaveSettings(benchmark::State& state) {
    WindowOnDisk disk;
    for (auto _ : state) disk.window->engine().SaveSettings();
}
BENCHMARK(BM_SaveSettings);

// ---------------------------------------------------------------------------
// Event log

void BM_LogToFile(benchmark::State& state) {
    QTemporaryDir dir;
    const QString folder = dir.path();
    const QString kind = QStringLiteral("CheckPage");
    const QString detail = QStringLiteral("The page did not answer with status 200.");
    for (auto _ : state) EventLog::Append(folder, QDateTime::currentDateTime(), kind, detail);
}
BENCHMARK(BM_LogToFile);

// ---------------------------------------------------------------------------
// Page check against a bare GET

size_t Discard(char*, size_t size, size_t nmemb, void*) { return size * nmemb; }

// The least a check can do: a fresh easy handle, one GET, the body thrown away.
bool BareGet(const QByteArray& url) {
    CURL* h = curl_easy_init();
    if (!h) return false;
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Discard);
    const CURLcode code = curl_easy_perform(h);
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(h);
    return code == CURLE_OK && status == 200;
}

void BM_BareCurlGet(benchmark::State& state) {
    const QByteArray url = Server().url(QStringLiteral("/ok")).toUtf8();
    const auto start = Clock::now();
    for (auto _ : state) {
        if (!BareGet(url)) {
            state.SkipWithError("bare GET failed");
            break;
        }
    }
    g_bareGetNs = NsPerIteration(start, state);
}
BENCHMARK(BM_BareCurlGet)->UseRealTime();

void BM_BareCurlGetPlusIniWrite(benchmark::State& state) {
    WindowOnDisk disk;
    const QString ini = disk.window->engine().iniPath();
    const QString section = QLatin1String(ini::kStatus);
    const QString key = QLatin1String(ini::kPageCheckCount);
    const QByteArray url = Server().url(QStringLiteral("/ok")).toUtf8();
    int count = 0;
    const auto start = Clock::now();
    for (auto _ : state) {
        if (!ProfileStore::WriteIni(ini, section, key, QString::number(++count)) || !BareGet(url)) {
            state.SkipWithError("bare GET or INI write failed");
            break;
        }
    }
    g_bareGetPlusIniNs = NsPerIteration(start, state);
}
BENCHMARK(BM_BareCurlGetPlusIniWrite)->UseRealTime();

void BM_CheckPage(benchmark::State& state) {
    WindowOnDisk disk;
    disk.pointAt(Server().url(QStringLiteral("/ok")));
    const auto start = Clock::now();
    for (auto _ : state) {
        if (!disk.window->engine().CheckPage()) {
            state.SkipWithError("CheckPage reported a bad page");
            break;
        }
    }
    g_checkPageNs = NsPerIteration(start, state);
    if (g_bareGetPlusIniNs > 0) state.counters["x_bare_get_plus_ini"] = g_checkPageNs / g_bareGetPlusIniNs;
}
BENCHMARK(BM_CheckPage)->UseRealTime();

// ---------------------------------------------------------------------------
// One monitoring tick with a good page

void BM_GoodTick(benchmark::State& state) {
    WindowOnDisk disk;
    disk.pointAt(Server().url(QStringLiteral("/ok")));
    const int32_t before = disk.window->engine().pageCheckCount();
    for (auto _ : state) disk.window->engine().Timer1_Timer();
    if (disk.window->engine().continuousPageFailure() != 0 ||
        disk.window->engine().pageCheckCount() - before != static_cast<int32_t>(state.iterations())) {
        state.SkipWithError("a tick did not see the good page");
    }
}
BENCHMARK(BM_GoodTick)->UseRealTime();

}  // namespace
}  // namespace tarvesk

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    curl_global_init(CURL_GLOBAL_DEFAULT);
    {
        QApplication app(argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        using namespace tarvesk;
        if (g_checkPageNs > 0 && g_bareGetNs > 0 && g_bareGetPlusIniNs > 0) {
            std::printf(
                "\nCheckPage %.1f us, bare GET %.1f us, bare GET + INI write %.1f us;\n"
                "CheckPage / (bare GET + INI write) = %.2f, CheckPage / bare GET = %.2f\n",
                g_checkPageNs / 1000, g_bareGetNs / 1000, g_bareGetPlusIniNs / 1000,
                g_checkPageNs / g_bareGetPlusIniNs, g_checkPageNs / g_bareGetNs);
        }
        benchmark::Shutdown();
    }
    curl_global_cleanup();
    return 0;
}
