// What Excel shows for a cell value in its formula bar: numbers in the
// General format (4711, 12.5, 1E+20), numbers formatted as percentages
// with a percent sign (8.97%), dates as m/d/yyyy, times as h:mm:ss AM/PM,
// booleans as TRUE/FALSE and errors as #DIV/0! and its kin. Also decides
// from a number format code whether a number is a date or a percentage.
#pragma once

#include "office/excel/workbook.h"

#include <string>
#include <string_view>

namespace office {

// The General format with Excel's 15 significant digits: integers in full,
// fractions without trailing zeros, exponent notation from 1E+20 and below
// 1E-9 ("1.5E+20", "1E-10").
std::u16string FormatGeneral(double value);

// A number formatted as a percentage, as the formula bar shows it: the
// value times 100 with General's 15 significant digits and layout, then a
// percent sign ("50%", "12.3456%", "-25%", "33.3333333333333%"). The
// digits are the value's own with the decimal point moved, never those of
// a rounded product.
std::u16string FormatPercent(double value);

// True when `number`, a decimal as a file writes it, is exactly what the
// General format shows for its value: no exponent, no sign on zero, no
// leading or trailing zeros, at most 15 significant digits, and within the
// range shown without an exponent. Such a text can be shown as it stands
// instead of being formatted again (any decimal of up to 15 significant
// digits reads into a double that formats back to the same digits).
bool ShowsAsWritten(std::string_view number);

// A date serial as the formula bar shows it. `date1904` selects the 1904
// date system. Values outside Excel's date range fall back to General.
std::u16string FormatSerial(double serial, bool date1904, NumberStyle style);

// The shown text of a non-text cell.
std::u16string ShownValue(const Cell& cell, bool date1904);

// An ISO 8601 date or date-time ("2024-03-01", "2024-03-01T12:30:00") as a
// serial of the 1900 date system; false when the text is no such date.
bool ParseIsoDate(std::string_view text, double& serial, bool& hasTime);

// The style of one of Excel's built-in number formats by its index.
NumberStyle StyleOfBuiltinFormat(unsigned index);

// The style of a custom format code: a date when its first section holds
// day, month or year codes, a time when it holds only hours, minutes or
// seconds, a percentage when it holds a percent sign (and no date or time
// codes); quoted text, escaped characters and [colour] brackets ignored.
NumberStyle StyleOfFormatCode(std::u16string_view code);

}  // namespace office
