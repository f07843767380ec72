#pragma once

#include <QFont>

namespace tarvesk {

// The window's base font: the system sans-serif face at 8.25 pt, underlined
// (only controls without a font of their own show it, such as the support
// link).
QFont BaseFont();
// The font every other control carries: the same face, not underlined.
QFont ControlFont(bool bold);
// Makes the control font the application's default. Text laid out before a
// control receives its own font (a line edit lays out as it is constructed)
// and the message boxes then use the face already loaded instead of a second
// one.
void UseControlFontByDefault();
// The language option buttons, 9.75 pt; the Chinese one in a CJK face.
QFont OptionFont(bool chinese);

}  // namespace tarvesk
