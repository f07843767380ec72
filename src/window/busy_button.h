#pragma once

#include <QPointer>

class QAbstractButton;

namespace tarvesk {

// Keeps a button disabled for as long as this object lives. A "Try" action
// lets the window handle clicks while it waits (for a page, a mail server, a
// restart), and a second click then would start the same action again.
// Whatever way the action ends, the button comes back enabled.
class BusyButton {
public:
    explicit BusyButton(QAbstractButton* button);
    ~BusyButton();
    BusyButton(const BusyButton&) = delete;
    BusyButton& operator=(const BusyButton&) = delete;

private:
    QPointer<QAbstractButton> m_button;
};

}  // namespace tarvesk
