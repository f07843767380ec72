// IsDate/ParseDate on arbitrary text, and the fixed date form read back by
// ParseDate: whatever ParseDate accepts or the program writes must come back
// as the very same point in time.

#include "fuzz_support.h"
#include "platform/text_conv.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include <cstdint>
#include <cstring>

namespace {

using tarvesk::fuzz::Check;
using tarvesk::fuzz::DecodeText;

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
    const QString text = DecodeText(data, size);
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
