// The built-in Excel through its automation interface, called the way
// Kestrel calls it: raw IDispatch::Invoke with the DISPIDs and argument
// lists of Excel 2000 and Excel XP/2003, on the fixture workbooks.
#include "office/automation/excelapplication.h"
#include "platform/exceldispids.h"
#include "support/excelbooks.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace office;
using namespace excelfixtures;

namespace {

struct Released {
    void operator()(IDispatch* d) const
    {
        if (d != nullptr) d->Release();
    }
};
using Ptr = std::unique_ptr<IDispatch, Released>;

Ptr Get(IDispatch* target, DISPID id, std::vector<Arg> args = {})
{
    CallResult r = Call(target, id, DISPATCH_PROPERTYGET, std::move(args));
    EXPECT_EQ(r.hr, S_OK) << std::hex << id;
    return Ptr(r.TakeDispatch());
}

long GetLong(IDispatch* target, DISPID id)
{
    CallResult r = Call(target, id, DISPATCH_PROPERTYGET);
    EXPECT_EQ(r.value.vt, VT_I4);
    return r.hr == S_OK ? r.value.lVal : -1;
}

std::vector<Arg> Missing(std::size_t n) { return std::vector<Arg>(n, Arg::Missing()); }

// Workbooks.Open as Excel XP/2003 (path, then 14 missing) or 2000 (12) call it.
CallResult Open(IDispatch* workbooks, const std::string& path, bool excel9 = false)
{
    std::vector<Arg> args = Missing(excel9 ? 13 : 15);
    args[0] = Arg::Str(std::u16string(path.begin(), path.end()));
    return Call(workbooks, excel9 ? ExcelDispid::WorkbooksOpen9 : ExcelDispid::WorkbooksOpen10, DISPATCH_METHOD, std::move(args));
}

// Range.Find as Kestrel calls it: What, After/LookIn/LookAt/SearchOrder
// missing, SearchDirection 0 as a plain VT_I4, MatchCase, MatchByte
// missing, and for Excel XP/2003 SearchFormat missing.
Ptr Find(IDispatch* cells, const std::u16string& what, bool matchCase = false, bool excel9 = false)
{
    std::vector<Arg> args = Missing(excel9 ? 8 : 9);
    args[0] = Arg::Str(what);
    args[5] = Arg::I4(0);
    args[6] = Arg::Bool(matchCase);
    CallResult r = Call(cells, ExcelDispid::RangeFind, DISPATCH_METHOD, std::move(args));
    EXPECT_EQ(r.hr, S_OK);
    EXPECT_TRUE(r.value.vt == VT_DISPATCH || r.value.vt == VT_EMPTY);
    return Ptr(r.TakeDispatch());
}

class ExcelAutomation : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterExcelServer();
        m_live = CDispatchObject::LiveObjects();
        IDispatch* app = nullptr;
        ASSERT_EQ(CreateObjectByProgID("Excel.Application", &app), S_OK);
        m_app.reset(app);
        ASSERT_EQ(Call(m_app.get(), ExcelDispid::ApplicationVisible, DISPATCH_PROPERTYPUT, {Arg::Bool(false)}).hr, S_OK);
        m_workbooks = Get(m_app.get(), ExcelDispid::ApplicationWorkbooks);
        ASSERT_NE(m_workbooks, nullptr);
    }
    void TearDown() override
    {
        if (m_app == nullptr) return;  // released by the test
        EXPECT_EQ(Call(m_app.get(), ExcelDispid::ApplicationDisplayAlerts, DISPATCH_PROPERTYPUT, {Arg::Bool(false)}).hr, S_OK);
        EXPECT_EQ(Call(m_app.get(), ExcelDispid::ApplicationQuit, DISPATCH_METHOD).hr, S_OK);
        m_workbooks.reset();
        m_app.reset();
        EXPECT_EQ(CDispatchObject::LiveObjects(), m_live);
    }

    // Cells of sheet `index` (1-based) of `workbook`, selected first.
    Ptr SheetCells(IDispatch* workbook, long index)
    {
        Ptr sheet = Get(Get(workbook, ExcelDispid::WorkbookWorksheets).get(), ExcelDispid::WorksheetsItem, {Arg::I4(index)});
        if (sheet == nullptr) return nullptr;
        EXPECT_EQ(Call(sheet.get(), ExcelDispid::WorksheetSelect, DISPATCH_METHOD, {Arg::Missing()}).hr, S_OK);
        return Get(sheet.get(), ExcelDispid::WorksheetCells);
    }

    long m_live = 0;
    Ptr m_app;
    Ptr m_workbooks;
};

}  // namespace

