#pragma once

#include <QAccessibleWidget>

class QLabel;

namespace tarvesk {

// A label of the window as assistive technology sees it: named by the caption
// that has it as buddy, if any, followed by its own text. Plain labels get
// Qt's own face; this one is for the labels that act or show a value.
class LabelAccessible : public QAccessibleWidget {
public:
    LabelAccessible(QLabel* label, QAccessible::Role role);

    QString text(QAccessible::Text t) const override;
};

}  // namespace tarvesk
