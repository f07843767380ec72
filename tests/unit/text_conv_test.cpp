// Numeric and date tests, integer rounding, and the two date-time text forms.
#include "platform/text_conv.h"

#include "platform/character_type.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QLocale>
#include <QTime>

#include <clocale>
#include <ctime>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

using namespace tarvesk;

TEST(TextConv, TrimBlanksRemovesSpacesOnly) {
    EXPECT_EQ(TrimBlanks("  a b  "), QString("a b"));
    EXPECT_EQ(TrimBlanks("\ta\t"), QString("\ta\t"));
    EXPECT_EQ(TrimBlanks("   "), QString());
    EXPECT_EQ(TrimBlanks(""), QString());
}

TEST(TextConv, NumericTestAccepts) {
    for (const char* text : {"0", "12", " 12 ", "\t7\t", " \t 7 \t ", "+3", "-3", "1.5", "-.5",
                             ".5", "5.", "1e3", "1E3", "1e+3", "1e-3", "-1.5e2", "+.5e-1",
                             "000", "2147483648", "1e400"}) {
        EXPECT_TRUE(IsNumeric(text)) << '"' << text << '"';
    }
}

TEST(TextConv, NumericTestRejects) {
    for (const char* text : {"", " ", "  ", "\t", ".", "+", "-", "+-1", "--1", "e5", ".e5",
                             "1e", "1e+", "1,5", "1 5", "0x10", "1.2.3", "abc", "12a", "a12",
                             "1e3.5", "inf", "nan", "Infinity", "1_000", "\n1", "1\n", "$1"}) {
        EXPECT_FALSE(IsNumeric(text)) << '"' << text << '"';
        EXPECT_FALSE(ToDouble(text).has_value()) << '"' << text << '"';
        EXPECT_FALSE(ToInt32(text).has_value()) << '"' << text << '"';
    }
    // Full-width or other non-ASCII digits are not numbers here.
    EXPECT_FALSE(IsNumeric(QString::fromUtf8("１２")));
    EXPECT_FALSE(IsNumeric(QString::fromUtf8("\u00a012")));
}

TEST(TextConv, ToDoubleValues) {
    EXPECT_EQ(ToDouble("1e3"), 1000.0);
    EXPECT_EQ(ToDouble(" 12 "), 12.0);
    EXPECT_EQ(ToDouble("\t7\t"), 7.0);
    EXPECT_EQ(ToDouble("+3"), 3.0);
    EXPECT_EQ(ToDouble("-.5"), -0.5);
    EXPECT_EQ(ToDouble("5."), 5.0);
    EXPECT_EQ(ToDouble("2.25"), 2.25);
    EXPECT_FALSE(ToDouble("1e400").has_value());   // not finite
    EXPECT_FALSE(ToDouble("-1e400").has_value());
    EXPECT_EQ(ToDouble("1e-400"), 0.0);            // underflow is a tiny number, fine
}

TEST(TextConv, ToDoubleIgnoresTheProcessLocale) {
    const char* old = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = old ? old : "C";
    // Where a comma locale exists, "2.5" must still mean two and a half.
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") || std::setlocale(LC_NUMERIC, "fr_FR.UTF-8")) {
        EXPECT_EQ(ToDouble("2.5"), 2.5);
        EXPECT_FALSE(IsNumeric("2,5"));
    }
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(ToDouble("2.5"), 2.5);
}

TEST(TextConv, RoundsHalvesToEven) {
    EXPECT_EQ(ToInt32("2.5"), 2);
    EXPECT_EQ(ToInt32("3.5"), 4);
    EXPECT_EQ(ToInt32("-2.5"), -2);
    EXPECT_EQ(ToInt32("-3.5"), -4);
    EXPECT_EQ(ToInt32("0.5"), 0);
    EXPECT_EQ(ToInt32("1.5"), 2);
    EXPECT_EQ(ToInt32("-0.5"), 0);
    EXPECT_EQ(ToInt32("2.4999"), 2);
    EXPECT_EQ(ToInt32("2.5001"), 3);
    EXPECT_EQ(ToInt32("-1.6"), -2);
    EXPECT_EQ(ToInt16("2.5"), int16_t{2});
    EXPECT_EQ(ToInt16("1.5"), int16_t{2});
    EXPECT_EQ(ToInt32("1e3"), 1000);
    EXPECT_EQ(ToInt32(" 12 "), 12);
    EXPECT_EQ(ToInt32("-.5"), 0);
    EXPECT_EQ(ToInt32("5."), 5);
    EXPECT_EQ(ToInt32("-1"), -1);
    EXPECT_EQ(RoundToInt32(4.5), 4);
    EXPECT_EQ(RoundToInt32(5.5), 6);
    EXPECT_EQ(RoundToInt32(0.49999999999999994), 0);
}

