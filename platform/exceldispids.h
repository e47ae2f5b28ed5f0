// Dispatch identifiers of Excel's automation members, as Excel's type
// libraries of Office 2000, XP and 2003 number them. The callers (the
// application wrappers and Kestrel) and the built-in Excel's objects both
// use this one table, so the two sides cannot drift apart. It lives in the
// platform layer because Kestrel links the platform but never the built-in
// Office.
#pragma once

#include "platform/wintypes.h"

namespace ExcelDispid {
constexpr DISPID ApplicationVisible = 0x22E;
constexpr DISPID ApplicationDisplayAlerts = 0x157;
constexpr DISPID ApplicationQuit = 0x12E;
constexpr DISPID ApplicationWorkbooks = 0x23C;
constexpr DISPID WorkbooksCount = 0x76;
constexpr DISPID WorkbooksItem = 0xAA;
constexpr DISPID WorkbooksOpen9 = 0x2AA;   // path and 12 optional arguments
constexpr DISPID WorkbooksOpen10 = 0x783;  // path and 14; also generation 11
constexpr DISPID WorkbookName = 0x6E;
constexpr DISPID WorkbookWorksheets = 0x1EE;
constexpr DISPID WorkbookClose = 0x115;
constexpr DISPID WorksheetsDefault = 0;  // the default member: Item
constexpr DISPID WorksheetsCount = 0x76;
constexpr DISPID WorksheetsItem = 0xAA;
constexpr DISPID WorksheetName = 0x6E;
constexpr DISPID WorksheetSelect = 0xEB;
constexpr DISPID WorksheetCells = 0xEE;
constexpr DISPID WorksheetVisible = 0x22E;
constexpr DISPID RangeValue = 0x6;
constexpr DISPID RangeText = 0x8A;
constexpr DISPID RangeColumn = 0xF0;
constexpr DISPID RangeRow = 0x101;
constexpr DISPID RangeFind = 0x18E;
}  // namespace ExcelDispid
