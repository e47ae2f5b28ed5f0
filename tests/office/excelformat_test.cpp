// What the built-in Excel shows for cell values: General numbers, date
// serials in both date systems, and which number formats are dates.
#include "office/excel/cellformat.h"

#include <gtest/gtest.h>

#include <charconv>
#include <random>
#include <string>

using namespace office;

TEST(ExcelFormatGeneral, IntegersFractionsAndExponents)
{
    EXPECT_EQ(FormatGeneral(4711), u"4711");
    EXPECT_EQ(FormatGeneral(12.5), u"12.5");
    EXPECT_EQ(FormatGeneral(-0.25), u"-0.25");
    EXPECT_EQ(FormatGeneral(0), u"0");
    EXPECT_EQ(FormatGeneral(1e20), u"1E+20");
    EXPECT_EQ(FormatGeneral(1.5e21), u"1.5E+21");
    EXPECT_EQ(FormatGeneral(-2.5e-10), u"-2.5E-10");
    // 15 significant digits, as the formula bar keeps them.
    EXPECT_EQ(FormatGeneral(0.1 + 0.2), u"0.3");
    EXPECT_EQ(FormatGeneral(1.0 / 3.0), u"0.333333333333333");
    EXPECT_EQ(FormatGeneral(123456789012345678.0), u"123456789012346000");
    EXPECT_EQ(FormatGeneral(99999999999999999999.0 / 10), u"10000000000000000000");
}

// Readers show a number by the text the file writes when ShowsAsWritten()
// says General would show exactly that: check the claim on random decimals
// of every length and magnitude it accepts, and the texts it must refuse.
TEST(ExcelFormatGeneral, TextsShownAsWrittenFormatBackToThemselves)
{
    std::mt19937 rng(4711);
    int accepted = 0;
    for (int i = 0; i < 200000; ++i) {
        std::string t;
        if (rng() % 2 != 0) t += '-';
        const int intDigits = static_cast<int>(rng() % 17);
        if (intDigits == 0) t += '0';
        for (int k = 0; k < intDigits; ++k) t += static_cast<char>('0' + (k == 0 ? 1 + rng() % 9 : rng() % 10));
        const int zeros = intDigits == 0 ? static_cast<int>(rng() % 11) : 0;
        const int fracDigits = static_cast<int>(rng() % 17);
        if (fracDigits > 0 || zeros > 0) {
            t += '.';
            t.append(static_cast<std::size_t>(zeros), '0');
            for (int k = 0; k < fracDigits; ++k)
                t += static_cast<char>('0' + (k == fracDigits - 1 ? 1 + rng() % 9 : rng() % 10));
        }
        if (!ShowsAsWritten(t)) continue;
        ++accepted;
        double value = 0;
        ASSERT_EQ(std::from_chars(t.data(), t.data() + t.size(), value).ec, std::errc()) << t;
        ASSERT_EQ(FormatGeneral(value), std::u16string(t.begin(), t.end())) << t;
    }
    EXPECT_GT(accepted, 50000);

    for (const char* shown : {"0", "7", "-7", "4711", "12.5", "-0.25", "0.000000001", "123456789012345",
                              "0.123456789012345", "99999999999999.9"})
        EXPECT_TRUE(ShowsAsWritten(shown)) << shown;
    for (const char* other : {"", "-", "-0", "007", "1.50", "1.", ".5", "1e5", "1E+20", "+5", " 5", "0.0000000001",
                              "1234567890123456", "0.1234567890123456", "12345678901234.56", "1,5", "0x10"})
        EXPECT_FALSE(ShowsAsWritten(other)) << other;
}

TEST(ExcelFormatDates, The1900SystemWithItsPhantomLeapDay)
{
    EXPECT_EQ(FormatSerial(1, false, NumberStyle::Date), u"1/1/1900");
    EXPECT_EQ(FormatSerial(59, false, NumberStyle::Date), u"2/28/1900");
    EXPECT_EQ(FormatSerial(60, false, NumberStyle::Date), u"2/29/1900");
    EXPECT_EQ(FormatSerial(61, false, NumberStyle::Date), u"3/1/1900");
    EXPECT_EQ(FormatSerial(45352, false, NumberStyle::Date), u"3/1/2024");
    EXPECT_EQ(FormatSerial(25569, false, NumberStyle::Date), u"1/1/1970");
}

TEST(ExcelFormatDates, The1904System)
{
    EXPECT_EQ(FormatSerial(0, true, NumberStyle::Date), u"1/1/1904");
    EXPECT_EQ(FormatSerial(43890, true, NumberStyle::Date), u"3/1/2024");
}

