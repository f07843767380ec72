#pragma once

#include <gtest/gtest.h>

#include <QDateTime>
#include <QStringList>
#include <QTemporaryDir>
#include <deque>
#include <functional>
#include <memory>

#include "platform/services.h"
#include "window/main_window.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tarvesk {

// Message boxes answered by the test: every text is recorded; confirmations
// take the queued answers (Yes when the queue is empty).
class FakePrompt : public Prompt {
public:
    void inform(const QString& text) override {
        informs.append(text);
        if (onInform) onInform(text);
    }
    bool confirm(const QString& text) override {
        confirms.append(text);
        if (answers.empty()) return true;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void setLanguage(const QString& code) override { language = code; }
    QStringList informs;
    QStringList confirms;
    QString language;
    std::deque<bool> answers;
    std::function<void(const QString&)> onInform;
};

// Records the command lines instead of running them, for the reboot and for
// tests that count starts; `failWith` makes every start fail.
class RecordingStarter : public ProgramStarter {
public:
    bool start(const QString& commandLine, QString* error, ProgramRefusal*) override {
        started.append(commandLine);
        if (onStart) onStart(commandLine);
        if (!failWith.isEmpty()) {
            if (error) *error = failWith;
            return false;
        }
        return true;
    }
    QStringList started;
    QString failWith;
    std::function<void(const QString&)> onStart;
};

// Answers the site state from a script; the last entry repeats.
class ScriptedSiteProbe : public SiteProbe {
public:
    int state(const QString&) override {
        ++readings;
        if (script.empty()) return SiteUnknown;
        const int s = script.front();
        if (script.size() > 1) script.pop_front();
        return s;
    }
    std::deque<int> script;
    int readings = 0;
};

// A window whose executable folder is a temporary folder, with real HTTP,
// real files, and fakes only for message boxes, program start, site state,
// the one-second sleep and (optionally) the clock.
class WindowTest : public ::testing::Test {
protected:
    WindowTest();

    QString folder() const { return m_dir.path(); }
    QString iniPath() const;
    // Writes the INI file before the window is made.
    void writeIni(const QByteArray& content);
    QByteArray iniBytes() const;
    QString ini(const QString& section, const QString& key) const;
    // Lines of this month's log, without their CRLF.
    QStringList logLines() const;

    MainWindow& window();  // made on first use
    MonitorEngine& engine() { return window().engine(); }
    void makeWindow();
    void resetWindow() { m_window.reset(); }

    QLineEdit* edit(const char* name);
    QCheckBox* box(const char* name);
    QPushButton* button(const char* name);
    QLabel* label(const char* name);
    // A control of the window by its object name; a missing one fails the test.
    template <typename W>
    W* child(const char* name) {
        auto* w = window().findChild<W*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Replaces a field's text as a paste would: one change.
    void type(const char* name, const QString& text);

    Services services;
    std::shared_ptr<FakePrompt> prompt = std::make_shared<FakePrompt>();
    std::shared_ptr<RecordingStarter> starter = std::make_shared<RecordingStarter>();
    std::shared_ptr<ScriptedSiteProbe> probe = std::make_shared<ScriptedSiteProbe>();
    int sleeps = 0;
    QDateTime fixedNow;  // when valid, the clock stands here
    QStringList openedUrls;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
};

}  // namespace tarvesk
