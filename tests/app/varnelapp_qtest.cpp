// Start-up: the automation switches, the document type's registry entries,
// an automation start that registers and ends without a window, and the
// check that the window system can be reached.
#include "apptestenv.h"

#include "app/varnelapp.h"
#include "app/varneldoc.h"

#include <QApplication>

#include <optional>
#include <string>
#include <vector>

namespace {

const std::string kClsid = std::string("SOFTWARE\\Classes\\CLSID\\") + CVarnelDoc::kClassId;

// The default value of a user-hive key, or "<missing>".
std::string DefaultValue(const std::string& subKey)
{
    HKEY key = nullptr;
    if (RegOpenKey(HKEY_CURRENT_USER, subKey.c_str(), &key) != 0) return "<missing>";
    char buffer[512] = {};
    DWORD size = sizeof buffer;
    DWORD type = 0;
    const LONG result = RegQueryValueEx(key, "", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    return result != 0 || type != REG_SZ ? "<missing>" : std::string(buffer);
}

// The entries every start writes, for a program at `path`.
void CheckEntries(const std::string& path)
{
    QCOMPARE(DefaultValue("SOFTWARE\\Classes\\Varnel.Document"), std::string("Office Document"));
    QCOMPARE(DefaultValue("SOFTWARE\\Classes\\Varnel.Document\\CLSID"), std::string(CVarnelDoc::kClassId));
    QCOMPARE(DefaultValue(kClsid), std::string("Office Document"));
    QCOMPARE(DefaultValue(kClsid + "\\ProgID"), std::string("Varnel.Document"));
    QCOMPARE(DefaultValue(kClsid + "\\LocalServer32"), path);
}

}  // namespace

class VarnelAppTest : public QObject {
    Q_OBJECT
private slots:
    void automationSwitches_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("automation");
        QTest::newRow("none") << QStringList{} << false;
        QTest::newRow("/Embedding") << QStringList{"/Embedding"} << true;
        QTest::newRow("-Automation") << QStringList{"-Automation"} << true;
        QTest::newRow("any case, among others") << QStringList{"file.doc", "/AUTOMATION"} << true;
        QTest::newRow("-embedding") << QStringList{"-embedding"} << true;
        QTest::newRow("a file named so") << QStringList{"Embedding"} << false;
        QTest::newRow("longer word") << QStringList{"/Embeddings"} << false;
        QTest::newRow("bare slash") << QStringList{"/"} << false;
        QTest::newRow("double dash") << QStringList{"--Automation"} << false;
    }
    void automationSwitches()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, automation);
        std::vector<std::string> list;
        for (const QString& arg : args) list.push_back(arg.toStdString());
        QCOMPARE(CVarnelApp::IsAutomationStart(list), automation);
    }

    void documentTypeIsRegisteredInTheUserHiveAtEveryStart()
    {
        CTestRegistry registry;
        HKEY key = nullptr;
        QCOMPARE(RegCreateKey(HKEY_CURRENT_USER, "SOFTWARE\\Classes\\Varnel.Document\\CLSID", &key), 0);
        const char stale[] = "{00000000-0000-0000-0000-000000000000}";
        QCOMPARE(RegSetValueEx(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(stale), sizeof stale), 0);
        RegCloseKey(key);
        QVERIFY(CVarnelApp::RegisterDocumentType("/opt/varnel/varnel"));
        CheckEntries("/opt/varnel/varnel");
        // The entries are in the classes file, for the next start and for people.
        QFile classes(QString::fromStdString(RegClassesHivePath()));
        QVERIFY(classes.open(QIODevice::ReadOnly));
        QVERIFY(classes.readAll().contains("[HKEY_CURRENT_USER\\SOFTWARE\\Classes\\Varnel.Document]"));

        // A refused key is reported; the entries that could be written still are.
        RegDenyUserKeyForTesting("SOFTWARE\\Classes\\Varnel.Document");
        QVERIFY(!CVarnelApp::RegisterDocumentType("/usr/bin/varnel"));
        QCOMPARE(DefaultValue(kClsid + "\\LocalServer32"), std::string("/usr/bin/varnel"));
    }

    void automationStartRegistersAndEndsWithoutAWindow()
    {
        CTestRegistry registry;
        const qsizetype windowsBefore = QApplication::topLevelWidgets().size();
        std::string program = "varnel";
        std::string arg = "-Embedding";
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
        const char* const names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
        std::vector<std::optional<QByteArray>> saved;
        for (const char* name : names)
            saved.push_back(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
        const auto can = [&names](std::vector<const char*> values) {
            for (std::size_t i = 0; i < values.size(); ++i)
                values[i] != nullptr ? qputenv(names[i], values[i]) : qunsetenv(names[i]);
            return CVarnelApp::CanStartFramework();
        };
        const bool none = can({nullptr, nullptr, nullptr});
        const bool emptyDisplay = can({nullptr, "", nullptr});
        const bool display = can({nullptr, ":0", nullptr});
        const bool offscreen = can({"offscreen", nullptr, nullptr});
        for (std::size_t i = 0; i < saved.size(); ++i) saved[i] ? qputenv(names[i], *saved[i]) : qunsetenv(names[i]);
        QCOMPARE((std::vector<bool>{none, emptyDisplay, display, offscreen}),
                 (std::vector<bool>{false, false, true, true}));
    }
};

QTEST_MAIN(VarnelAppTest)
#include "varnelapp_qtest.moc"
