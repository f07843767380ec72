// Resident memory of the idle operator window against a bare window, each in
// a fresh process of this same executable so that neither inherits the
// other's heap, fonts or caches.
//
//   tarvesk_memory_bench            runs the children and prints the figures
//   tarvesk_memory_bench <mode>     child: builds one variant, shows it
//                                   offscreen, runs the event loop for half a
//                                   second and prints one line of figures
//   tarvesk_memory_bench --maps [from] [to]
//                                   the resident difference between two modes
//                                   (bare and window at first), mapping by
//                                   mapping
//
// Both sides of the headline comparison are started the same way: the same
// QApplication on the offscreen platform, shown, at the window's fixed size
// of 498x570. The variants in between take the window apart one cost at a
// time (size, the core services, the fonts, the Chinese language option, the
// controls) so that the difference can be put down to its causes.

#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <vector>
#include <memory>
#include <string>

#include "platform/services.h"
#include "window/main_window.h"
#include "window/window_fonts.h"
#include "window/window_services.h"

namespace {

constexpr int kWidth = 498;
constexpr int kHeight = 570;

struct Resident {
    long total = -1;
    long anon = -1;
    long file = -1;
};

Resident ResidentNow() {
    Resident r;
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return r;
    auto kb = [](const QByteArray& line, int skip) { return line.mid(skip).trimmed().split(' ').first().toLong(); };
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) r.total = kb(line, 6);
        if (line.startsWith("RssAnon:")) r.anon = kb(line, 8);
        if (line.startsWith("RssFile:")) r.file = kb(line, 8);
    }
    return r;
}

// The variants a child can build, from the bare window up to the real one.
struct Mode {
    const char* name;
    const char* description;
};

const Mode kModes[] = {
    {"app", "QApplication only, no window"},
    {"bare-default", "bare QWidget at its default size (the old baseline)"},
    {"bare", "bare QWidget 498x570"},
    {"bare-services", "bare 498x570 + the window's services (libcurl waits for the first transfer)"},
    {"bare-label", "bare 498x570 + one Latin label, default font"},
    {"bare-font", "bare 498x570 + the window's base font, one Latin label"},
    {"bare-radio", "bare 498x570 + a radio button \"English\", default font"},
    {"bare-cjk-text", "bare 498x570 + a radio button \"中文\", default font"},
    {"bare-cjk-font", "bare 498x570 + a radio button \"中文\", the CJK family list"},
    {"controls-latin", "bare 498x570 + ~50 controls like the window's, base fonts"},
    {"controls-cjk", "the same + the \"中文\" radio button in the CJK family list"},
    {"window-hidden", "MainWindow constructed, never shown"},
    {"window", "idle MainWindow shown"},
};

// A window of roughly the operator window's make-up: group boxes, labels,
// fields, buttons and check boxes, all in the window's fonts.
void AddControls(QWidget* top) {
    const QFont plain = tarvesk::ControlFont(false);
    const QFont bold = tarvesk::ControlFont(true);
    top->setFont(tarvesk::BaseFont());
    auto* english = new QRadioButton(QStringLiteral("English"), top);
    english->setFont(tarvesk::OptionFont(false));
    english->setGeometry(160, 8, 100, 19);
    QStyle* frameStyle = QStyleFactory::create(QStringLiteral("Windows"));
    if (frameStyle) frameStyle->setParent(top);
    int y = 40;
    for (int group = 0; group < 3; ++group) {
        auto* box = new QGroupBox(QStringLiteral("Settings - How to Monitor"), top);
        box->setFont(bold);
        if (frameStyle) box->setStyle(frameStyle);
        box->setGeometry(8, y, 480, 150);
        for (int row = 0; row < 5; ++row) {
            auto* label = new QLabel(QStringLiteral("Page failure threshold"), box);
            label->setFont(plain);
            label->setGeometry(8, 20 + row * 25, 150, 17);
            auto* edit = new QLineEdit(QStringLiteral("http://127.0.0.1/index.html"), box);
            edit->setFont(plain);
            edit->setGeometry(160, 20 + row * 25, 200, 21);
            if (row % 2 == 0) {
                auto* button = new QPushButton(QStringLiteral("Check now"), box);
                button->setFont(plain);
                button->setGeometry(370, 20 + row * 25, 100, 23);
            } else {
                auto* check = new QCheckBox(QStringLiteral("Reset"), box);
                check->setFont(plain);
                check->setGeometry(370, 20 + row * 25, 100, 17);
            }
        }
        y += 160;
    }
}

