// Option and Setup sheets: what they show on a first start, and the
// property-sheet rules for OK, Cancel, Apply and leaving a tab, driven
// through the modal entry points the frame calls.
#include "platform/registry.h"
#include "platform/stringtable.h"
#include "search/searchcontext.h"
#include "search/settingsstore.h"
#include "settings/optionsheet.h"
#include "settings/setupsheet.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

QCheckBox* Box(QWidget* sheet, const char* name)
{
    return sheet->findChild<QCheckBox*>(QString::fromLatin1(name));
}

// Runs `entry` (RunOptionSheet or RunSetupSheet) and, once its modal sheet
// is up, `steps` with it. Returns the entry's result; the steps must close
// the sheet.
int RunModal(const std::function<int(QWidget*)>& entry, const std::function<void(CPropertySheet*)>& steps)
{
    bool ran = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* sheet = qobject_cast<CPropertySheet*>(QApplication::activeModalWidget());
        if (sheet == nullptr || ran) return;
        ran = true;
        poll.stop();
        steps(sheet);
        // A sheet the steps left open would hang the test: close it.
        if (sheet->isVisible()) {
            QTest::qFail("the sheet was left open", __FILE__, __LINE__);
            sheet->reject();
        }
    });
    poll.start();
    const int result = entry(nullptr);
    if (!ran) QTest::qFail("no modal sheet appeared", __FILE__, __LINE__);
    return result;
}

void Click(QAbstractButton* button)
{
    QVERIFY(button != nullptr);
    // A tab just opened lays itself out in the event loop.
    QCoreApplication::processEvents();
    QVERIFY(button->isVisible());
    QVERIFY(button->isEnabled());
    const bool wasChecked = button->isChecked();
    // A check box takes clicks on its box and text, so click on the box.
    const QPoint at = button->isCheckable() ? QPoint(8, button->height() / 2) : button->rect().center();
    QTest::mouseClick(button, Qt::LeftButton, {}, at);
    if (button->isCheckable()) QVERIFY(button->isChecked() != wasChecked);
}

QStringList CheckedBoxes(QWidget* page)
{
    QStringList names;
    for (QCheckBox* box : page->findChildren<QCheckBox*>())
        if (box->isChecked()) names << box->text();
    return names;
}

}  // namespace

class SettingsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_hive;

