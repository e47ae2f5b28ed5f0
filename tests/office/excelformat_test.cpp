// What the built-in Excel shows for cell values: General numbers, date
// serials in both date systems, percentages, which number formats are
// dates, times or percentages, and ISO dates read into serials.
#include "office/excel/cellformat.h"

#include <gtest/gtest.h>

#include <charconv>
#include <random>
#include <string>

using namespace office;

namespace {

// What the formula bar shows for `value` in a cell of format `code`.
std::u16string ShownWith(std::u16string_view code, double value, bool date1904 = false)
{
    Cell cell;
    cell.number = value;
    cell.style = StyleOfFormatCode(code);
    return ShownValue(cell, date1904);
}

}  // namespace

TEST(ExcelFormat, ValuesShownInEachFormat)
{
    const struct {
        const char16_t* code;
        double value;
        const char16_t* shown;
        bool date1904 = false;
    } cases[] = {
        // General: 15 significant digits, an exponent from 1E+20 and below 1E-9.
        {u"General", 4711, u"4711"}, {u"General", -0.25, u"-0.25"}, {u"General", 0, u"0"},
        {u"General", 1e20, u"1E+20"}, {u"General", 1.5e21, u"1.5E+21"}, {u"General", -2.5e-10, u"-2.5E-10"},
        {u"General", 0.1 + 0.2, u"0.3"}, {u"General", 1.0 / 3.0, u"0.333333333333333"},
        {u"General", 123456789012345678.0, u"123456789012346000"},
        // Dates, with 1900's phantom leap day, and the 1904 system.
        {u"m/d/yyyy", 1, u"1/1/1900"}, {u"m/d/yyyy", 59, u"2/28/1900"}, {u"m/d/yyyy", 60, u"2/29/1900"},
        {u"m/d/yyyy", 61, u"3/1/1900"}, {u"m/d/yyyy", 0, u"1/0/1900"}, {u"dd/mm/yyyy", 45352, u"3/1/2024"},
        {u"m/d/yyyy", 0, u"1/1/1904", true}, {u"m/d/yyyy", 43890, u"3/1/2024", true},
        {u"[$-409]mmmm d, yyyy;@", 25569, u"1/1/1970"},
        {u"m/d/yyyy", 45352.75, u"3/1/2024 6:00:00 PM"},  // a date with a time of day
        {u"m/d/yyyy", -5, u"-5"}, {u"m/d/yyyy", 3e6, u"3000000"},  // no dates
        {u"yyyy-mm-dd hh:mm", 45352.5, u"3/1/2024 12:00:00 PM"}, {u"h:mm", 0.25, u"6:00:00 AM"},
        {u"[h]:mm:ss", 0.25, u"6:00:00 AM"}, {u"m/d/yyyy %", 45352, u"3/1/2024"},
        // Letters in quotes, escaped, or colours are no date codes.
        {u"0.00\" days\"", 45352, u"45352"}, {u"[Red]0.00", 45352, u"45352"}, {u"0.00E+00", 45352, u"45352"},
        {u"#,##0 \\d", 45352, u"45352"},
        // Percentages: the value times 100 with General's digits and a sign.
        {u"0.00%", 0.5, u"50%"}, {u"0%", 0.123456, u"12.3456%"}, {u"#,##0.0%", -0.25, u"-25%"},
        {u"[Red]0%;-0%", 0.1 + 0.2, u"30%"}, {u"0.0 %", 1.0 / 3.0, u"33.3333333333333%"},
        {u"%0", -2.0 / 3.0, u"-66.6666666666667%"}, {u"0.00%\" ok\"", 0.00001, u"0.001%"},
        {u"0%", 1e-12, u"1E-10%"}, {u"0%", 1e18, u"1E+20%"}, {u"0%", 123456789012.5, u"12345678901250%"},
        // A sign quoted, escaped, as spacing or fill, in brackets or only in
        // a later section is no percentage.
        {u"0\"%\"", 0.5, u"0.5"}, {u"0\\%", 0.5, u"0.5"}, {u"0_%", 0.5, u"0.5"}, {u"0*%", 0.5, u"0.5"},
        {u"[$%-409]0", 0.5, u"0.5"}, {u"0;0%", 0.5, u"0.5"},
    };
    for (const auto& c : cases) EXPECT_EQ(ShownWith(c.code, c.value, c.date1904), c.shown) << c.value;
    const std::pair<unsigned, NumberStyle> builtins[] = {
        {14, NumberStyle::Date},    {22, NumberStyle::DateTime}, {20, NumberStyle::Time},    {0, NumberStyle::General},
        {4, NumberStyle::General},  {9, NumberStyle::Percent},   {10, NumberStyle::Percent}, {11, NumberStyle::General}};
    for (const auto& [index, style] : builtins) EXPECT_EQ(StyleOfBuiltinFormat(index), style) << index;
    Cell cell;
    for (const auto& [kind, number, shown] : {std::tuple{CellKind::Boolean, 1.0, u"TRUE"}, {CellKind::Boolean, 0.0, u"FALSE"},
                                              {CellKind::Error, 7.0, u"#DIV/0!"}, {CellKind::Error, 42.0, u"#N/A"}}) {
        cell.kind = kind;
        cell.number = number;
        EXPECT_EQ(ShownValue(cell, false), shown);
    }
}

