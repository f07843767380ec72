#include "window/clickable_label.h"

#include <QMouseEvent>

#include "window/label_accessible.h"

namespace tarvesk {
namespace {

// The label as assistive technology sees it: a link named by its text.
class LinkAccessible : public LabelAccessible {
public:
    explicit LinkAccessible(ClickableLabel* label) : LabelAccessible(label, QAccessible::Link) {}

    QAccessible::State state() const override {
        QAccessible::State s = LabelAccessible::state();
        s.linked = true;
        return s;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& action) override {
        if (action == pressAction()) label()->click();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    ClickableLabel* label() const { return static_cast<ClickableLabel*>(widget()); }
};

QAccessibleInterface* linkFactory(const QString&, QObject* object) {
    auto* label = qobject_cast<ClickableLabel*>(object);
    return label ? new LinkAccessible(label) : nullptr;
}

}  // namespace

ClickableLabel::ClickableLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    QAccessible::installFactory(linkFactory);  // installed once however often asked
}

void ClickableLabel::click() { emit clicked(); }

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) click();
}

}  // namespace tarvesk
