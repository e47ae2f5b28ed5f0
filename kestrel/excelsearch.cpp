// The search of one workbook in Excel: Workbooks.Open, then for every sheet
// one Range.Find over all its cells per keyword, then Workbook.Close without
// saving. A keyword counts once however many sheets hold it. Every dispatch
// object lives in its own driver, so every way out releases it.
#include "kestrel/excelsearch.h"

#include "kestrel/searchcommon.h"
#include "platform/cancellation.h"

#include <cstring>
#include <string>

namespace kestrel {

namespace {

// Closes the workbook unsaved after a failed call. Best effort: a second
// failure here is swallowed, the search of this file has failed already.
void CloseWorkbookQuietly(COleDispatchDriver& workbook)
{
    try {
        COleVariant no(false);
        COleVariant noName("");
        workbook.InvokeHelper<void>(ExcelDispid::WorkbookClose, DISPATCH_METHOD, no, noName, no);
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
}

}  // namespace

int SearchWorkbook(_ResultFileInfo& info, const CKeywordArray& keywords, _FindedConditions conditions,
                   CExcelApplicationDriver& excel, int generation)
{
    const long count = keywords.GetSize();
    if (count <= 0) return -2;
    // More keywords than the record has flags for would write past it.
    if (count > kMaxKeywords) return 0;
    std::string path;
    if (!RecordPath(info, path)) return 0;

    COleDispatchDriver workbooks;
    COleDispatchDriver workbook;
    COleDispatchDriver worksheets;
    COleDispatchDriver worksheet;
    COleDispatchDriver cells;
    bool open = false;
    try {
        // Every argument is a variant built once and passed by value.
        COleVariant vMissing = COleVariant::Missing();
        COleVariant vFalse(false);
        COleVariant vMatchCase(conditions.MatchCase != 0);
        COleVariant vEmpty("");
        COleVariant vKeyword;
        COleVariant vSheet(static_cast<LONG>(1), VT_I4);
        const LONG searchDirection = 0;

        workbooks.AttachDispatch(excel.GetWorkbooks());
        if (workbooks.m_lpDispatch == nullptr) return 0;

        IDispatch* opened = nullptr;
        if (generation == 9) {
            opened = workbooks.InvokeHelper<IDispatch*>(ExcelDispid::WorkbooksOpen9, DISPATCH_METHOD, path.c_str(),
                                                        vMissing, vMissing, vMissing, vMissing, vMissing, vMissing,
                                                        vMissing, vMissing, vMissing, vMissing, vMissing, vMissing);
        } else {
            opened = workbooks.InvokeHelper<IDispatch*>(
                ExcelDispid::WorkbooksOpen10, DISPATCH_METHOD, path.c_str(), vMissing, vMissing, vMissing, vMissing,
                vMissing, vMissing, vMissing, vMissing, vMissing, vMissing, vMissing, vMissing, vMissing, vMissing);
        }
        if (opened == nullptr) return 0;
        workbook.AttachDispatch(opened);
        open = true;

        worksheets.AttachDispatch(workbook.GetProperty<IDispatch*>(ExcelDispid::WorkbookWorksheets));
        if (worksheets.m_lpDispatch == nullptr) AfxThrowOleException(E_POINTER);
        const LONG sheetCount = worksheets.GetProperty<LONG>(ExcelDispid::WorksheetsCount);

        long found = 0;
        // A wider counter, so a count of LONG's maximum cannot overflow it.
        for (long long sheet = 1; sheet <= sheetCount; ++sheet) {
            // Stop ends the search between sheets and keywords too; the
            // workbook is closed below like after any failure.
            platform::ThrowIfStopRequested();
            vSheet = COleVariant(static_cast<LONG>(sheet), VT_I4);
            // Attaching the next sheet releases the previous one.
            worksheet.AttachDispatch(
                worksheets.InvokeHelper<IDispatch*>(ExcelDispid::WorksheetsItem, DISPATCH_PROPERTYGET, vSheet));
            if (worksheet.m_lpDispatch == nullptr) AfxThrowOleException(E_POINTER);
            worksheet.InvokeHelper<void>(ExcelDispid::WorksheetSelect, DISPATCH_METHOD, /*Replace*/ vMissing);
            cells.AttachDispatch(worksheet.GetProperty<IDispatch*>(ExcelDispid::WorksheetCells));
            if (cells.m_lpDispatch == nullptr) AfxThrowOleException(E_POINTER);

            for (long j = 0; j < count; ++j) {
                platform::ThrowIfStopRequested();
                vKeyword = AnsiToWide(KeywordText(keywords[j]));
                // What, After, LookIn, LookAt, SearchOrder, SearchDirection,
                // MatchCase, MatchByte[, SearchFormat].
                COleDispatchDriver range(
                    generation == 9 ? cells.InvokeHelper<IDispatch*>(ExcelDispid::RangeFind, DISPATCH_METHOD, vKeyword,
                                                                     vMissing, vMissing, vMissing, vMissing,
                                                                     searchDirection, vMatchCase, vMissing)
                                    : cells.InvokeHelper<IDispatch*>(ExcelDispid::RangeFind, DISPATCH_METHOD, vKeyword,
                                                                     vMissing, vMissing, vMissing, vMissing,
                                                                     searchDirection, vMatchCase, vMissing, vMissing));
                // Only a change from 0 counts: a keyword already flagged (on
                // an earlier sheet, or by the caller) is not counted again.
                if (range.m_lpDispatch != nullptr && info.nKeywordFound[j] == 0) {
                    info.nKeywordFound[j] = 1;
                    ++found;
                }
            }
            cells.ReleaseDispatch();
        }
        info.nMatchDegree = MatchDegree(found, count);

        worksheet.ReleaseDispatch();
        worksheets.ReleaseDispatch();
        workbook.InvokeHelper<void>(ExcelDispid::WorkbookClose, DISPATCH_METHOD, /*SaveChanges*/ vFalse,
                                    /*Filename*/ vEmpty, /*RouteWorkbook*/ vFalse);
        open = false;
        workbook.ReleaseDispatch();
        workbooks.ReleaseDispatch();
        return 1;
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
        // Out of memory converting a text, Stop, or the like: the workbook
        // could not be searched, and nothing may leave the library.
    }
    // The workbook would otherwise stay open in Excel until the end of the
    // run; over many damaged files they would pile up.
    if (open) CloseWorkbookQuietly(workbook);
    return 0;
}

}  // namespace kestrel
