// Formula-bar texts of cell values (see cellformat.h).
#include "office/excel/cellformat.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace office {

namespace {

std::u16string Ascii(const char* text)
{
    std::u16string out;
    for (const char* p = text; *p != 0; ++p) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(*p)));
    return out;
}

// Days since 1 March of year 0 to a civil date (proleptic Gregorian).
void CivilFromDays(long long z, int& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long yy = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(yy + (m <= 2 ? 1 : 0));
}

long long DaysFromCivil(long long y, unsigned m, unsigned d)
{
    y -= m <= 2 ? 1 : 0;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

}  // namespace

bool ParseIsoDate(std::string_view text, double& serial, bool& hasTime)
{
    // Digits only: sscanf's %u would take a sign or spaces ("00:-5" as a
    // minute of 4294967291) and %lf "nan", "inf" or "1e300" as seconds.
    std::size_t at = 0;
    const auto number = [&](std::size_t least, std::size_t most, unsigned& value) {
        value = 0;
        std::size_t n = 0;
        while (n < most && at < text.size() && text[at] >= '0' && text[at] <= '9') {
            value = value * 10 + static_cast<unsigned>(text[at] - '0');
            ++at;
            ++n;
        }
        return n >= least;
    };
    const auto literal = [&](char c) {
        if (at >= text.size() || text[at] != c) return false;
        ++at;
        return true;
    };
    unsigned y = 0;
    unsigned mo = 0;
    unsigned d = 0;
    if (!number(4, 4, y) || !literal('-') || !number(2, 2, mo) || !literal('-') || !number(2, 2, d)) return false;
    if (y < 1900 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > 31) return false;
    unsigned h = 0;
    unsigned mi = 0;
    unsigned whole = 0;
    double s = 0;
    hasTime = false;
    if (at < text.size()) {
        if (text[at] != 'T' && text[at] != ' ') return false;
        ++at;
        if (!number(1, 2, h) || !literal(':') || !number(1, 2, mi)) return false;
        if (literal(':')) {
            if (!number(1, 2, whole)) return false;
            s = whole;
            if (literal('.')) {
                double scale = 0.1;
                while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
                    s += (text[at] - '0') * scale;
                    scale /= 10;
                    ++at;
                }
            }
        }
        // A time zone may follow; it is not read (a cell shows local time).
        if (at < text.size() && text[at] != 'Z' && text[at] != '+' && text[at] != '-') return false;
        if (h > 23 || mi > 59 || whole > 59) return false;
        hasTime = h != 0 || mi != 0 || s != 0;
    }
    long long days = DaysFromCivil(y, mo, d) + 25568;  // 1 January 1900 is day 1
    if (days >= 60) ++days;                            // after Excel's 29 February 1900
    serial = static_cast<double>(days) + (h * 3600.0 + mi * 60.0 + s) / 86400.0;
    return true;
}

bool ShowsAsWritten(std::string_view number)
{
    std::size_t i = 0;
    const bool negative = !number.empty() && number[0] == '-';
    if (negative) ++i;
    const std::size_t intStart = i;
    while (i < number.size() && number[i] >= '0' && number[i] <= '9') ++i;
    const std::size_t intDigits = i - intStart;
    if (intDigits == 0 || intDigits > 15 || (intDigits > 1 && number[intStart] == '0')) return false;
    const bool zeroInt = number[intStart] == '0';
    if (i == number.size()) return !(negative && zeroInt);  // an integer; "-0" shows as 0
    if (number[i] != '.') return false;
    const std::size_t fracStart = ++i;
    while (i < number.size() && number[i] >= '0' && number[i] <= '9') ++i;
    const std::size_t fracDigits = i - fracStart;
    if (i != number.size() || fracDigits == 0 || number.back() == '0') return false;
    if (!zeroInt) return intDigits + fracDigits <= 15;
    // Below 1: the digits after the leading zeros count, and from 1E-10
    // down General switches to an exponent.
    std::size_t zeros = 0;
    while (zeros < fracDigits && number[fracStart + zeros] == '0') ++zeros;
    return zeros <= 8 && fracDigits - zeros <= 15;
}