// Resident kB of every mapping, summed by what is mapped (a file, or
// [heap], [anon] and the like), one "<kB> <name>" line each.
void PrintMappings() {
    QFile smaps(QStringLiteral("/proc/self/smaps"));
    if (!smaps.open(QIODevice::ReadOnly)) return;
    std::map<std::string, long> byName;
    std::string current;
    for (const QByteArray& line : smaps.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 5 && fields[0].contains('-') && !fields[0].endsWith(':')) {
            current = fields.size() >= 6 ? fields[5].toStdString() : std::string("[anon]");
        } else if (line.startsWith("Rss:")) {
            byName[current] += line.mid(4).trimmed().split(' ').first().toLong();
        }
    }
    for (const auto& [name, kb] : byName) std::printf("%ld %s\n", kb, name.c_str());
}

int MeasureChild(int argc, char** argv, const std::string& mode) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Set up as the program sets itself up, for every variant alike.
    tarvesk::UseControlFontByDefault();
    QTemporaryDir dir;
    std::unique_ptr<QWidget> widget;
    tarvesk::Services keep;
    bool show = true;
    if (mode == "window" || mode == "window-hidden") {
        // The window's first run writes its settings beside the executable;
        // a temporary folder stands in for that. The services are the ones
        // the program itself runs with, message boxes included.
        tarvesk::Services services = tarvesk::MakeWindowServices();
        const QString folder = dir.path();
        services.executableFolder = [folder] { return folder; };
        services.openUrl = [](const QString&) {};
        widget = std::make_unique<tarvesk::MainWindow>(std::move(services));
        show = mode != "window-hidden";
    } else if (mode == "app") {
        show = false;
    } else {
        widget = std::make_unique<QWidget>();
        if (mode != "bare-default") widget->setFixedSize(kWidth, kHeight);
        if (mode == "bare-services") keep = tarvesk::MakeWindowServices();
        if (mode == "bare-label" || mode == "bare-font") {
            auto* label = new QLabel(QStringLiteral("Page check count"), widget.get());
            if (mode == "bare-font") {
                widget->setFont(tarvesk::BaseFont());
                label->setFont(tarvesk::ControlFont(false));
            }
            label->setGeometry(8, 8, 200, 17);
        }
        if (mode == "bare-radio") {
            auto* english = new QRadioButton(QStringLiteral("English"), widget.get());
            english->setGeometry(160, 8, 100, 19);
        }
        if (mode == "controls-latin" || mode == "controls-cjk") AddControls(widget.get());
        if (mode == "bare-cjk-text" || mode == "bare-cjk-font" || mode == "controls-cjk") {
            auto* chinese = new QRadioButton(QStringLiteral("中文"), widget.get());
            if (mode != "bare-cjk-text") chinese->setFont(tarvesk::OptionFont(true));
            chinese->setGeometry(285, 8, 80, 19);
        }
    }
    if (widget && show) widget->show();
    if (qEnvironmentVariableIsSet("TARVESK_MEMORY_BENCH_WIDGETS")) {
        QTimer::singleShot(450, &app, [] {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                std::fprintf(stderr, "top-level %s %s visible=%d\n", top->metaObject()->className(),
                             qPrintable(top->objectName()), top->isVisible() ? 1 : 0);
            }
        });
    }
    QTimer::singleShot(500, &app, &QCoreApplication::quit);
    QApplication::exec();
    const Resident r = ResidentNow();
    std::printf("%ld %dx%d %ld %ld\n", r.total, widget ? widget->width() : 0, widget ? widget->height() : 0, r.anon,
                r.file);
    if (argc > 2 && std::strcmp(argv[2], "maps") == 0) PrintMappings();
    return 0;
}

struct ChildResult {
    bool ok = false;
    long total = 0;
    long anon = 0;
    long file = 0;
    std::string size;
    std::string output;
};

// Runs this executable with `mode` and reads back its one line of figures.
ChildResult RunChild(const char* self, const char* mode, const char* extra = nullptr) {
    ChildResult result;
    int fds[2];
    if (pipe(fds) != 0) return result;
    const pid_t pid = fork();
    if (pid < 0) return result;
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        execl(self, self, mode, extra, static_cast<char*>(nullptr));
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
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return result;
    char size[64] = {0};
    if (std::sscanf(out.c_str(), "%ld %63s %ld %ld", &result.total, size, &result.anon, &result.file) != 4) {
        return result;
    }
    result.size = size;
    result.output = out;
    result.ok = true;
    return result;
}