// Both formats, opened and searched with the argument lists of Excel XP
// (book.xls) and of Excel 2000 (book.xlsx); closing with SaveChanges
// leaves the file as it was. (Hidden sheets and MatchCase on these books,
// through Kestrel's own calls: officefindbuiltin_test.)
TEST_F(ExcelAutomation, FindReturnsTheCellOrNothing)
{
    for (const bool excel9 : {false, true}) {
        const std::string path = ExcelData(excel9 ? "book.xlsx" : "book.xls");
        const Bytes bytesBefore = FileBytes(path);
        const auto timeBefore = std::filesystem::last_write_time(path);
        CallResult opened = Open(m_workbooks.get(), path, excel9);
        ASSERT_EQ(opened.hr, S_OK);
        Ptr workbook(opened.TakeDispatch());
        EXPECT_EQ(GetLong(Get(workbook.get(), ExcelDispid::WorkbookWorksheets).get(), ExcelDispid::WorksheetsCount), 3);
        Ptr cells = SheetCells(workbook.get(), 1);
        EXPECT_NE(Find(cells.get(), u"CONCATENATE("), nullptr);  // the formula text too
        EXPECT_EQ(Find(cells.get(), u"no such text"), nullptr);
        Ptr hit = Find(cells.get(), u"hello", false, excel9);
        ASSERT_NE(hit, nullptr);
        EXPECT_EQ(GetLong(hit.get(), ExcelDispid::RangeRow), 3);
        EXPECT_EQ(GetLong(hit.get(), ExcelDispid::RangeColumn), 3);
        // LookAt xlWhole (1) and LookIn xlValues (-4163) given explicitly:
        // "Zebra crossing" is not the whole cell, a formula's text no value.
        for (const auto& args : {std::vector<Arg>{Arg::Str(u"zebra"), Arg::Missing(), Arg::I4(-4163), Arg::I4(1)},
                                 std::vector<Arg>{Arg::Str(u"CONCATENATE"), Arg::Missing(), Arg::I4(-4163)}}) {
            CallResult r = Call(cells.get(), ExcelDispid::RangeFind, DISPATCH_METHOD, args);
            EXPECT_EQ(r.hr, S_OK);
            EXPECT_EQ(Ptr(r.TakeDispatch()), nullptr);
        }
        // After a found cell, Find goes on to the next one.
        Ptr first = Find(cells.get(), u"e");
        ASSERT_NE(first, nullptr);
        Ptr next(Call(cells.get(), ExcelDispid::RangeFind, DISPATCH_METHOD, {Arg::Str(u"e"), Arg::Disp(first.get())}).TakeDispatch());
        ASSERT_NE(next, nullptr);
        EXPECT_GT(GetLong(next.get(), ExcelDispid::RangeRow) * 1000 + GetLong(next.get(), ExcelDispid::RangeColumn),
                  GetLong(first.get(), ExcelDispid::RangeRow) * 1000 + GetLong(first.get(), ExcelDispid::RangeColumn));
        EXPECT_EQ(Call(workbook.get(), ExcelDispid::WorkbookClose, DISPATCH_METHOD, {Arg::Bool(true), Arg::Str(u""), Arg::Bool(false)}).hr,
                  S_OK);
        EXPECT_EQ(FileBytes(path), bytesBefore);
        EXPECT_EQ(std::filesystem::last_write_time(path), timeBefore);
    }
    EXPECT_EQ(GetLong(m_workbooks.get(), ExcelDispid::WorkbooksCount), 0);
}

