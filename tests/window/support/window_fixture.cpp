#include "window/support/window_fixture.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "config/profile_store.h"
#include "notify/event_log.h"

namespace tarvesk {

WindowTest::WindowTest() {
    services = MakeCoreServices();
    services.prompt = prompt;
    services.programs = starter;
    services.siteProbe = probe;
    services.sleepOneSecond = [this] { ++sleeps; };
    services.now = [this] { return fixedNow.isValid() ? fixedNow : QDateTime::currentDateTime(); };
    services.executableFolder = [this] { return m_dir.path(); };
    services.openUrl = [this](const QString& url) { openedUrls.append(url); };
}

QString WindowTest::iniPath() const { return m_dir.path() + QStringLiteral("/Tarvesk.ini"); }

void WindowTest::writeIni(const QByteArray& content) {
    QFile file(iniPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QByteArray WindowTest::iniBytes() const {
    QFile file(iniPath());
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

QString WindowTest::ini(const QString& section, const QString& key) const {
    return ProfileStore::ReadIni(iniPath(), section, key, QStringLiteral("<missing>"));
}

QStringList WindowTest::logLines() const {
    QFile file(EventLog::PathFor(m_dir.path(), services.now()));
    if (!file.open(QIODevice::ReadOnly)) return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    return lines;
}

MainWindow& WindowTest::window() {
    if (!m_window) makeWindow();
    return *m_window;
}

void WindowTest::makeWindow() { m_window = std::make_unique<MainWindow>(services); }

QLineEdit* WindowTest::edit(const char* name) { return child<QLineEdit>(name); }
QCheckBox* WindowTest::box(const char* name) { return child<QCheckBox>(name); }
QPushButton* WindowTest::button(const char* name) { return child<QPushButton>(name); }
QLabel* WindowTest::label(const char* name) { return child<QLabel>(name); }

void WindowTest::type(const char* name, const QString& text) { edit(name)->setText(text); }

}  // namespace tarvesk
