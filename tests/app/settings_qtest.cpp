// What the program keeps in the registry. The Option and Setup sheets:
// every switch shown, taken and saved, and the property-sheet rules for OK,
// Cancel, Apply and leaving a tab, driven through the modal entry points the
// frame calls. Start-up: the document type's entries (in classes.reg beside
// the settings file, which a start never creates or rewrites; entries an
// earlier version left in user.reg are still read), the automation switches
// and a start by them that registers and ends without a window, and the
// check that the window system can be reached.
#include "apptestenv.h"

#include "app/varnelapp.h"
#include "app/varneldoc.h"
#include "settings/optionsheet.h"
#include "settings/setupsheet.h"
#include "tests/search/support/settingstable.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QTabWidget>

#include <sys/stat.h>

namespace {

QList<int> Values()
{
    QList<int> out;
    for (const SavedSwitch& s : kSavedSwitches) out << s.value->load();
    return out;
}

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
    QTimer::singleShot(0, [&] {
        auto* sheet = qobject_cast<CPropertySheet*>(QApplication::activeModalWidget());
        if (sheet == nullptr) return;
        ran = true;
        steps(sheet);
        // A sheet the steps left open would hang the test: close it.
        if (!sheet->isVisible()) return;
        QTest::qFail("the sheet was left open", __FILE__, __LINE__);
        sheet->reject();
    });
    const int result = entry(nullptr);
    if (!ran) QTest::qFail("no modal sheet appeared", __FILE__, __LINE__);
    return result;
}

void Click(QAbstractButton* button)
{
    QVERIFY(button != nullptr);
    // A tab just opened lays itself out in the event loop.
    QCoreApplication::processEvents();
    QVERIFY(button->isVisible() && button->isEnabled());
    const bool wasChecked = button->isChecked();
    // A check box takes clicks on its box and text, so click on the box.
    const QPoint at = button->isCheckable() ? QPoint(8, button->height() / 2) : button->rect().center();
    QTest::mouseClick(button, Qt::LeftButton, {}, at);
    if (button->isCheckable()) QVERIFY(button->isChecked() != wasChecked);
}

const std::string kClsid = std::string("SOFTWARE\\Classes\\CLSID\\") + CVarnelDoc::kClassId;

// The entries every start writes, for a program at `path`.
void CheckEntries(const std::string& path)
{
    QCOMPARE(DefaultValue("SOFTWARE\\Classes\\Varnel.Document"), std::string("Office Document"));
    QCOMPARE(DefaultValue("SOFTWARE\\Classes\\Varnel.Document\\CLSID"), std::string(CVarnelDoc::kClassId));
    QCOMPARE(DefaultValue(kClsid), std::string("Office Document"));
    QCOMPARE(DefaultValue(kClsid + "\\ProgID"), std::string("Varnel.Document"));
    QCOMPARE(DefaultValue(kClsid + "\\LocalServer32"), path);
}

// Inode and change time: a rename over the file or a rewrite changes them.
std::pair<ino_t, long long> Identity(const QString& path)
{
    struct stat st {};
    if (stat(path.toLocal8Bit().constData(), &st) != 0) return {0, -1};
    return {st.st_ino, st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec};
}

}  // namespace

class SettingsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<CTestRegistry> m_registry;

