#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QWidget;

namespace tarvesk {

// Fills a widget's tool tip from `text` at the moment the tip is about to
// show: for a tip that would change at every page check but is seldom looked
// at, so that a check pays nothing for it.
class LazyToolTip : public QObject {
    Q_OBJECT
public:
    LazyToolTip(QWidget* widget, std::function<QString()> text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_widget;
    std::function<QString()> m_text;
};

}  // namespace tarvesk
