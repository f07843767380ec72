#include "window/readout_label.h"

#include "window/label_accessible.h"

namespace tarvesk {
namespace {

QAccessibleInterface* readoutFactory(const QString&, QObject* object) {
    auto* label = qobject_cast<ReadoutLabel*>(object);
    return label ? new LabelAccessible(label, QAccessible::StaticText) : nullptr;
}

}  // namespace

ReadoutLabel::ReadoutLabel(QWidget* parent) : QLabel(parent) {
    QAccessible::installFactory(readoutFactory);  // installed once however often asked
}

}  // namespace tarvesk