TEST(ExcelFormatDates, TimesAndOutOfRangeValues)
{
    EXPECT_EQ(FormatSerial(45352.5, false, NumberStyle::DateTime), u"3/1/2024 12:00:00 PM");
    EXPECT_EQ(FormatSerial(0.25, false, NumberStyle::Time), u"6:00:00 AM");
    EXPECT_EQ(FormatSerial(0.6666666666666666, false, NumberStyle::DateTime), u"4:00:00 PM");
    EXPECT_EQ(FormatSerial(0, false, NumberStyle::Date), u"1/0/1900");
    // A date format with a time of day still shows the time.
    EXPECT_EQ(FormatSerial(45352.75, false, NumberStyle::Date), u"3/1/2024 6:00:00 PM");
    // Negative serials are no dates: the number is shown.
    EXPECT_EQ(FormatSerial(-5, false, NumberStyle::Date), u"-5");
    EXPECT_EQ(FormatSerial(3e6, false, NumberStyle::Date), u"3000000");
}

TEST(ExcelFormatDates, IsoDatesBecomeSerials)
{
    double serial = 0;
    bool hasTime = true;
    ASSERT_TRUE(ParseIsoDate("2024-03-01T00:00:00.000", serial, hasTime));
    EXPECT_DOUBLE_EQ(serial, 45352);
    EXPECT_FALSE(hasTime);
    ASSERT_TRUE(ParseIsoDate("1900-02-28", serial, hasTime));
    EXPECT_DOUBLE_EQ(serial, 59);
    ASSERT_TRUE(ParseIsoDate("2024-03-01T18:00:00", serial, hasTime));
    EXPECT_DOUBLE_EQ(serial, 45352.75);
    EXPECT_TRUE(hasTime);
    EXPECT_FALSE(ParseIsoDate("yesterday", serial, hasTime));
    EXPECT_FALSE(ParseIsoDate("2024-13-01", serial, hasTime));
    // A fraction of a second, and a time zone that is not read.
    ASSERT_TRUE(ParseIsoDate("2024-03-01T09:05:30.5Z", serial, hasTime));
    EXPECT_DOUBLE_EQ(serial, 45352 + (9 * 3600 + 5 * 60 + 30.5) / 86400);
    ASSERT_TRUE(ParseIsoDate("2024-03-01T23:59", serial, hasTime));
    EXPECT_TRUE(hasTime);
}

// Texts the fuzzer (cellformat_fuzz) turned up that only look like dates:
// a sign or spaces where digits belong, seconds spelled as "nan" or with an
// exponent, times past the end of the day. Each once became a serial far
// outside Excel's dates ("00:-5" read as minute 4294967291).
TEST(ExcelFormatDates, OnlyDigitsAndTimesOfOneDayAreDates)
{
    for (const char* text : {"2024-03-01T00:-5", "2024-03-01T00:00:nan", "2024-03-01T00:00:inf",
                             "2024-03-01T00:00:1e300", "2024-03-01T00:00:-5", "2024-03-01T24:00:00",
                             "2024-03-01T12:60:00", "2024-03-01T12:30:60", "2024-+3-01", "2024- 3- 1",
                             " 2024-03-01", "+2024-03-01", "2024-03-01T12", "2024-03-01T", "2024-03-01X"}) {
        double serial = -1;
        bool hasTime = false;
        EXPECT_FALSE(ParseIsoDate(text, serial, hasTime)) << text << " read as " << serial;
    }
    // Whatever parses is a day of Excel's calendar, its time within it.
    std::mt19937 rng(7);
    const std::string alphabet = "0123456789-T: .+e";
    for (int round = 0; round < 20000; ++round) {
        std::string text = "2024-03-01";
        if (round % 2 == 0) text = std::to_string(1900 + rng() % 8100) + "-0" + std::to_string(1 + rng() % 9) + "-1" +
                                   std::to_string(rng() % 10);
        const std::size_t extra = rng() % 12;
        for (std::size_t i = 0; i < extra; ++i) text.push_back(alphabet[rng() % alphabet.size()]);
        double serial = 0;
        bool hasTime = false;
        if (ParseIsoDate(text, serial, hasTime)) {
            EXPECT_GE(serial, 1) << text;
            EXPECT_LT(serial, 2958466) << text;
        }
    }
}

