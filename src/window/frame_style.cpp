#include "window/frame_style.h"

#include <QStyleFactory>
#include <QStyleOptionGroupBox>

namespace tarvesk {

FrameStyle::FrameStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Windows"))) {}

QRect FrameStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                                 const QWidget* widget) const {
    QRect rect = QProxyStyle::subControlRect(control, option, sub, widget);
    if (control == CC_GroupBox && sub == SC_GroupBoxLabel) {
        if (const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option)) {
            rect.setHeight(std::max(rect.height(), box->fontMetrics.boundingRect(box->text).height()));
        }
    }
    return rect;
}

}  // namespace tarvesk
