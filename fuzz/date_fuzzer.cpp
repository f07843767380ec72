// IsDate/ParseDate on arbitrary text, and the fixed date form read back by
// ParseDate: whatever ParseDate accepts or the program writes must come back
// as the very same point in time.

#include "platform/text_conv.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include <cstdint>
#include <cstring>

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

QString Decode(const uint8_t* data, size_t size) {
    if (size == 0) return QString();
    const char* text = reinterpret_cast<const char*>(data + 1);
    const qsizetype n = static_cast<qsizetype>(size - 1);
    if (data[0] & 1) return QString::fromUtf8(text, n);
    return QString::fromLatin1(text, n);
}

void CheckRoundTrip(const QDateTime& value) {
    const QString fixed = tarvesk::FormatFixedDateTime(value);
    Check(tarvesk::IsDate(fixed));
    const std::optional<QDateTime> again = tarvesk::ParseDate(fixed);
    Check(again.has_value() && *again == value && again->time() == value.time() &&
          again->date() == value.date());
    Check(tarvesk::FormatFixedDateTime(*again) == fixed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarvesk;
    const QString text = Decode(data, size);
    const std::optional<QDateTime> parsed = ParseDate(text);
    Check(IsDate(text) == parsed.has_value());
    if (parsed) {
        Check(parsed->isValid());
        Check(parsed->time().msec() == 0);
        CheckRoundTrip(*parsed);
    }

    // The same bytes as fields of a point in time, years 1..9999 (four digits
    // is all the fixed form has).
    if (size >= 8) {
        uint16_t year = 0;
        std::memcpy(&year, data, sizeof year);
        const QDate date(1 + year % 9999, 1 + data[2] % 12, 1 + data[3] % 31);
        const QTime time(data[4] % 24, data[5] % 60, data[6] % 60);
        if (date.isValid()) {
            const QDateTime value(date, time);
            if (value.isValid()) CheckRoundTrip(value);
        }
    }
    return 0;
}