// Unreadable workbooks and wrong calls fail as calls, with nothing left
// behind. A compound file that holds no workbook (a Word document), a
// missing file and a folder each fail with a reason, and nothing stays
// open. (Junk and workbooks protected by a password are refused by the
// readers: excelloader_test, biffreader_test.)
TEST_F(ExcelAutomation, UnreadableWorkbooksAndWrongCallsAreRefusedWithoutSideEffects)
{
    for (const std::string& path :
         {std::string(VARNEL_TEST_DATA) + "/word/fmt-stories.doc", ExcelData("missing.xls"), ExcelData("")}) {
        CallResult r = Open(m_workbooks.get(), path);
        EXPECT_EQ(r.hr, DISP_E_EXCEPTION) << path;
        EXPECT_FALSE(r.description.empty());
        EXPECT_EQ(Ptr(r.TakeDispatch()), nullptr);
    }
    EXPECT_EQ(GetLong(m_workbooks.get(), ExcelDispid::WorkbooksCount), 0);
    // Open with a number for the path, or too many arguments.
    EXPECT_EQ(Call(m_workbooks.get(), ExcelDispid::WorkbooksOpen10, DISPATCH_METHOD, {Arg::I4(3)}).hr, DISP_E_TYPEMISMATCH);
    std::vector<Arg> tooMany = Missing(14);
    tooMany[0] = Arg::Str(u"x.xls");
    EXPECT_EQ(Call(m_workbooks.get(), ExcelDispid::WorkbooksOpen9, DISPATCH_METHOD, tooMany).hr, DISP_E_BADPARAMCOUNT);
    CallResult opened = Open(m_workbooks.get(), ExcelData("xml2003.xls"));
    ASSERT_EQ(opened.hr, S_OK);
    Ptr workbook(opened.TakeDispatch());
    Ptr sheets = Get(workbook.get(), ExcelDispid::WorkbookWorksheets);
    for (long bad : {0L, 4L, -1L})
        EXPECT_EQ(Call(sheets.get(), ExcelDispid::WorksheetsItem, DISPATCH_PROPERTYGET, {Arg::I4(bad)}).hr, DISP_E_EXCEPTION);
    EXPECT_NE(Get(sheets.get(), ExcelDispid::WorksheetsItem, {Arg::Str(u"third")}), nullptr);
    Ptr cells = SheetCells(workbook.get(), 2);  // very hidden, selected and searched
    EXPECT_NE(Find(cells.get(), u"treasure"), nullptr);
    // Unknown members on every object, a put on a read-only member, bad
    // arguments to Find and Quit.
    for (IDispatch* d : {m_app.get(), m_workbooks.get(), workbook.get(), sheets.get(), cells.get()})
        EXPECT_EQ(Call(d, 0x7777, DISPATCH_PROPERTYGET).hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(m_app.get(), ExcelDispid::ApplicationWorkbooks, DISPATCH_PROPERTYPUT, {Arg::I4(1)}).hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(m_app.get(), ExcelDispid::ApplicationQuit, DISPATCH_METHOD, {Arg::I4(1)}).hr, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(cells.get(), ExcelDispid::RangeFind, DISPATCH_METHOD, {Arg::Missing()}).hr, DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(Call(cells.get(), ExcelDispid::RangeFind, DISPATCH_METHOD, {Arg::Str(u"x"), Arg::Missing(), Arg::I4(5)}).hr,
              DISP_E_EXCEPTION);
    EXPECT_EQ(Call(cells.get(), ExcelDispid::RangeFind, DISPATCH_METHOD, {}).hr, DISP_E_BADPARAMCOUNT);
    // Close twice is harmless, and the closed workbook's objects still answer.
    for (int i = 0; i < 2; ++i) EXPECT_EQ(Call(workbook.get(), ExcelDispid::WorkbookClose, DISPATCH_METHOD, Missing(3)).hr, S_OK);
    EXPECT_NE(Find(cells.get(), u"treasure"), nullptr);
}

// Released without Quit or Close, the application frees what it opened.
TEST_F(ExcelAutomation, ReleasingTheApplicationFreesOpenWorkbooks)
{
    ASSERT_EQ(Open(m_workbooks.get(), ExcelData("book.xlsx")).hr, S_OK);
    m_workbooks.reset();
    EXPECT_GT(CDispatchObject::LiveObjects(), m_live);
    m_app.reset();
    EXPECT_EQ(CDispatchObject::LiveObjects(), m_live);
}
