// Workbooks saved as text under an Excel name: an ".xls" that holds an HTML
// table, an XML Spreadsheet 2003, or tab- or comma-separated values. Excel
// opens all three; so does the built-in Excel, the way Excel lays them out:
// HTML table rows and cells become sheet rows and cells, XML Spreadsheet
// keeps its worksheets, and delimited text fills one sheet. Texts that look
// like numbers or TRUE/FALSE become numbers and Booleans, as Excel makes
// them.
#pragma once

#include "office/containers/htmlpage.h"
#include "office/excel/workbook.h"

#include <string>
#include <string_view>

namespace office {

class XlsTextReader {
public:
    // A web page's tables, read as a stream however large or deep the page.
    // Throws platform::OperationCancelled on a stop request.
    static bool ReadHtml(std::string_view bytes, const std::u16string& sheetName, WorkbookBuilder& builder,
                         ReadError& error);
    // The same with the parser's limits of the Word reader's web pages
    // (htmlpage.h), which tests lower to reach the paths of hostile pages.
    static bool ReadHtml(std::string_view bytes, const std::u16string& sheetName, WorkbookBuilder& builder,
                         ReadError& error, const HtmlReadLimits& limits);
    static bool ReadXml2003(std::string_view bytes, WorkbookBuilder& builder, ReadError& error);
    static bool ReadDelimited(std::string_view bytes, const std::u16string& sheetName, WorkbookBuilder& builder,
                              ReadError& error);

    // Text in an unknown 8-bit or Unicode encoding to UTF-16: a byte-order
    // mark decides, then valid UTF-8, else Windows-1252.
    static std::u16string DecodeText(std::string_view bytes);
    // The delimiter of tab- or comma-separated text, judged from its first
    // line outside quotes: tab, then semicolon when it outnumbers commas,
    // else comma.
    static char16_t SniffDelimiter(std::u16string_view text);
    // Adds a cell as Excel would type it in: a number, a Boolean, or text.
    static bool AddTypedCell(WorkbookBuilder& builder, std::uint32_t row, std::uint32_t column, std::u16string text);
};

}  // namespace office