// The median of a few runs of one mode, by total resident size.
ChildResult MedianOf(const char* self, const char* mode, int runs) {
    ChildResult all[9];
    int got = 0;
    for (int i = 0; i < runs && i < 9; ++i) {
        ChildResult r = RunChild(self, mode);
        if (r.ok) all[got++] = r;
    }
    if (got == 0) return {};
    for (int i = 1; i < got; ++i) {
        for (int j = i; j > 0 && all[j].total < all[j - 1].total; --j) std::swap(all[j], all[j - 1]);
    }
    return all[got / 2];
}

std::map<std::string, long> Mappings(const std::string& output) {
    std::map<std::string, long> byName;
    std::istringstream lines(output);
    std::string line;
    std::getline(lines, line);  // the figures
    while (std::getline(lines, line)) {
        const size_t space = line.find(' ');
        if (space == std::string::npos) continue;
        byName[line.substr(space + 1)] += std::atol(line.c_str());
    }
    return byName;
}

// Where the resident difference between two modes lies, mapping by mapping.
int CompareMappings(const char* self, const char* from, const char* to) {
    const ChildResult a = RunChild(self, from, "maps");
    const ChildResult b = RunChild(self, to, "maps");
    if (!a.ok || !b.ok) {
        std::fprintf(stderr, "a measuring child failed\n");
        return 1;
    }
    std::map<std::string, long> delta = Mappings(b.output);
    for (const auto& [name, kb] : Mappings(a.output)) delta[name] -= kb;
    std::vector<std::pair<long, std::string>> rows;
    for (const auto& [name, kb] : delta) {
        if (kb != 0) rows.emplace_back(kb, name);
    }
    std::sort(rows.begin(), rows.end(), [](const auto& x, const auto& y) { return x.first > y.first; });
    std::printf("resident kB, %s minus %s (total %ld kB):\n", to, from, b.total - a.total);
    long shown = 0;
    for (const auto& [kb, name] : rows) {
        if (kb < 64 && kb > -64) continue;
        std::printf("%+8ld  %s\n", kb, name.c_str());
        shown += kb;
    }
    std::printf("%+8ld  (mappings under 64 kB each)\n", (b.total - a.total) - shown);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--maps") != 0) {
        for (const Mode& mode : kModes) {
            if (std::strcmp(argv[1], mode.name) == 0) return MeasureChild(argc, argv, mode.name);
        }
        std::fprintf(stderr, "unknown mode %s\n", argv[1]);
        return 2;
    }

    char self[4096];
    const ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
    if (len <= 0) {
        std::fprintf(stderr, "cannot find this executable\n");
        return 1;
    }
    self[len] = '\0';
    if (argc > 1) return CompareMappings(self, argc > 2 ? argv[2] : "bare", argc > 3 ? argv[3] : "window");

    constexpr int kRuns = 3;
    std::printf("median of %d fresh processes per line, offscreen platform, after 0.5 s of event loop\n\n", kRuns);
    std::printf("%-15s %9s %9s %9s %9s  %s\n", "mode", "VmRSS kB", "anon kB", "file kB", "size", "what");
    ChildResult bare;
    ChildResult label;
    ChildResult window;
    for (const Mode& mode : kModes) {
        const ChildResult r = MedianOf(self, mode.name, kRuns);
        if (!r.ok) {
            std::fprintf(stderr, "the measuring child for %s failed\n", mode.name);
            return 1;
        }
        std::printf("%-15s %9ld %9ld %9ld %9s  %s\n", mode.name, r.total, r.anon, r.file, r.size.c_str(),
                    mode.description);
        if (std::strcmp(mode.name, "bare") == 0) bare = r;
        if (std::strcmp(mode.name, "bare-label") == 0) label = r;
        if (std::strcmp(mode.name, "window") == 0) window = r;
    }
    std::printf("\nbare QWidget 498x570 shown offscreen: VmRSS %ld kB\n", bare.total);
    std::printf("idle MainWindow shown offscreen     : VmRSS %ld kB (size %s)\n", window.total, window.size.c_str());
    if (bare.total > 0) {
        std::printf("MainWindow / bare QWidget = %.2f (difference %ld kB: %ld kB anonymous, %ld kB file-backed)\n",
                    static_cast<double>(window.total) / static_cast<double>(bare.total), window.total - bare.total,
                    window.anon - bare.anon, window.file - bare.file);
    }
    // A window without a line of text never loads the font and shaping
    // libraries; one label is the least any window with text pays.
    if (label.total > 0) {
        std::printf("MainWindow / bare QWidget with one label = %.2f (%ld kB against %ld kB)\n",
                    static_cast<double>(window.total) / static_cast<double>(label.total), window.total,
                    label.total);
    }
    return 0;
}