TEST(ExcelFormatCodes, BuiltinAndCustomDateFormats)
{
    EXPECT_EQ(StyleOfBuiltinFormat(14), NumberStyle::Date);
    EXPECT_EQ(StyleOfBuiltinFormat(22), NumberStyle::DateTime);
    EXPECT_EQ(StyleOfBuiltinFormat(20), NumberStyle::Time);
    EXPECT_EQ(StyleOfBuiltinFormat(0), NumberStyle::General);
    EXPECT_EQ(StyleOfBuiltinFormat(4), NumberStyle::General);
    EXPECT_EQ(StyleOfFormatCode(u"dd/mm/yyyy"), NumberStyle::Date);
    EXPECT_EQ(StyleOfFormatCode(u"[$-409]mmmm d, yyyy;@"), NumberStyle::Date);
    EXPECT_EQ(StyleOfFormatCode(u"h:mm"), NumberStyle::Time);
    EXPECT_EQ(StyleOfFormatCode(u"[h]:mm:ss"), NumberStyle::Time);
    EXPECT_EQ(StyleOfFormatCode(u"yyyy-mm-dd hh:mm"), NumberStyle::DateTime);
    // Letters inside quotes, escaped, or colours are no date codes.
    EXPECT_EQ(StyleOfFormatCode(u"0.00\" days\""), NumberStyle::General);
    EXPECT_EQ(StyleOfFormatCode(u"[Red]0.00"), NumberStyle::General);
    EXPECT_EQ(StyleOfFormatCode(u"0.00E+00"), NumberStyle::General);
    EXPECT_EQ(StyleOfFormatCode(u"#,##0 \\d"), NumberStyle::General);
}

TEST(ExcelFormatShown, BooleansAndErrors)
{
    Cell cell;
    cell.kind = CellKind::Boolean;
    cell.number = 1;
    EXPECT_EQ(ShownValue(cell, false), u"TRUE");
    cell.number = 0;
    EXPECT_EQ(ShownValue(cell, false), u"FALSE");
    cell.kind = CellKind::Error;
    cell.number = 0x07;
    EXPECT_EQ(ShownValue(cell, false), u"#DIV/0!");
    cell.number = 0x2A;
    EXPECT_EQ(ShownValue(cell, false), u"#N/A");
}

namespace {

// What the formula bar shows for `value` in a cell of format `code`.
std::u16string ShownWith(std::u16string_view code, double value)
{
    Cell cell;
    cell.kind = CellKind::Number;
    cell.number = value;
    cell.style = StyleOfFormatCode(code);
    return ShownValue(cell, false);
}

}  // namespace

// The formula bar writes a percentage as the value times 100 with the
// digits and layout of General (15 significant digits, an exponent from
// 1E+20 and below 1E-9) and a percent sign.
TEST(ExcelFormatPercent, ValuesTimesAHundredWithTheirSign)
{
    const struct {
        double value;
        const char16_t* shown;
    } cases[] = {
        {0.5, u"50%"},
        {0.123456, u"12.3456%"},
        {1, u"100%"},
        {-0.25, u"-25%"},
        {0.0897, u"8.97%"},
        {0, u"0%"},
        {12, u"1200%"},
        {0.1 + 0.2, u"30%"},                             // 15 digits, as General rounds
        {1.0 / 3.0, u"33.3333333333333%"},               // 15 significant digits
        {0.123456789012345, u"12.3456789012345%"},       // a value with 15 significant digits
        {-2.0 / 3.0, u"-66.6666666666667%"},
        {0.00001, u"0.001%"},
        {1e-12, u"1E-10%"},
        {1e18, u"1E+20%"},
        {123456789012.5, u"12345678901250%"},
    };
    for (const auto& c : cases) EXPECT_EQ(ShownWith(u"0.00%", c.value), c.shown) << c.value;
}

TEST(ExcelFormatPercent, WhichFormatsArePercentages)
{
    for (const char16_t* code : {u"0%", u"0.00%", u"#,##0.0%", u"[Red]0%;-0%", u"0.0 %", u"%0", u"0.00%\" ok\""})
        EXPECT_EQ(ShownWith(code, 0.5), u"50%") << std::u16string_view(code).size();
    // A sign in quotes, escaped, as a spacing or fill character, in brackets
    // or only in a later section is no percentage.
    for (const char16_t* code : {u"0\"%\"", u"0\\%", u"0_%", u"0*%", u"[$%-409]0", u"0;0%", u"General"})
        EXPECT_EQ(ShownWith(code, 0.5), u"0.5") << std::u16string_view(code).size();
    // A date with a percent sign stays a date; dates and times are as before.
    EXPECT_EQ(ShownWith(u"m/d/yyyy %", 45352), u"3/1/2024");
    EXPECT_EQ(ShownWith(u"h:mm", 0.25), u"6:00:00 AM");
    // Excel's built-in formats 9 (0%) and 10 (0.00%).
    for (unsigned index : {9u, 10u}) {
        Cell cell;
        cell.number = 0.0897;
        cell.style = StyleOfBuiltinFormat(index);
        EXPECT_EQ(ShownValue(cell, false), u"8.97%") << index;
    }
    Cell general;
    general.number = 0.0897;
    general.style = StyleOfBuiltinFormat(11);
    EXPECT_EQ(ShownValue(general, false), u"0.0897");
}
