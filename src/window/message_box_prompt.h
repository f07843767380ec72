#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/prompt.h"

namespace tarvesk {

// Message boxes titled "Tarvesk", without icon, modal to the window.
class MessageBoxPrompt : public Prompt {
public:
    void setParent(QWidget* parent) { m_parent = parent; }
    void inform(const QString& text) override;
    bool confirm(const QString& text) override;

private:
    QPointer<QWidget> m_parent;
};

}  // namespace tarvesk
