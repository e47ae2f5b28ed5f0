// Opens a workbook file as Excel does: by what the bytes are, not by the
// file's name. A compound file is read as BIFF (or, when it holds an Office
// Open XML package encrypted with Excel's default password, as that
// package), a bare record stream that starts with an Excel 2 to 4 BOF as
// such an old workbook, a zip package as Office Open XML, and text as XML
// Spreadsheet 2003, an HTML table or tab- or comma-separated values,
// whatever the extension says.
#pragma once

#include "office/excel/workbook.h"
#include "office/text/byteview.h"

#include <memory>
#include <string>
#include <string_view>

namespace office {

class FileBytesReader;

enum class WorkbookKind { Biff, OldBiff, OpenXml, Xml2003, Html, DelimitedText, Unknown };

WorkbookKind DetectWorkbookKind(ByteView bytes);

// `sheetName` names the single sheet of a text workbook or of an Excel 2 to
// 4 worksheet file (Excel uses the file's base name). What the workbook
// costs to read is charged to `limits.budget`, one per opened file (without
// one, the call makes its own of the default size); a workbook beyond it
// fails as TooLarge ("too large: ..."). Throws platform::OperationCancelled when the
// search is stopped. `deferFormulaTexts`: a binary workbook's formula texts
// are left to decode on request (see BiffReader).
bool LoadWorkbookBytes(ByteView bytes, const std::u16string& sheetName, Workbook& out, ReadError& error,
                       const WorkbookLimits& limits = {}, bool deferFormulaTexts = false);

// Reads the file at `path` (never writing to it) and loads it.
bool LoadWorkbook(const std::string& path, Workbook& out, ReadError& error, const WorkbookLimits& limits = {},
                  bool deferFormulaTexts = false);

// A file read as an opened workbook is, the same for Workbooks.Open, its
// read-ahead and a match report: one memory budget shared by the sheets read
// side by side, formula texts decoded when a Find first looks in formulas.
// Null, with the reader's error, when it cannot be read.
std::shared_ptr<Workbook> ReadWorkbookModel(const std::string& path, ReadError& error);
// The same for a file opened already; `path` gives its name.
std::shared_ptr<Workbook> ReadWorkbookModel(FileBytesReader& file, const std::string& path, ReadError& error);

}  // namespace office