// Readers show a number by the text the file writes when ShowsAsWritten()
// says General would show exactly that: check the claim on random decimals
// of every length and magnitude it accepts, and the texts it must refuse.
TEST(ExcelFormat, TextsShownAsWrittenFormatBackToThemselves)
{
    std::mt19937 rng(4711);
    int accepted = 0;
    for (int i = 0; i < 200000; ++i) {
        std::string t = rng() % 2 != 0 ? "-" : "";
        const int intDigits = static_cast<int>(rng() % 17);
        if (intDigits == 0) t += '0';
        for (int k = 0; k < intDigits; ++k) t += static_cast<char>('0' + (k == 0 ? 1 + rng() % 9 : rng() % 10));
        const int zeros = intDigits == 0 ? static_cast<int>(rng() % 11) : 0;
        const int fracDigits = static_cast<int>(rng() % 17);
        if (fracDigits > 0 || zeros > 0) t += '.' + std::string(static_cast<std::size_t>(zeros), '0');
        for (int k = 0; k < fracDigits; ++k)
            t += static_cast<char>('0' + (k == fracDigits - 1 ? 1 + rng() % 9 : rng() % 10));
        if (!ShowsAsWritten(t)) continue;
        ++accepted;
        double value = 0;
        ASSERT_EQ(std::from_chars(t.data(), t.data() + t.size(), value).ec, std::errc()) << t;
        ASSERT_EQ(FormatGeneral(value), std::u16string(t.begin(), t.end())) << t;
    }
    EXPECT_GT(accepted, 50000);
    for (const char* other : {"", "-", "-0", "007", "1.50", "1.", ".5", "1e5", "1E+20", "+5", " 5", "0.0000000001",
                              "1234567890123456", "0.1234567890123456", "12345678901234.56", "1,5", "0x10"})
        EXPECT_FALSE(ShowsAsWritten(other)) << other;
}

TEST(ExcelFormat, IsoDatesBecomeSerialsWithinOneDay)
{
    const struct {
        const char* text;
        double serial;
        bool hasTime;
    } dates[] = {
        {"2024-03-01T00:00:00.000", 45352, false}, {"1900-02-28", 59, false}, {"1900-03-01", 61, false},
        {"2024-03-01T18:00:00", 45352.75, true},   {"2024-03-01T09:05:30.5Z", 45352 + 32730.5 / 86400, true},
        {"2024-03-01T23:59", 45352 + 1439.0 / 1440, true},
    };
    for (const auto& d : dates) {
        double serial = 0;
        bool hasTime = !d.hasTime;
        ASSERT_TRUE(ParseIsoDate(d.text, serial, hasTime)) << d.text;
        EXPECT_DOUBLE_EQ(serial, d.serial) << d.text;
        EXPECT_EQ(hasTime, d.hasTime) << d.text;
    }
    // Texts the fuzzer turned up that only look like dates: a sign or
    // spaces where digits belong, seconds as "nan" or with an exponent,
    // times past the end of the day.
    for (const char* text : {"yesterday", "2024-13-01", "2024-03-01T00:-5", "2024-03-01T00:00:nan",
                             "2024-03-01T00:00:inf", "2024-03-01T00:00:1e300", "2024-03-01T00:00:-5",
                             "2024-03-01T24:00:00", "2024-03-01T12:60:00", "2024-03-01T12:30:60", "2024-+3-01",
                             "2024- 3- 1", " 2024-03-01", "+2024-03-01", "2024-03-01T12", "2024-03-01T", "2024-03-01X"}) {
        double serial = -1;
        bool hasTime = false;
        EXPECT_FALSE(ParseIsoDate(text, serial, hasTime)) << text << " read as " << serial;
    }
}
