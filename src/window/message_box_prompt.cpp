#include "window/message_box_prompt.h"

#include <QMessageBox>

namespace tarvesk {
namespace {
const QString kTitle = QStringLiteral("Tarvesk");
}

void MessageBoxPrompt::inform(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, kTitle, text, QMessageBox::Ok, m_parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool MessageBoxPrompt::confirm(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, kTitle, text, QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace tarvesk
