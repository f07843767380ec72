#include "window/label_accessible.h"

#include <QLabel>

namespace tarvesk {

LabelAccessible::LabelAccessible(QLabel* label, QAccessible::Role role) : QAccessibleWidget(label, role) {}

QString LabelAccessible::text(QAccessible::Text t) const {
    // The base gives a name set on the widget, else the caption of the buddy relation.
    const QString base = QAccessibleWidget::text(t);
    if (t != QAccessible::Name || !widget()->accessibleName().isEmpty()) return base;
    return (base + QLatin1Char(' ') + static_cast<const QLabel*>(widget())->text()).trimmed();
}

}  // namespace tarvesk
