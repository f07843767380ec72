#include "window/window_fonts.h"

#include <QApplication>
#include <QStringList>

namespace tarvesk {
namespace {

// Latin text in a compact sans-serif face; Chinese falls back to a CJK face.
// The small fallback face comes first among the CJK ones: it holds every
// character the Chinese captions use and costs less memory than the large
// pan-CJK families.
const QStringList kSansFamilies = {
    QStringLiteral("Liberation Sans"),     QStringLiteral("Arial"),            QStringLiteral("DejaVu Sans"),
    QStringLiteral("Droid Sans Fallback"), QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei"),
    QStringLiteral("Sans Serif"),
};
const QStringList kCjkFamilies = {
    QStringLiteral("Droid Sans Fallback"), QStringLiteral("Noto Sans CJK SC"),  QStringLiteral("Noto Serif CJK SC"),
    QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Sans Serif"),
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
