#pragma once

#include <QPointer>

class QAbstractButton;
class QWidget;

namespace tarvesk {

// Keeps a button disabled for as long as this object lives. A "Try" action
// lets the window handle clicks while it waits (for a page, a mail server, a
// restart), and a second click then would start the same action again.
// Whatever way the action ends, the button comes back enabled. Disabling a
// focused button hands the focus to the next control; it comes back when the
// action ends, unless the operator has put it somewhere else meanwhile.
class BusyButton {
public:
    explicit BusyButton(QAbstractButton* button);
    ~BusyButton();
    BusyButton(const BusyButton&) = delete;
    BusyButton& operator=(const BusyButton&) = delete;

private:
    QPointer<QAbstractButton> m_button;
    bool m_hadFocus = false;
    QPointer<QWidget> m_focusHandedTo;
};

}  // namespace tarvesk
