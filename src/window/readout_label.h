#pragma once

#include <QLabel>

namespace tarvesk {

// A label that shows a value beside its caption, the caption label having it as
// buddy. Assistive technology reads caption and value together, as the eye
// takes them in: a plain label would give the bare number, or the title of its
// group while it is empty.
class ReadoutLabel : public QLabel {
    Q_OBJECT
public:
    explicit ReadoutLabel(QWidget* parent = nullptr);
};

}  // namespace tarvesk