namespace {

// Lays out `value` with 15 significant digits the way the formula bar
// writes a number, its decimal point moved `shift` places to the right
// (2 for a percentage, so that the digits are the value's own and no
// rounding of a multiplication creeps in): plain from 1E-9 up to below
// 1E+20, otherwise with an exponent. Fixed buffers rather than strings:
// this runs once per number cell of a workbook. The longest layout is a
// sign, 20 integer digits, a point, 14 more digits and a suffix.
std::u16string Layout(double value, int shift, char16_t suffix)
{
    char sci[40];
    // The shortest form that reads back as the same double is much cheaper
    // to compute than a fixed precision. When it has at most 15 significant
    // digits it is also the value rounded to 15 digits: the double lies
    // within a relative 1.2e-16 of it, well inside half a step (5e-16) of
    // the 15-digit grid it sits on, so both roundings agree. Subnormal
    // numbers carry fewer bits, so they always take the fixed precision.
    auto res = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific);
    std::size_t significant = 0;
    for (const char* q = sci; q < res.ptr && *q != 'e'; ++q) significant += *q >= '0' && *q <= '9' ? 1 : 0;
    if (res.ec != std::errc() || significant > 15 || !std::isnormal(value))
        res = std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific, 14);
    const std::string_view text(sci, static_cast<std::size_t>(res.ptr - sci));
    const bool negative = text[0] == '-';
    const auto ePos = text.find('e');
    char digits[40];
    std::size_t nDigits = 0;
    for (std::size_t i = 0; i < ePos && i < text.size(); ++i)
        if (text[i] >= '0' && text[i] <= '9' && nDigits < sizeof digits) digits[nDigits++] = text[i];
    int exponent = 0;
    if (ePos != std::string_view::npos) {
        std::size_t p = ePos + 1;
        if (p < text.size() && text[p] == '+') ++p;  // from_chars takes no '+'
        std::from_chars(text.data() + p, text.data() + text.size(), exponent);
    }
    exponent += shift;
    while (nDigits > 1 && digits[nDigits - 1] == '0') --nDigits;
    char16_t out[80];
    std::size_t n = 0;
    const auto put = [&](char c) {
        if (n < sizeof out / sizeof out[0]) out[n++] = static_cast<char16_t>(static_cast<unsigned char>(c));
    };
    if (negative) put('-');
    if (exponent >= 20 || exponent < -9) {
        put(digits[0]);
        if (nDigits > 1) {
            put('.');
            for (std::size_t i = 1; i < nDigits; ++i) put(digits[i]);
        }
        const int magnitude = exponent < 0 ? -exponent : exponent;
        put('E');
        put(exponent < 0 ? '-' : '+');
        char exp[8];
        const auto er = std::to_chars(exp, exp + sizeof exp, magnitude);
        if (er.ptr - exp < 2) put('0');
        for (const char* q = exp; q < er.ptr; ++q) put(*q);
    } else if (exponent >= 0) {
        const auto intDigits = static_cast<std::size_t>(exponent) + 1;
        if (nDigits <= intDigits) {
            for (std::size_t i = 0; i < nDigits; ++i) put(digits[i]);
            for (std::size_t i = nDigits; i < intDigits; ++i) put('0');
        } else {
            for (std::size_t i = 0; i < intDigits; ++i) put(digits[i]);
            put('.');
            for (std::size_t i = intDigits; i < nDigits; ++i) put(digits[i]);
        }
    } else {
        put('0');
        put('.');
        for (int i = 0; i < -exponent - 1; ++i) put('0');
        for (std::size_t i = 0; i < nDigits; ++i) put(digits[i]);
    }
    if (suffix != 0 && n < sizeof out / sizeof out[0]) out[n++] = suffix;
    return std::u16string(out, n);
}

}  // namespace

std::u16string FormatGeneral(double value)
{
    if (std::isnan(value) || std::isinf(value)) return u"#NUM!";
    if (value == 0) return u"0";
    // Whole numbers below 15 digits are the common case: no rounding.
    if (std::fabs(value) < 1e15 && value == std::trunc(value)) {
        char buf[24];
        const auto res = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(value));
        return std::u16string(buf, res.ptr);
    }
    return Layout(value, 0, 0);
}

std::u16string FormatPercent(double value)
{
    if (std::isnan(value) || std::isinf(value)) return u"#NUM!";
    if (value == 0) return u"0%";
    return Layout(value, 2, u'%');
}

std::u16string FormatSerial(double serial, bool date1904, NumberStyle style)
{
    if (style == NumberStyle::General) return FormatGeneral(serial);
    if (style == NumberStyle::Percent) return FormatPercent(serial);
    // Excel shows ######## for negative or too large dates; the formula bar
    // then shows the number.
    if (!(serial >= 0) || serial >= 2958466.0) return FormatGeneral(serial);
    double whole = std::floor(serial);
    double fraction = serial - whole;
    long long seconds = std::llround(fraction * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        whole += 1;
    }
    std::string out;
    char buf[64];
    // A date-formatted value below one day shows only its time of day.
    const bool wantDate = (style == NumberStyle::Date || style == NumberStyle::DateTime) &&
                          (whole >= 1 || seconds == 0);
    const bool wantTime = style == NumberStyle::Time || style == NumberStyle::DateTime || seconds != 0;
    if (wantDate && !(style == NumberStyle::Time)) {
        const auto days = static_cast<long long>(whole);
        int y = 0;
        unsigned m = 0;
        unsigned d = 0;
        if (date1904) {
            // Day 0 is 1 January 1904.
            CivilFromDays(days - 24107, y, m, d);
        } else if (days == 60) {
            // Excel's 29 February 1900, a day that never was.
            y = 1900;
            m = 2;
            d = 29;
        } else if (days == 0) {
            y = 1900;
            m = 1;
            d = 0;
        } else {
            // Day 1 is 1 January 1900; after the phantom leap day one less.
            const long long real = days < 60 ? days : days - 1;
            CivilFromDays(real - 25568, y, m, d);
        }
        std::snprintf(buf, sizeof buf, "%u/%u/%d", m, d, y);
        out = buf;
    }
    if (wantTime && (style != NumberStyle::Date || seconds != 0)) {
        const long long h = seconds / 3600;
        const long long mi = (seconds / 60) % 60;
        const long long s = seconds % 60;
        const long long h12 = h % 12 == 0 ? 12 : h % 12;
        std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld %s", h12, mi, s, h < 12 ? "AM" : "PM");
        if (!out.empty()) out.push_back(' ');
        out += buf;
    }
    return Ascii(out.c_str());
}

