#pragma once

#include <QProxyStyle>

namespace tarvesk {

// The classic etched frames, their caption breaking the top line. Unlike the
// default desktop style this draws no image, which spares loading the image
// readers for three rectangles. The caption gets the height its text needs:
// the base style gives it the height of the Latin face, and a Chinese caption
// set in the taller CJK face would lose its lower part.
class FrameStyle : public QProxyStyle {
public:
    FrameStyle();

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget) const override;
};

}  // namespace tarvesk
