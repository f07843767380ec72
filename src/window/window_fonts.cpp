#include "window/window_fonts.h"

#include <QApplication>
#include <QStringList>

namespace tarvesk {
namespace {

// Latin text in a compact sans-serif face; Chinese falls back to a CJK face.
// The Simplified Chinese face comes first among the CJK ones: it sets the
// full-width "，" "：" "。" low at the left of the cell, as Simplified Chinese
// is set, where a pan-CJK fallback face centres them. The faces after it only
// stand in on machines without it.
const QStringList kSansFamilies = {
    QStringLiteral("Liberation Sans"),     QStringLiteral("Arial"),
    QStringLiteral("DejaVu Sans"),         QStringLiteral("Noto Sans CJK SC"),
    QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Droid Sans Fallback"),
    QStringLiteral("Sans Serif"),
};
const QStringList kCjkFamilies = {
    QStringLiteral("Noto Sans CJK SC"),  QStringLiteral("Noto Serif CJK SC"),   QStringLiteral("WenQuanYi Micro Hei"),
    QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Droid Sans Fallback"), QStringLiteral("Sans Serif"),
};

QFont Make(const QStringList& families, double points, bool bold, bool underline) {
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setUnderline(underline);
    return font;
}

}  // namespace

QFont BaseFont() { return Make(kSansFamilies, 8.25, false, true); }

QFont ControlFont(bool bold) { return Make(kSansFamilies, 8.25, bold, false); }

void UseControlFontByDefault() { QApplication::setFont(ControlFont(false)); }

QFont OptionFont(bool chinese) { return Make(chinese ? kCjkFamilies : kSansFamilies, 9.75, false, true); }

}  // namespace tarvesk
