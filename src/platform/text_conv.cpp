#include "platform/text_conv.h"

#include <QDate>
#include <QLocale>
#include <QTime>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>

namespace tarvesk {
namespace {

bool IsBlankOrTab(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

bool IsAsciiDigit(QChar c) { return c.unicode() >= '0' && c.unicode() <= '9'; }

// The text between leading and trailing blanks/tabs, as [begin, end).
void BlankBounds(const QString& text, qsizetype& begin, qsizetype& end) {
    begin = 0;
    end = text.size();
    while (begin < end && IsBlankOrTab(text[begin])) ++begin;
    while (end > begin && IsBlankOrTab(text[end - 1])) --end;
}

// Number of ASCII digits starting at `pos`.
qsizetype CountDigits(const QString& text, qsizetype pos, qsizetype end) {
    qsizetype n = 0;
    while (pos + n < end && IsAsciiDigit(text[pos + n])) ++n;
    return n;
}

// Parses with the C locale whatever the process locale is: QCoreApplication
// calls setlocale(LC_ALL, ""), after which plain strtod would expect a ","
// in a German session.
double StrtodC(const char* text) {
    static const locale_t cLocale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return ::strtod_l(text, nullptr, cLocale);
}

template <typename T>
std::optional<T> RoundTo(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    // Halves to even, spelled out so that the result does not depend on the
    // floating-point rounding mode. v - floor(v) is exact for every double.
    const double low = std::floor(value);
    const double fraction = value - low;
    double rounded = low;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(low, 2.0) != 0.0)) rounded = low + 1.0;
    if (rounded < static_cast<double>(std::numeric_limits<T>::min()) ||
        rounded > static_cast<double>(std::numeric_limits<T>::max()))
        return std::nullopt;
    return static_cast<T>(rounded);
}

// Reads an unsigned number of `minDigits`..`maxDigits` ASCII digits at `pos`.
bool ReadField(const QString& text, qsizetype& pos, qsizetype end, int minDigits, int maxDigits,
               int& out) {
    const qsizetype n = CountDigits(text, pos, end);
    if (n < minDigits || n > maxDigits) return false;
    out = 0;
    for (qsizetype i = 0; i < n; ++i) out = out * 10 + (text[pos + i].unicode() - '0');
    pos += n;
    return true;
}

// Inserts seconds after the last "mm" outside quoted literal text, with the
// separator that precedes the minutes (":" in most locales, "." in some),
// unless the format already shows seconds.
QString EnsureSeconds(const QString& format) {
    bool quoted = false;
    bool hasSeconds = false;
    qsizetype minutesBegin = -1;
    qsizetype minutesEnd = -1;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            continue;
        }
        if (quoted) continue;
        if (c == QLatin1Char('s')) hasSeconds = true;
        if (c == QLatin1Char('m')) {
            qsizetype j = i;
            while (j < format.size() && format[j] == QLatin1Char('m')) ++j;
            minutesBegin = i;
            minutesEnd = j;
            i = j - 1;
        }
    }
    if (hasSeconds) return format;
    if (minutesEnd < 0) return QStringLiteral("HH:mm:ss");
    QChar separator = QLatin1Char(':');
    if (minutesBegin > 0) {
        const QChar before = format[minutesBegin - 1];
        if (!before.isLetterOrNumber() && !before.isSpace() && before != QLatin1Char('\''))
            separator = before;
    }
    QString result = format;
    result.insert(minutesEnd, separator + QStringLiteral("ss"));
    return result;
}

}  // namespace

QString TrimBlanks(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' ')) ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' ')) --end;
    return text.mid(begin, end - begin);
}

QString OneLine(QString text) {
    for (QChar& c : text) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line ||
            category == QChar::Separator_Paragraph) {
            c = QLatin1Char(' ');
        }
    }
    return text;
}