TEST(TextConv, Int16Limits) {
    EXPECT_EQ(ToInt16("32767"), int16_t{32767});
    EXPECT_EQ(ToInt16("32767.4"), int16_t{32767});
    EXPECT_FALSE(ToInt16("32767.5").has_value());  // rounds to 32768
    EXPECT_FALSE(ToInt16("32768").has_value());
    EXPECT_EQ(ToInt16("-32768"), int16_t{-32768});
    EXPECT_EQ(ToInt16("-32768.5"), int16_t{-32768});  // halves to even
    EXPECT_FALSE(ToInt16("-32768.6").has_value());
    EXPECT_FALSE(ToInt16("-32769").has_value());
    EXPECT_FALSE(ToInt16("-32769.5").has_value());   // even: -32770
    EXPECT_FALSE(ToInt16("1e10").has_value());
}

TEST(TextConv, Int32Limits) {
    EXPECT_EQ(ToInt32("2147483647"), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(ToInt32("2147483647.4"), std::numeric_limits<int32_t>::max());
    EXPECT_FALSE(ToInt32("2147483647.5").has_value());
    EXPECT_FALSE(ToInt32("2147483648").has_value());
    EXPECT_EQ(ToInt32("-2147483648"), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(ToInt32("-2147483648.5"), std::numeric_limits<int32_t>::min());
    EXPECT_FALSE(ToInt32("-2147483648.6").has_value());
    EXPECT_FALSE(ToInt32("-2147483649").has_value());
    EXPECT_FALSE(ToInt32("1e300").has_value());
    EXPECT_FALSE(ToInt32("1e400").has_value());
}

TEST(TextConv, RoundingRejectsNonFinite) {
    EXPECT_FALSE(RoundToInt32(std::numeric_limits<double>::infinity()).has_value());
    EXPECT_FALSE(RoundToInt32(-std::numeric_limits<double>::infinity()).has_value());
    EXPECT_FALSE(RoundToInt32(std::numeric_limits<double>::quiet_NaN()).has_value());
    EXPECT_FALSE(RoundToInt16(std::numeric_limits<double>::quiet_NaN()).has_value());
}

TEST(TextConv, DateTestAccepts) {
    for (const char* text : {"2026-3-5", "2026-03-05", "2026/3/5", "2026-3-5 9:07",
                             "2026-3-5 09:07:03", "2026-3-5  23:59:59", "2024-2-29",
                             "2026-12-31 0:00", " 2026-3-5 9:07 ", "2026-3-5\t9:07:03",
                             "1999-1-1 00:00:00"}) {
        EXPECT_TRUE(IsDate(text)) << '"' << text << '"';
    }
}

TEST(TextConv, DateTestRejects) {
    for (const char* text : {"", " ", "2026-2-30", "2025-2-29", "2026-13-1", "2026-0-1",
                             "2026-1-0", "26-3-5", "02026-3-5", "2026-3", "2026-3-5x",
                             "2026-3/5", "2026.3.5", "2026-3-5 24:00", "2026-3-5 9:60",
                             "2026-3-5 9:07:60", "2026-3-5 9:7", "2026-3-5 9", "2026-3-5 9:07:3",
                             "2026-3-59:07", "2026-3-5 9:07 PM", "2026-003-5", "yesterday",
                             "0000-1-1", "12"}) {
        EXPECT_FALSE(IsDate(text)) << '"' << text << '"';
    }
}

// Local times that the clocks skip are no dates: they could not be formatted
// and read back. Newer Qt moves them past the gap instead of refusing them.
// The hour the clocks repeat in autumn is still a date.
TEST(TextConv, SkippedLocalTimeIsNoDate) {
    const QByteArray oldTz = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    const bool berlin = QDateTime(QDate(2026, 1, 1), QTime(12, 0)).offsetFromUtc() == 3600;
    const bool skipped = IsDate("2026-3-29 02:30") || IsDate("2026-3-29 2:00:00") || IsDate("2026-3-29 02:59:59");
    const bool around = IsDate("2026-3-29 01:59:59") && IsDate("2026-3-29 03:00") && IsDate("2026-10-25 02:30");
    if (oldTz.isNull()) qunsetenv("TZ"); else qputenv("TZ", oldTz);
    tzset();
    if (!berlin) GTEST_SKIP() << "no time zone data for Europe/Berlin";
    EXPECT_FALSE(skipped);
    EXPECT_TRUE(around);
}

TEST(TextConv, ParseDateValues) {
    const auto value = ParseDate("2026-3-5 9:07:03");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->date(), QDate(2026, 3, 5));
    EXPECT_EQ(value->time(), QTime(9, 7, 3));

    const auto dateOnly = ParseDate("2026/12/31");
    ASSERT_TRUE(dateOnly.has_value());
    EXPECT_EQ(dateOnly->date(), QDate(2026, 12, 31));
    EXPECT_EQ(dateOnly->time(), QTime(0, 0, 0));

    const auto noSeconds = ParseDate("2026-1-2 23:15");
    ASSERT_TRUE(noSeconds.has_value());
    EXPECT_EQ(noSeconds->time(), QTime(23, 15, 0));
}

TEST(TextConv, FixedFormShape) {
    EXPECT_EQ(FormatFixedDateTime(QDateTime(QDate(2026, 3, 5), QTime(9, 7, 3))),
              QString("2026-3-5 09:07:03"));
    EXPECT_EQ(FormatFixedDateTime(QDateTime(QDate(2026, 11, 25), QTime(0, 0, 0))),
              QString("2026-11-25 00:00:00"));
    EXPECT_EQ(FormatFixedDateTime(QDateTime(QDate(2026, 1, 1), QTime(23, 59, 59))),
              QString("2026-1-1 23:59:59"));
    const QDateTime midnight(QDate(2026, 7, 4), QTime(0, 0));
    EXPECT_TRUE(FormatFixedDateTime(midnight).endsWith("00:00:00"));
    EXPECT_EQ(FormatFixedDateTime(QDateTime()), QString());
}

TEST(TextConv, FixedFormRoundTripsThroughTheDateTest) {
    const QDateTime value(QDate(2026, 10, 9), QTime(13, 4, 5));
    const QString text = FormatFixedDateTime(value);
    ASSERT_TRUE(IsDate(text));
    EXPECT_EQ(*ParseDate(text), value);
}

TEST(TextConv, GeneralFormShowsDateAndTimeWithSeconds) {
    const QDateTime value(QDate(2026, 3, 5), QTime(9, 7, 3));
    const QString text = FormatGeneralDateTime(value);
    EXPECT_FALSE(text.isEmpty());
    EXPECT_TRUE(text.contains("07")) << text.toStdString();
    EXPECT_TRUE(text.contains("03")) << text.toStdString();
    EXPECT_TRUE(text.contains(" ")) << text.toStdString();
    // The date part is the locale's short date.
    const QLocale locale = QLocale::system();
    EXPECT_TRUE(text.startsWith(locale.toString(value.date(), QLocale::ShortFormat)))
        << text.toStdString();
    EXPECT_EQ(FormatGeneralDateTime(QDateTime()), QString());
}

// UTF-8 for the character type only, and only where no locale is set at all;
// the environment is as it came once the toolkit is set up.
TEST(TextConv, Utf8CharacterTypeOnlyWhereNoLocaleIsSet) {
    const struct { const char* lcAll; const char* lang; bool chosen; } cases[] = {
        {nullptr, nullptr, true}, {"", "C", true}, {nullptr, "zh_CN.UTF-8", false}, {"C", nullptr, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lang ? c.lang : "no LANG");
        c.lcAll ? setenv("LC_ALL", c.lcAll, 1) : unsetenv("LC_ALL");
        c.lang ? setenv("LANG", c.lang, 1) : unsetenv("LANG");
        unsetenv("LC_CTYPE");
        {
            Utf8CharacterType type;
            ASSERT_EQ(type.chosen(), c.chosen);
            if (c.chosen) {
                ASSERT_NE(setlocale(LC_ALL, ""), nullptr);
                EXPECT_STREQ(setlocale(LC_CTYPE, nullptr), "C.UTF-8");
                EXPECT_STREQ(setlocale(LC_TIME, nullptr), "C");  // dates keep their form
                setlocale(LC_ALL, "C");
            }
        }
        EXPECT_EQ(getenv("LC_CTYPE"), nullptr);
    }
    unsetenv("LC_ALL");
    unsetenv("LANG");
}

}  // namespace
