// libFuzzer target for the cell texts of the formula bar: the General
// format, date serials, number format codes, ISO dates and the check that
// a written decimal shows as it stands. Bytes 0-7 are a double, byte 8
// chooses the date system and a number style, byte 9 a built-in format;
// the rest is read both as a format code and as a number or date text.
//
// Held to what the functions promise: General shows a finite number with
// at most 15 significant digits that read back to within rounding of the
// value; a decimal ShowsAsWritten accepts formats back to the same text;
// an ISO date that parses lies in Excel's date range.
#include "office/excel/cellformat.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

std::string Narrow(const std::u16string& text)
{
    std::string out;
    for (char16_t c : text) {
        if (c > 0x7F) __builtin_trap();  // these texts are ASCII
        out.push_back(static_cast<char>(c));
    }
    return out;
}

void CheckGeneral(double value)
{
    const std::string text = Narrow(office::FormatGeneral(value));
    if (!std::isfinite(value)) {
        if (text != "#NUM!") __builtin_trap();
        return;
    }
    // Sign, 20 integer digits, a point and 14 more digits at most.
    if (text.empty() || text.size() > 36) __builtin_trap();
    std::size_t digits = 0;
    bool leading = true;
    for (char c : text) {
        if (c == 'E') break;
        if (c >= '1' && c <= '9') leading = false;
        if (c >= '0' && c <= '9' && !leading) ++digits;
    }
    // Integers below 1E+15 are written in full; everything else in 15
    // significant digits (trailing zeros of a whole number aside).
    if (text.find('.') != std::string::npos && digits > 15) __builtin_trap();
    if (!std::isnormal(value)) return;  // subnormals have fewer digits than they show
    // Read back wider than a double: 15 digits of the largest doubles round
    // past the largest double.
    const long double back = std::strtold(text.c_str(), nullptr);
    const long double exact = value;
    if (std::fabs(back - exact) > 1e-14L * std::fabs(exact)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 10) return 0;
    double value = 0;
    std::memcpy(&value, data, sizeof value);
    const bool date1904 = (data[8] & 1) != 0;
    const auto style = static_cast<office::NumberStyle>((data[8] >> 1) % 4);
    const std::string_view text(reinterpret_cast<const char*>(data + 10), size - 10);

    CheckGeneral(value);
    const std::string serial = Narrow(office::FormatSerial(value, date1904, style));
    if (serial.empty() || serial.size() > 40) __builtin_trap();
    (void)office::StyleOfBuiltinFormat(data[9]);

    std::u16string code;
    for (char c : text) code.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    (void)office::StyleOfFormatCode(code);

    if (office::ShowsAsWritten(text)) {
        const std::string copy(text);
        if (Narrow(office::FormatGeneral(std::strtod(copy.c_str(), nullptr))) != copy) __builtin_trap();
    }

    double parsed = 0;
    bool hasTime = false;
    if (office::ParseIsoDate(text, parsed, hasTime)) {
        // 1 January 1900 to 31 December 9999, the last day's time included.
        if (!(parsed >= 1 && parsed < 2958466)) __builtin_trap();
        CheckGeneral(parsed);
    }
    return 0;
}
