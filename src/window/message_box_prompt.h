#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "platform/prompt.h"

namespace tarvesk {

// Message boxes titled "Tarvesk", without icon, in front of the window, whose
// buttons speak the window's language.
//
// Where nobody can see a window (no display: the minimal or offscreen platform) a box
// would wait for ever: its text goes to standard error instead, where a
// service's journal keeps it, and it answers at once (OK, or No).
class MessageBoxPrompt : public Prompt {
public:
    void setParent(QWidget* parent) { m_parent = parent; }
    void inform(const QString& text) override;
    bool confirm(const QString& text) override;
    void setLanguage(const QString& language) override { m_language = language; }

    // The box as shown: plain text, no icon, the buttons named in `language`.
    static std::unique_ptr<QMessageBox> MakeBox(const QString& text, QMessageBox::StandardButtons buttons,
                                                const QString& language, QWidget* parent);
    // True where no window can be seen.
    static bool NobodySeesWindows();

private:
    QMessageBox::StandardButton run(const QString& text, QMessageBox::StandardButtons buttons);

    QPointer<QWidget> m_parent;
    QString m_language;
};

}  // namespace tarvesk
