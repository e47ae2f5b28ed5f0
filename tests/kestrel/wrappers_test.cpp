// The application wrappers' own members, which Varnel's search driver
// calls to start, hide and quit Word and Excel: their DISPIDs, call kinds
// and arguments, and creation by ProgID.
#include "kestrel/officewrappers.h"
#include "platform/olethread.h"
#include "tests/kestrel/support/fakeoffice.h"

#include <gtest/gtest.h>

namespace {

class WrappersTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitialize(nullptr);
        m_office = std::make_shared<FakeOffice>();
        InstallFakeWord(m_office);
        InstallFakeExcel(m_office);
        m_startObjects = CDispatchObject::LiveObjects();
    }
    void TearDown() override
    {
        EXPECT_EQ(CDispatchObject::LiveObjects(), m_startObjects);
        RemoveFakes();
        CoUninitialize();
    }
    std::shared_ptr<FakeOffice> m_office;
    long m_startObjects = 0;
};

template <class App>
void DriveWord(FakeOffice& office)
{
    office.calls.clear();
    App word;
    ASSERT_TRUE(word.CreateDispatch("Word.Application"));
    word.SetVisible(false);
    COleVariant no(false);
    word.Quit(&no, &no, &no);
    EXPECT_EQ(office.Described(), (std::vector<std::string>{"WordApp.0x17 put(bool:false)",
                                                            "WordApp.0x451 call(&bool:false, &bool:false, &bool:false)"}));
}

template <class App>
void DriveExcel(FakeOffice& office)
{
    office.calls.clear();
    App excel;
    ASSERT_TRUE(excel.CreateDispatch("Excel.Application"));
    excel.SetVisible(false);
    excel.SetDisplayAlerts(false);
    IDispatch* books = excel.GetWorkbooks();
    ASSERT_NE(books, nullptr);
    books->Release();
    excel.Quit();
    EXPECT_EQ(office.Described(),
              (std::vector<std::string>{"ExcelApp.0x22E put(bool:false)", "ExcelApp.0x157 put(bool:false)",
                                        "ExcelApp.0x23C get()", "ExcelApp.0x12E call()"}));
}

TEST_F(WrappersTest, WordApplicationMembersOfEveryGeneration)
{
    DriveWord<_Word9>(*m_office);
    DriveWord<_Word10>(*m_office);
    DriveWord<_Word11>(*m_office);
}

TEST_F(WrappersTest, ExcelApplicationMembersOfEveryGeneration)
{
    DriveExcel<_Excel9>(*m_office);
    DriveExcel<_Excel10>(*m_office);
    DriveExcel<_Excel11>(*m_office);
}

TEST_F(WrappersTest, WordGivesDocumentsAndSelectionOrNone)
{
    _Word11 word;
    ASSERT_TRUE(word.CreateDispatch("Word.Application"));
    IDispatch* documents = word.GetDocuments();
    ASSERT_NE(documents, nullptr);
    documents->Release();
    m_office->noSelection = true;
    EXPECT_EQ(word.GetSelection(), nullptr);
}

TEST_F(WrappersTest, ApplicationWithoutOfficeInstalledCannotBeCreated)
{
    RemoveFakes();
    _Word9 word;
    COleException error;
    EXPECT_FALSE(word.CreateDispatch("Word.Application", &error));
    EXPECT_EQ(error.m_sc, REGDB_E_CLASSNOTREG);
    EXPECT_EQ(word.m_lpDispatch, nullptr);
    // A call through an application that was never created is an
    // automation failure, not a crash.
    bool caught = false;
    try {
        word.SetVisible(false);
    } catch (CException* e) {
        caught = true;
        e->Delete();
    }
    EXPECT_TRUE(caught);
}

}  // namespace
