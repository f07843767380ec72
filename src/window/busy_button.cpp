#include "window/busy_button.h"

#include <QAbstractButton>

namespace tarvesk {

BusyButton::BusyButton(QAbstractButton* button) : m_button(button) {
    if (!m_button) return;
    // The window's focus widget, not hasFocus(): it holds while the window
    // is inactive too, and it is what Qt moves on when the button is disabled.
    m_hadFocus = m_button->window()->focusWidget() == m_button;
    m_button->setEnabled(false);
    if (m_hadFocus) m_focusHandedTo = m_button->window()->focusWidget();
}

BusyButton::~BusyButton() {
    if (!m_button) return;
    m_button->setEnabled(true);
    if (m_hadFocus && m_button->window()->focusWidget() == m_focusHandedTo) m_button->setFocus(Qt::OtherFocusReason);
}

}  // namespace tarvesk
