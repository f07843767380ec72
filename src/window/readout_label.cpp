#include "window/readout_label.h"

#include <QAccessibleWidget>

namespace tarvesk {
namespace {

class ReadoutAccessible : public QAccessibleWidget {
public:
    explicit ReadoutAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    // The base gives the caption (from the buddy relation); the value follows.
    QString text(QAccessible::Text t) const override {
        const QString own = QAccessibleWidget::text(t);
        if (t != QAccessible::Name || !widget()->accessibleName().isEmpty()) return own;
        return (own + QLatin1Char(' ') + static_cast<QLabel*>(widget())->text()).trimmed();
    }
};

QAccessibleInterface* readoutFactory(const QString&, QObject* object) {
    auto* label = qobject_cast<ReadoutLabel*>(object);
    return label ? new ReadoutAccessible(label) : nullptr;
}

}  // namespace

ReadoutLabel::ReadoutLabel(QWidget* parent) : QLabel(parent) {
    QAccessible::installFactory(readoutFactory);  // installed once however often asked
}

}  // namespace tarvesk