private slots:
    void init()
    {
        // A first start: an empty hive of our own.
        m_registry = std::make_unique<CTestRegistry>();
        LoadSettings();
    }
    void cleanup() { m_registry.reset(); }

    // The sheet shows each switch as it is, OK takes a click on its box and
    // nothing else, and the next sheet shows it (the settings store's own
    // test keeps it in the hive).
    void everySwitchIsShownTakenAndSaved_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < int(std::size(kSavedSwitches)); ++i) QTest::newRow(kSavedSwitches[i].box) << i;
    }
    void everySwitchIsShownTakenAndSaved()
    {
        QFETCH(int, index);
        const SavedSwitch& s = kSavedSwitches[index];
        const auto entry = s.page == 2 ? RunSetupSheet : RunOptionSheet;
        const int before = s.value->load();
        QList<int> expected = Values();
        expected[index] = 1 - before;
        const auto toggle = [&s](CPropertySheet* sheet, int shown) {
            sheet->SetActivePage(s.page % 2);
            QCOMPARE(int(Box(sheet, s.box)->isChecked()), shown);
            Click(Box(sheet, s.box));
            Click(sheet->OkButton());
        };
        QCOMPARE(RunModal(entry, [&](CPropertySheet* sheet) { toggle(sheet, before); }), int(CPropertySheet::IDOK));
        QCOMPARE(Values(), expected);
        RunModal(entry, [&](CPropertySheet* sheet) { toggle(sheet, 1 - before); });
        QCOMPARE(s.value->load(), before);
    }

    // A first start has the defaults. Leaving a tab takes its changes (and
    // Apply stays enabled for them), which Cancel (or Escape) keeps; what
    // was changed on the open tab is dropped. Any change enables Apply, and
    // Apply takes the changes, stays open and is disabled until the next.
    void cancelApplyAndLeavingATab()
    {
        QCOMPARE(Values(), (QList<int>{0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
        const int result = RunModal(RunOptionSheet, [](CPropertySheet* sheet) {
            QCOMPARE(sheet->Tabs()->count(), 2);
            QCOMPARE(sheet->Tabs()->currentIndex(), 0);
            QVERIFY(!sheet->ApplyButton()->isEnabled());
            Click(Box(sheet, "IDC_MATCH_CASE"));
            Click(Box(sheet, "IDC_CLEAR_SERIES_SPACE"));  // untick
            sheet->SetActivePage(1);
            QVERIFY(sheet->ApplyButton()->isEnabled());
            Click(Box(sheet, "IDC_TEXT_FILE"));
            Click(sheet->CancelButton());
        });
        QCOMPARE(result, int(CPropertySheet::IDCANCEL));
        RunModal(RunOptionSheet, [](CPropertySheet* sheet) {
            Click(Box(sheet, "IDC_MATCH_WHOLE_WORD"));
            QTest::keyClick(sheet, Qt::Key_Escape);
        });
        RunModal(RunSetupSheet, [](CPropertySheet* sheet) {
            QCOMPARE(sheet->Tabs()->count(), 1);
            Click(Box(sheet, "IDC_DC_OPEN_FILE"));
            Click(sheet->CancelButton());
        });
        QCOMPARE(Values(), (QList<int>{1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
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

        RunModal(RunOptionSheet, [](CPropertySheet* sheet) {
            QPushButton* apply = sheet->ApplyButton();
            // A screen reader's toggle changes the box without a click.
            QAccessible::queryAccessibleInterface(Box(sheet, "IDC_MATCH_WHOLE_WORD"))
                ->actionInterface()
                ->doAction(QAccessibleActionInterface::toggleAction());
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
        // The File Category tab, never opened, keeps Excel as it was.
        QCOMPARE(Values(), (QList<int>{1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0}));
    }

    void documentTypeGoesToTheClassesFileAtEveryStart()
    {
        const QString classesPath = QFileInfo(m_registry->HivePath()).dir().filePath(QStringLiteral("classes.reg"));
        QCOMPARE(QString::fromStdString(RegClassesHivePath()), classesPath);
        // An earlier version's entries in user.reg: read, not rewritten.
        QVERIFY(WriteFile(m_registry->HivePath(),
                          "Windows Registry Editor Version 5.00\r\n\r\n"
                          "[HKEY_CURRENT_USER\\SOFTWARE\\Classes\\Old.Type]\r\n"
                          "@=\"From user.reg\"\r\n\r\n"
                          "[HKEY_CURRENT_USER\\SOFTWARE\\Classes\\Varnel.Document\\CLSID]\r\n"
                          "@=\"{00000000-0000-0000-0000-000000000000}\"\r\n"));
        const QByteArray before = m_registry->HiveText();
        QVERIFY(CVarnelApp::RegisterDocumentType("/opt/varnel/varnel"));
        CheckEntries("/opt/varnel/varnel");
        QCOMPARE(DefaultValue("SOFTWARE\\Classes\\Old.Type"), std::string("From user.reg"));
        QCOMPARE(m_registry->HiveText(), before);
        QFile classes(classesPath);
        QVERIFY(classes.open(QIODevice::ReadOnly));
        QVERIFY(classes.readAll().contains("[HKEY_CURRENT_USER\\SOFTWARE\\Classes\\Varnel.Document]"));

        // With settings saved, a later start leaves their file alone.
        QVERIFY(QFile::remove(m_registry->HivePath()));
        QVERIFY(CVarnelApp::RegisterDocumentType("/usr/bin/varnel"));
        QVERIFY(!QFileInfo::exists(m_registry->HivePath()));
        g_conditions.MatchCase = 1;
        QVERIFY(SaveSettings());
        const QByteArray settings = m_registry->HiveText();
        const auto identity = Identity(m_registry->HivePath());
        QVERIFY(settings.contains("MatchCase") && !settings.contains("Classes"));
        QVERIFY(CVarnelApp::RegisterDocumentType("/opt/varnel/bin/varnel"));
        QVERIFY(m_registry->HiveText() == settings && Identity(m_registry->HivePath()) == identity);

        // A refused key is reported; the entries that could be written still are.
        RegDenyUserKeyForTesting("SOFTWARE\\Classes\\Varnel.Document");
        QVERIFY(!CVarnelApp::RegisterDocumentType("/usr/bin/varnel"));
        QCOMPARE(DefaultValue(kClsid + "\\LocalServer32"), std::string("/usr/bin/varnel"));
    }

    // Only these switches make an automation start, which registers the
    // program and ends without a window.
    void automationStartRegistersAndEndsWithoutAWindow()
    {
        for (const char* arg : {"/Embedding", "-Automation", "/AUTOMATION", "-embedding"})
            QVERIFY2(CVarnelApp::IsAutomationStart({"file.doc", arg}), arg);
        for (const char* arg : {"", "Embedding", "/Embeddings", "/", "--Automation"})
            QVERIFY2(!CVarnelApp::IsAutomationStart({"file.doc", arg}), arg);
        const qsizetype windowsBefore = QApplication::topLevelWidgets().size();
        std::string program = "varnel", arg = "-Embedding";
        char* argv[] = {program.data(), arg.data(), nullptr};
        int argc = 2;
        CVarnelApp app(argc, argv);
        QCOMPARE(app.Run(), 0);
        QCOMPARE(QApplication::topLevelWidgets().size(), windowsBefore);
        // The registered server is this very program.
        CheckEntries(QCoreApplication::applicationFilePath().toStdString());
    }

    void frameworkNeedsAWindowSystem()
    {
        // The window system is up already and reads them no more; the last
        // case leaves the platform these tests run on.
        const char* const names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
        const auto can = [&names](std::vector<const char*> values) {
            for (std::size_t i = 0; i < values.size(); ++i)
                values[i] != nullptr ? qputenv(names[i], values[i]) : qunsetenv(names[i]);
            return CVarnelApp::CanStartFramework();
        };
        const std::vector<bool> got = {can({nullptr, nullptr, nullptr}), can({nullptr, "", nullptr}),
                                       can({nullptr, ":0", nullptr}), can({"offscreen", nullptr, nullptr})};
        QCOMPARE(got, (std::vector<bool>{false, false, true, true}));
    }
};

QTEST_MAIN(SettingsTest)
#include "settings_qtest.moc"