std::u16string ShownValue(const Cell& cell, bool date1904)
{
    switch (cell.kind) {
    case CellKind::Boolean: return cell.number != 0 ? u"TRUE" : u"FALSE";
    case CellKind::Error: return std::u16string(ErrorText(static_cast<std::uint8_t>(cell.number)));
    case CellKind::Text: return {};
    case CellKind::Number: break;
    }
    switch (cell.style) {
    case NumberStyle::General: return FormatGeneral(cell.number);
    case NumberStyle::Percent: return FormatPercent(cell.number);
    default: return FormatSerial(cell.number, date1904, cell.style);
    }
}

NumberStyle StyleOfBuiltinFormat(unsigned index)
{
    if ((index >= 14 && index <= 17) || (index >= 27 && index <= 31) || (index >= 34 && index <= 36) ||
        (index >= 50 && index <= 58))
        return NumberStyle::Date;
    if (index == 22) return NumberStyle::DateTime;
    if (index == 9 || index == 10) return NumberStyle::Percent;  // 0% and 0.00%
    if ((index >= 18 && index <= 21) || (index >= 45 && index <= 47) || index == 32 || index == 33)
        return NumberStyle::Time;
    return NumberStyle::General;
}

NumberStyle StyleOfFormatCode(std::u16string_view code)
{
    bool date = false;
    bool time = false;
    bool percent = false;
    // What an "m" means depends on the nearest hour, day or year letter
    // before it and the nearest seconds, day, year or hour letter after
    // it. Both are followed along with the scan instead of being searched
    // for at every "m", so a code of thousands of them costs its length.
    const auto isHourDayYear = [](char16_t p) {
        return p == u'h' || p == u'H' || p == u'd' || p == u'D' || p == u'y' || p == u'Y';
    };
    const auto endsLookAhead = [&](char16_t n) { return n == u';' || n == u's' || n == u'S' || isHourDayYear(n); };
    char16_t before = 0;     // the last hour, day or year letter before `behind`
    std::size_t behind = 0;  // positions before this one are in `before`
    std::size_t ahead = 0;   // the first position after the last "m" that ends the look ahead
    bool aheadKnown = false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char16_t c = code[i];
        if (c == u';') break;  // only the first section decides
        if (c == u'"') {
            const auto close = code.find(u'"', i + 1);
            if (close == std::u16string_view::npos) break;
            i = close;
            continue;
        }
        if (c == u'\\' || c == u'_' || c == u'*') {
            ++i;
            continue;
        }
        if (c == u'[') {
            const auto close = code.find(u']', i + 1);
            if (close == std::u16string_view::npos) break;
            // [h], [mm], [ss]: elapsed time
            const auto inner = code.substr(i + 1, close - i - 1);
            if (!inner.empty() && (inner[0] == u'h' || inner[0] == u'H' || inner[0] == u'm' || inner[0] == u'M' ||
                                   inner[0] == u's' || inner[0] == u'S'))
                time = true;
            i = close;
            continue;
        }
        switch (c) {
        case u'd':
        case u'D':
        case u'y':
        case u'Y': date = true; break;
        case u'm':
        case u'M': {
            // "m" after an hour or before seconds means minutes. Both looks
            // see every character, inside quotes and brackets too.
            for (; behind < i; ++behind)
                if (isHourDayYear(code[behind])) before = code[behind];
            if (!aheadKnown || ahead <= i) {
                ahead = i + 1;
                while (ahead < code.size() && !endsLookAhead(code[ahead])) ++ahead;
                aheadKnown = true;
            }
            const bool minutes = before == u'h' || before == u'H' ||
                                 (ahead < code.size() && (code[ahead] == u's' || code[ahead] == u'S'));
            if (minutes) time = true;
            else date = true;
            break;
        }
        case u'h':
        case u'H':
        case u's':
        case u'S': time = true; break;
        case u'%': percent = true; break;
        default: break;
        }
    }
    if (date && time) return NumberStyle::DateTime;
    if (date) return NumberStyle::Date;
    if (time) return NumberStyle::Time;
    if (percent) return NumberStyle::Percent;
    return NumberStyle::General;
}

}  // namespace office
