// Start-up: the automation switches, the document type's registry entries,
// an automation start that registers and ends without a window, and the
// check that the window system can be reached.
#include "apptestenv.h"

#include "app/varnelapp.h"
#include "app/varneldoc.h"
#include "platform/registry.h"

#include <QApplication>
#include <QFile>
#include <QTest>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

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
    if (result != 0 || type != REG_SZ) return "<missing>";
    return std::string(buffer);
}

// Sets or removes an environment variable for the length of a test.
class CEnvOverride {
public:
    CEnvOverride(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name)) m_old = old, m_had = true;
        if (value != nullptr)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~CEnvOverride()
    {
        if (m_had)
            setenv(m_name.c_str(), m_old.c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }
    CEnvOverride(const CEnvOverride&) = delete;
    CEnvOverride& operator=(const CEnvOverride&) = delete;

private:
    std::string m_name;
    std::string m_old;
    bool m_had = false;
};

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
        QTest::newRow("/Automation") << QStringList{"/Automation"} << true;
        QTest::newRow("-Embedding") << QStringList{"-Embedding"} << true;
        QTest::newRow("-Automation") << QStringList{"-Automation"} << true;
        QTest::newRow("any case") << QStringList{"/embedding"} << true;
        QTest::newRow("among others") << QStringList{"file.doc", "-AUTOMATION"} << true;
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

    void documentTypeIsRegisteredInTheUserHive()
    {
        CTestRegistry registry;
        QVERIFY(CVarnelApp::RegisterDocumentType("/opt/varnel/varnel"));
        const std::string clsid = CVarnelDoc::kClassId;
        QCOMPARE(DefaultValue("SOFTWARE\\Classes\\Varnel.Document"), std::string("Office Document"));
        QCOMPARE(DefaultValue("SOFTWARE\\Classes\\Varnel.Document\\CLSID"), clsid);
        QCOMPARE(DefaultValue("SOFTWARE\\Classes\\CLSID\\" + clsid), std::string("Office Document"));
        QCOMPARE(DefaultValue("SOFTWARE\\Classes\\CLSID\\" + clsid + "\\ProgID"), std::string("Varnel.Document"));
        QCOMPARE(DefaultValue("SOFTWARE\\Classes\\CLSID\\" + clsid + "\\LocalServer32"),
                 std::string("/opt/varnel/varnel"));
        // The entries are in the hive file, for the next start and for people.
        QFile hive(registry.HivePath());
        QVERIFY(hive.open(QIODevice::ReadOnly));
        QVERIFY(hive.readAll().contains("[HKEY_CURRENT_USER\\SOFTWARE\\Classes\\Varnel.Document]"));
    }

    void everyStartRewritesTheEntries()
    {
        CTestRegistry registry;
        HKEY key = nullptr;
        QCOMPARE(RegCreateKey(HKEY_CURRENT_USER, "SOFTWARE\\Classes\\Varnel.Document\\CLSID", &key), 0);
        const char stale[] = "{00000000-0000-0000-0000-000000000000}";
        QCOMPARE(RegSetValueEx(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(stale), sizeof stale), 0);
        RegCloseKey(key);
        QVERIFY(CVarnelApp::RegisterDocumentType("/usr/bin/varnel"));
        QCOMPARE(DefaultValue("SOFTWARE\\Classes\\Varnel.Document\\CLSID"), std::string(CVarnelDoc::kClassId));
    }

    void refusedKeyIsReported()
    {
        CTestRegistry registry;
        RegDenyUserKeyForTesting("SOFTWARE\\Classes\\Varnel.Document");
        QVERIFY(!CVarnelApp::RegisterDocumentType("/usr/bin/varnel"));
        // The entries that could be written still are.
        QCOMPARE(DefaultValue(std::string("SOFTWARE\\Classes\\CLSID\\") + CVarnelDoc::kClassId + "\\ProgID"),
                 std::string("Varnel.Document"));
    }

    void automationStartRegistersAndEndsWithoutAWindow()
    {
        for (const char* option : {"/Embedding", "/Automation", "-Embedding", "-Automation"}) {
            CTestRegistry registry;
            const int windowsBefore = static_cast<int>(QApplication::topLevelWidgets().size());
            std::string program = "varnel";
            std::string arg = option;
            char* argv[] = {program.data(), arg.data(), nullptr};
            int argc = 2;
            CVarnelApp app(argc, argv);
            QCOMPARE(app.Run(), 0);
            QCOMPARE(static_cast<int>(QApplication::topLevelWidgets().size()), windowsBefore);
            QCOMPARE(DefaultValue("SOFTWARE\\Classes\\Varnel.Document"), std::string("Office Document"));
            // The registered server is this very program.
            QVERIFY(DefaultValue(std::string("SOFTWARE\\Classes\\CLSID\\") + CVarnelDoc::kClassId +
                                 "\\LocalServer32") != "<missing>");
        }
    }

    void frameworkNeedsAWindowSystem()
    {
        {
            CEnvOverride platform("QT_QPA_PLATFORM", nullptr);
            CEnvOverride x("DISPLAY", nullptr);
            CEnvOverride wayland("WAYLAND_DISPLAY", nullptr);
            QVERIFY(!CVarnelApp::CanStartFramework());
            CEnvOverride empty("DISPLAY", "");
            QVERIFY(!CVarnelApp::CanStartFramework());
            CEnvOverride display("DISPLAY", ":0");
            QVERIFY(CVarnelApp::CanStartFramework());
        }
        CEnvOverride x("DISPLAY", nullptr);
        CEnvOverride offscreen("QT_QPA_PLATFORM", "offscreen");
        QVERIFY(CVarnelApp::CanStartFramework());
    }
};

QTEST_MAIN(VarnelAppTest)
#include "varnelapp_qtest.moc"