private slots:
    void initTestCase() { QVERIFY(m_hive.isValid()); }

    void init()
    {
        // A first start: an empty hive of our own.
        const QString file = m_hive.filePath(QString("user%1.reg").arg(QDateTime::currentMSecsSinceEpoch()));
        RegSetUserHivePath(file.toStdString());
        ResetSearchContext();
        LoadSettings();
    }

    void optionSheetOnFirstStart()
    {
        COptionSheet sheet(IDS_OPTION_CAPTION, nullptr, 0);
        sheet.CopyFromSwitches();
        sheet.show();
        QCOMPARE(sheet.Tabs()->count(), 2);
        QCOMPARE(sheet.Tabs()->currentIndex(), 0);
        QCOMPARE(CheckedBoxes(&sheet.m_pageGeneral), QStringList{"Clear Series Space"});
        sheet.SetActivePage(1);
        QCOMPARE(CheckedBoxes(&sheet.m_pageCategory), QStringList{});
        QVERIFY(!sheet.ApplyButton()->isEnabled());
        sheet.reject();
    }

    void sheetShowsTheCurrentSwitches()
    {
        g_bHtmFile = 1;
        g_conditions.MatchSoundsLike = 1;
        g_conditions.ClearSeriesSpace = 0;
        RunModal(RunOptionSheet, [](CPropertySheet* sheet) {
            auto* option = qobject_cast<COptionSheet*>(sheet);
            QVERIFY(option != nullptr);
            QCOMPARE(CheckedBoxes(&option->m_pageGeneral), QStringList{"Match Sounds Like"});
            option->SetActivePage(1);
            QCOMPARE(CheckedBoxes(&option->m_pageCategory), QStringList{"\"htm\" and \"html\""});
            Click(sheet->CancelButton());
        });
        QCOMPARE(g_bHtmFile.load(), 1);
        QCOMPARE(g_conditions.MatchSoundsLike.load(), 1);
        QCOMPARE(g_conditions.ClearSeriesSpace.load(), 0);
    }

    void tickAndOkTakesTheChange()
    {
        const int result = RunModal(RunOptionSheet, [](CPropertySheet* sheet) {
            sheet->SetActivePage(1);
            Click(Box(sheet, "IDC_WORD_FILE"));
            Click(sheet->OkButton());
        });
        QCOMPARE(result, int(CPropertySheet::IDOK));
        QCOMPARE(g_bWordFile.load(), 1);
        QCOMPARE(g_bExcelFile.load(), 0);
        QCOMPARE(g_conditions.ClearSeriesSpace.load(), 1);
    }

    void tickAndCancelOnTheSameTabDropsIt()
    {
        const int result = RunModal(RunOptionSheet, [](CPropertySheet* sheet) {
            sheet->SetActivePage(1);
            Click(Box(sheet, "IDC_WORD_FILE"));
            Click(sheet->CancelButton());
        });
        QCOMPARE(result, int(CPropertySheet::IDCANCEL));
        QCOMPARE(g_bWordFile.load(), 0);
        // Escape is a Cancel as well.
        RunModal(RunOptionSheet, [](CPropertySheet* sheet) {
            Click(Box(sheet, "IDC_MATCH_CASE"));
            QTest::keyClick(sheet, Qt::Key_Escape);
        });
        QCOMPARE(g_conditions.MatchCase.load(), 0);
    }

    void leavingATabTakesItsChanges()
    {
        RunModal(RunOptionSheet, [](CPropertySheet* sheet) {
            Click(Box(sheet, "IDC_MATCH_CASE"));
            Click(Box(sheet, "IDC_CLEAR_SERIES_SPACE"));  // untick
            sheet->SetActivePage(1);
            Click(Box(sheet, "IDC_TEXT_FILE"));  // dropped by the Cancel below
            Click(sheet->CancelButton());
        });
        QCOMPARE(g_conditions.MatchCase.load(), 1);
        QCOMPARE(g_conditions.ClearSeriesSpace.load(), 0);
        QCOMPARE(g_bTextFile.load(), 0);
        // Going back to a tab shows what was taken from it.
        RunModal(RunOptionSheet, [](CPropertySheet* sheet) {
            sheet->SetActivePage(1);
            Click(Box(sheet, "IDC_EXCEL_FILE"));
            sheet->SetActivePage(0);
            sheet->SetActivePage(1);
            QVERIFY(Box(sheet, "IDC_EXCEL_FILE")->isChecked());
            Click(sheet->CancelButton());
        });
        QCOMPARE(g_bExcelFile.load(), 1);
    }

    void applyIsEnabledByAClickAndDisabledByApply()
    {
        RunModal(RunOptionSheet, [](CPropertySheet* sheet) {
            QPushButton* apply = sheet->ApplyButton();
            QVERIFY(!apply->isEnabled());
            Click(Box(sheet, "IDC_MATCH_WHOLE_WORD"));
            QVERIFY(apply->isEnabled());
            // Any click counts, even one that puts a box back as it was.
            Click(Box(sheet, "IDC_MATCH_WHOLE_WORD"));
            QVERIFY(apply->isEnabled());
            Click(Box(sheet, "IDC_MATCH_WILDCARDS"));
            Click(apply);
            QVERIFY(!apply->isEnabled());
            QVERIFY(sheet->isVisible());  // Apply keeps the sheet open
            // What was applied stays after a Cancel; what came after does not.
            Click(Box(sheet, "IDC_MATCH_CASE"));
            QVERIFY(apply->isEnabled());
            Click(sheet->CancelButton());
        });
        QCOMPARE(g_conditions.MatchWildcards.load(), 1);
        QCOMPARE(g_conditions.MatchWholeWord.load(), 0);
        QCOMPARE(g_conditions.MatchCase.load(), 0);
        // Changes on a tab that was left keep Apply enabled until applied.
        RunModal(RunOptionSheet, [](CPropertySheet* sheet) {
            Click(Box(sheet, "IDC_MATCH_CASE"));
            sheet->SetActivePage(1);
            QVERIFY(sheet->ApplyButton()->isEnabled());
            Click(sheet->ApplyButton());
            QVERIFY(!sheet->ApplyButton()->isEnabled());
            Click(sheet->OkButton());
        });
        QCOMPARE(g_conditions.MatchCase.load(), 1);
    }

    void setupSheet()
    {
        const int result = RunModal(RunSetupSheet, [](CPropertySheet* sheet) {
            QCOMPARE(sheet->Tabs()->count(), 1);
            QCOMPARE(CheckedBoxes(sheet), QStringList{});
            Click(Box(sheet, "IDC_OPEN_MULTI_FILES"));
            Click(sheet->OkButton());
        });
        QCOMPARE(result, int(CPropertySheet::IDOK));
        QCOMPARE(g_bOpenMultiFiles.load(), 1);
        QCOMPARE(g_bOpenMultiDirs.load(), 0);
        QCOMPARE(g_bDCOpenFile.load(), 0);
        RunModal(RunSetupSheet, [](CPropertySheet* sheet) {
            QCOMPARE(CheckedBoxes(sheet), QStringList{"Open Multi-Files"});
            Click(Box(sheet, "IDC_OPEN_MULTI_DIRS"));
            Click(Box(sheet, "IDC_DC_OPEN_FILE"));
            Click(sheet->CancelButton());
        });
        QCOMPARE(g_bOpenMultiDirs.load(), 0);
        QCOMPARE(g_bDCOpenFile.load(), 0);
        // The search switches are not the Setup sheet's business.
        QCOMPARE(g_conditions.ClearSeriesSpace.load(), 1);
    }

    void sheetChangesReachTheHiveAtSave()
    {
        RunModal(RunOptionSheet, [](CPropertySheet* sheet) {
            sheet->SetActivePage(1);
            Click(Box(sheet, "IDC_HTM_FILE"));
            Click(sheet->OkButton());
        });
        QVERIFY(SaveSettings());
        g_bHtmFile = 0;
        LoadSettings();
        QCOMPARE(g_bHtmFile.load(), 1);
    }
};

QTEST_MAIN(SettingsTest)
#include "settings_qtest.moc"
