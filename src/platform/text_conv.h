#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>

namespace tarvesk {

// Removes leading and trailing blanks (U+0020 only; tabs stay).
QString TrimBlanks(const QString& text);

// `text` with every control character (TAB and line breaks included) and
// every line or paragraph separator as a blank, so that it stays one line
// wherever it is written: a log entry, a journal line, a status text.
QString OneLine(QString text);

// The numeric test: optional blanks/tabs around, an optional sign, digits with
// an optional "." fraction (".5" and "5." count), an optional exponent.
// Nothing else; the empty text is not numeric.
bool IsNumeric(const QString& text);

// The value of a numeric text, or nothing when IsNumeric fails or the value is
// not finite.
std::optional<double> ToDouble(const QString& text);

// Round to the nearest integer, halves to even. Nothing when the result does
// not fit the target type.
std::optional<int16_t> RoundToInt16(double value);
std::optional<int32_t> RoundToInt32(double value);

// ToDouble followed by the rounding above.
std::optional<int16_t> ToInt16(const QString& text);
std::optional<int32_t> ToInt32(const QString& text);

// The date test: a calendar-valid "yyyy-m-d" with an optional time
// "h:mm" or "h:mm:ss" after one or more blanks ("/" also separates the date).
bool IsDate(const QString& text);
std::optional<QDateTime> ParseDate(const QString& text);

// The fixed form used for the persisted start time: "yyyy-m-d hh:mm:ss".
QString FormatFixedDateTime(const QDateTime& value);

// The general form for status lines, log lines and labels: the system locale's
// short date, a blank, the time with seconds.
QString FormatGeneralDateTime(const QDateTime& value);

}  // namespace tarvesk
