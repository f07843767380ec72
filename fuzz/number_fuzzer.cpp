// Checks IsNumeric, ToDouble, ToInt16/32 and RoundToInt16/32 against a slow
// reference: a hand-written state machine for the accepted form and decimal
// digit arithmetic for the rounding, so halves are decided from the digits
// themselves and never from a binary approximation.

#include "fuzz_support.h"
#include "platform/text_conv.h"

#include <QString>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <locale.h>
#include <optional>
#include <string>

namespace {

using tarvesk::fuzz::Check;
using tarvesk::fuzz::DecodeText;

struct Parsed {
    bool negative = false;
    std::string digits;  // integer and fraction digits together
    long long fractionDigits = 0;
    long long exponent = 0;  // saturated far beyond anything that matters
    std::string ascii;       // the trimmed text
};

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// The accepted form, as a state machine over the text between blanks/tabs.
std::optional<Parsed> RefParse(const QString& text) {
    qsizetype b = 0;
    qsizetype e = text.size();
    const auto blank = [](QChar c) { return c.unicode() == u' ' || c.unicode() == u'\t'; };
    while (b < e && blank(text[b])) ++b;
    while (e > b && blank(text[e - 1])) --e;

    enum State { Start, Sign, Int, Dot, Frac, Exp, ExpSign, ExpDigits, Bad };
    State st = Start;
    Parsed p;
    bool expNegative = false;
    for (qsizetype i = b; i < e && st != Bad; ++i) {
        const char16_t c = text[i].unicode();
        const bool digit = IsDigit(c);
        const bool sign = c == u'+' || c == u'-';
        const bool expMark = c == u'e' || c == u'E';
        switch (st) {
        case Start:
            if (sign) { st = Sign; p.negative = c == u'-'; }
            else if (digit) { st = Int; p.digits += char(c); }
            else if (c == u'.') st = Dot;
            else st = Bad;
            break;
        case Sign:
            if (digit) { st = Int; p.digits += char(c); }
            else if (c == u'.') st = Dot;
            else st = Bad;
            break;
        case Int:
            if (digit) p.digits += char(c);
            else if (c == u'.') st = Frac;
            else if (expMark) st = Exp;
            else st = Bad;
            break;
        case Dot:
        case Frac:
            if (digit) { st = Frac; p.digits += char(c); ++p.fractionDigits; }
            else if (expMark && st == Frac) st = Exp;
            else st = Bad;
            break;
        case Exp:
            if (sign) { st = ExpSign; expNegative = c == u'-'; }
            else if (digit) { st = ExpDigits; p.exponent = c - u'0'; }
            else st = Bad;
            break;
        case ExpSign:
        case ExpDigits:
            if (!digit) { st = Bad; break; }
            if (st == ExpSign) p.exponent = c - u'0';
            else if (p.exponent < 100000000) p.exponent = p.exponent * 10 + (c - u'0');
            st = ExpDigits;
            break;
        case Bad:
            break;
        }
    }
    if (st != Int && st != Frac && st != ExpDigits) return std::nullopt;
    if (expNegative) p.exponent = -p.exponent;
    p.ascii = text.mid(b, e - b).toStdString();
    return p;
}

// Rounds the exact decimal value to the nearest integer, halves to even.
// Nothing when the magnitude reaches 10^12, which no target type can hold.
std::optional<long long> RefRound(const Parsed& p) {
    std::string d = p.digits;
    const size_t nz = d.find_first_not_of('0');
    if (nz == std::string::npos) return 0;
    d.erase(0, nz);
    const long long point = static_cast<long long>(d.size()) + p.exponent - p.fractionDigits;
    if (point > 12) return std::nullopt;

    long long whole = 0;
    for (long long i = 0; i < point; ++i)
        whole = whole * 10 + (i < static_cast<long long>(d.size()) ? d[size_t(i)] - '0' : 0);
    std::string fraction;
    if (point < 0) fraction.assign(size_t(std::min<long long>(-point, 2)), '0');
    if (point < static_cast<long long>(d.size())) fraction += d.substr(size_t(std::max(point, 0LL)));

    bool up = false;
    if (!fraction.empty()) {
        if (fraction[0] > '5') up = true;
        else if (fraction[0] == '5')
            up = fraction.find_first_not_of('0', 1) != std::string::npos || (whole & 1) != 0;
    }
    const long long magnitude = whole + (up ? 1 : 0);
    return p.negative ? -magnitude : magnitude;
}

template <typename T>
std::optional<T> InRange(std::optional<long long> v) {
    if (!v || *v < std::numeric_limits<T>::min() || *v > std::numeric_limits<T>::max())
        return std::nullopt;
    return static_cast<T>(*v);
}

double StrtodC(const std::string& s) {
    static const locale_t c = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return ::strtod_l(s.c_str(), nullptr, c);
}

// The conversion goes through a double, so a text a hair away from a half
// (closer than the double spacing there) legitimately rounds as the half it
// reads as. Only that exact situation excuses a difference from the digits.
template <typename T>
bool Matches(const std::optional<T>& got, const Parsed& p) {
    const std::optional<T> exact = InRange<T>(RefRound(p));
    if (got == exact) return true;
    const double d = StrtodC(p.ascii);
    if (!std::isfinite(d) || std::fabs(d) >= 1e12) return false;
    const double low = std::floor(d);
    if (d - low != 0.5) return false;
    const long long l = static_cast<long long>(low);
    return got == InRange<T>((l & 1) ? l + 1 : l);
}

// Halves to even by the FPU in its default mode, as an independent check of
// the spelled-out rounding.
template <typename T>
std::optional<T> RefRoundDouble(double v) {
    if (!std::isfinite(v)) return std::nullopt;
    const double r = std::nearbyint(v);
    if (r < std::numeric_limits<T>::min() || r > std::numeric_limits<T>::max()) return std::nullopt;
    return static_cast<T>(r);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarvesk;
    const QString text = DecodeText(data, size);
    const std::optional<Parsed> ref = RefParse(text);

    Check(IsNumeric(text) == ref.has_value());
    const std::optional<double> asDouble = ToDouble(text);
    const std::optional<int16_t> i16 = ToInt16(text);
    const std::optional<int32_t> i32 = ToInt32(text);
    if (!ref) {
        Check(!asDouble && !i16 && !i32);
    } else {
        const double d = StrtodC(ref->ascii);
        Check(asDouble.has_value() == std::isfinite(d));
        if (asDouble) Check(std::memcmp(&*asDouble, &d, sizeof d) == 0);
        Check(Matches<int16_t>(i16, *ref));
        Check(Matches<int32_t>(i32, *ref));
    }

    // The raw bytes as doubles, straight into the rounding.
    std::fesetround(FE_TONEAREST);
    for (size_t at = 0; at + sizeof(double) <= size; at += sizeof(double)) {
        double v;
        std::memcpy(&v, data + at, sizeof v);
        Check(RoundToInt16(v) == RefRoundDouble<int16_t>(v));
        Check(RoundToInt32(v) == RefRoundDouble<int32_t>(v));
    }
    return 0;
}