bool IsNumeric(const QString& text) {
    qsizetype pos = 0;
    qsizetype end = 0;
    BlankBounds(text, pos, end);
    if (pos == end) return false;

    if (text[pos] == QLatin1Char('+') || text[pos] == QLatin1Char('-')) ++pos;
    const qsizetype intDigits = CountDigits(text, pos, end);
    pos += intDigits;
    qsizetype fracDigits = 0;
    if (pos < end && text[pos] == QLatin1Char('.')) {
        ++pos;
        fracDigits = CountDigits(text, pos, end);
        pos += fracDigits;
    }
    if (intDigits + fracDigits == 0) return false;

    if (pos < end && (text[pos] == QLatin1Char('e') || text[pos] == QLatin1Char('E'))) {
        ++pos;
        if (pos < end && (text[pos] == QLatin1Char('+') || text[pos] == QLatin1Char('-'))) ++pos;
        const qsizetype expDigits = CountDigits(text, pos, end);
        if (expDigits == 0) return false;
        pos += expDigits;
    }
    return pos == end;
}

std::optional<double> ToDouble(const QString& text) {
    if (!IsNumeric(text)) return std::nullopt;
    qsizetype begin = 0;
    qsizetype end = 0;
    BlankBounds(text, begin, end);
    // Validated: plain ASCII from here on.
    const QByteArray ascii = text.mid(begin, end - begin).toLatin1();
    const double value = StrtodC(ascii.constData());
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<int16_t> RoundToInt16(double value) { return RoundTo<int16_t>(value); }
std::optional<int32_t> RoundToInt32(double value) { return RoundTo<int32_t>(value); }

std::optional<int16_t> ToInt16(const QString& text) {
    const auto value = ToDouble(text);
    return value ? RoundToInt16(*value) : std::nullopt;
}

std::optional<int32_t> ToInt32(const QString& text) {
    const auto value = ToDouble(text);
    return value ? RoundToInt32(*value) : std::nullopt;
}

std::optional<QDateTime> ParseDate(const QString& text) {
    qsizetype pos = 0;
    qsizetype end = 0;
    BlankBounds(text, pos, end);

    int year = 0, month = 0, day = 0;
    if (!ReadField(text, pos, end, 4, 4, year)) return std::nullopt;
    if (pos >= end || (text[pos] != QLatin1Char('-') && text[pos] != QLatin1Char('/')))
        return std::nullopt;
    const QChar separator = text[pos++];
    if (!ReadField(text, pos, end, 1, 2, month)) return std::nullopt;
    if (pos >= end || text[pos] != separator) return std::nullopt;
    ++pos;
    if (!ReadField(text, pos, end, 1, 2, day)) return std::nullopt;
    const QDate date(year, month, day);
    if (!date.isValid()) return std::nullopt;

    QTime time(0, 0, 0);
    if (pos < end) {
        if (!IsBlankOrTab(text[pos])) return std::nullopt;
        while (pos < end && IsBlankOrTab(text[pos])) ++pos;
        int hour = 0, minute = 0, second = 0;
        if (!ReadField(text, pos, end, 1, 2, hour)) return std::nullopt;
        if (pos >= end || text[pos] != QLatin1Char(':')) return std::nullopt;
        ++pos;
        if (!ReadField(text, pos, end, 2, 2, minute)) return std::nullopt;
        if (pos < end) {
            if (text[pos] != QLatin1Char(':')) return std::nullopt;
            ++pos;
            if (!ReadField(text, pos, end, 2, 2, second)) return std::nullopt;
        }
        if (pos != end) return std::nullopt;
        time = QTime(hour, minute, second);
        if (!time.isValid()) return std::nullopt;
    }
    // A local time skipped when the clocks go forward is no date. Qt before
    // 6.7 makes it invalid; later versions move it past the gap, so a value
    // that does not show the date and time it was made from is refused too.
    const QDateTime value(date, time);
    if (!value.isValid() || value.date() != date || value.time() != time) return std::nullopt;
    return value;
}

bool IsDate(const QString& text) { return ParseDate(text).has_value(); }

QString FormatFixedDateTime(const QDateTime& value) {
    if (!value.isValid()) return QString();
    return QLocale::c().toString(value, QStringLiteral("yyyy-M-d HH:mm:ss"));
}

QString FormatGeneralDateTime(const QDateTime& value) {
    if (!value.isValid()) return QString();
    const QLocale locale = QLocale::system();
    const QString format = locale.dateFormat(QLocale::ShortFormat) + QLatin1Char(' ') +
                           EnsureSeconds(locale.timeFormat(QLocale::ShortFormat));
    return locale.toString(value, format);
}

}  // namespace tarvesk
