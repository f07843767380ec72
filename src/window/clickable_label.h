#pragma once

#include <QLabel>

namespace tarvesk {

// A label that reports a click of the left mouse button. Assistive technology
// sees it as a link whose press action gives the same click; it still takes no
// keyboard focus.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickableLabel(const QString& text, QWidget* parent = nullptr);

    // Reports a click, as the mouse does.
    void click();

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace tarvesk
