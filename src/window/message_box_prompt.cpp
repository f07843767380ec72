#include "window/message_box_prompt.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>

#include "platform/standard_error_prompt.h"

namespace tarvesk {
namespace {

const QString kTitle = QStringLiteral("Tarvesk");

// Swallows the operator's input to one window while a box is open, which is
// what a modal box does, without making the box modal to the window system:
// a window under a modal box ignores the request to close, and closing must
// end the program whatever is open.
class InputBlocker : public QObject {
public:
    explicit InputBlocker(QWidget* window) : m_window(window) { qApp->installEventFilter(this); }
    ~InputBlocker() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!m_window || !isInput(event->type())) return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        return widget && widget->window() == m_window;
    }

private:
    static bool isInput(QEvent::Type type) {
        switch (type) {
            case QEvent::MouseButtonPress:
            case QEvent::MouseButtonRelease:
            case QEvent::MouseButtonDblClick:
            case QEvent::Wheel:
            case QEvent::KeyPress:
            case QEvent::KeyRelease:
            case QEvent::ShortcutOverride:
            case QEvent::Shortcut:
            case QEvent::ContextMenu:
            case QEvent::TouchBegin:
            case QEvent::InputMethod:
                return true;
            default:
                return false;
        }
    }

    QPointer<QWidget> m_window;
};

}  // namespace

std::unique_ptr<QMessageBox> MessageBoxPrompt::MakeBox(const QString& text, QMessageBox::StandardButtons buttons,
                                                       const QString& language, QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(QMessageBox::NoIcon, kTitle, text, buttons, parent);
    box->setTextFormat(Qt::PlainText);
    if (buttons & QMessageBox::Yes) box->setDefaultButton(QMessageBox::Yes);
    if (language == QLatin1String("cn")) {
        const std::pair<QMessageBox::StandardButton, const char*> names[] = {
            {QMessageBox::Ok, "确定"}, {QMessageBox::Yes, "是"}, {QMessageBox::No, "否"}};
        for (const auto& [which, name] : names) {
            if (QAbstractButton* button = box->button(which)) button->setText(QString::fromUtf8(name));
        }
    }
    return box;
}

bool MessageBoxPrompt::NobodySeesWindows() {
    const QString platform = QGuiApplication::platformName();
    return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

QMessageBox::StandardButton MessageBoxPrompt::run(const QString& text, QMessageBox::StandardButtons buttons) {
    const QMessageBox::StandardButton unseenAnswer = buttons & QMessageBox::No ? QMessageBox::No : QMessageBox::Ok;
    if (NobodySeesWindows()) {
        StandardErrorPrompt::Say(text, unseenAnswer == QMessageBox::No);
        return unseenAnswer;
    }

    std::unique_ptr<QMessageBox> box = MakeBox(text, buttons, m_language, m_parent);
    InputBlocker blocker(m_parent ? m_parent->window() : nullptr);
    box->setWindowModality(Qt::NonModal);
    QEventLoop loop;
    QObject::connect(box.get(), &QDialog::finished, &loop, &QEventLoop::quit);
    box->show();
    box->raise();
    box->activateWindow();
    loop.exec(QEventLoop::DialogExec);
    QAbstractButton* clicked = box->clickedButton();
    // Closing the box by its title bar counts as its safe answer.
    return clicked ? box->standardButton(clicked) : unseenAnswer;
}

void MessageBoxPrompt::inform(const QString& text) { run(text, QMessageBox::Ok); }

bool MessageBoxPrompt::confirm(const QString& text) {
    return run(text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace tarvesk
