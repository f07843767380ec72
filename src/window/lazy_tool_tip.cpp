#include "window/lazy_tool_tip.h"

#include <QEvent>
#include <QWidget>

namespace tarvesk {

LazyToolTip::LazyToolTip(QWidget* widget, std::function<QString()> text)
    : QObject(widget), m_widget(widget), m_text(std::move(text)) {
    widget->installEventFilter(this);
}

bool LazyToolTip::eventFilter(QObject* watched, QEvent* event) {
    // The widget's own handling then shows the fresh text, or nothing when
    // it is empty.
    if (watched == m_widget && event->type() == QEvent::ToolTip) m_widget->setToolTip(m_text());
    return false;
}

}  // namespace tarvesk
