#include "window/busy_button.h"

#include <QAbstractButton>

namespace tarvesk {

BusyButton::BusyButton(QAbstractButton* button) : m_button(button) {
    if (m_button) m_button->setEnabled(false);
}

BusyButton::~BusyButton() {
    if (m_button) m_button->setEnabled(true);
}

}  // namespace tarvesk
