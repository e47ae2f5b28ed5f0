// The document type registered at every start goes to classes.reg beside
// the settings file: user.reg is neither created nor rewritten by a start,
// and classes entries an earlier version left in user.reg are still read.
#include "apptestenv.h"

#include "app/varnelapp.h"
#include "app/varneldoc.h"

#include <QFileInfo>

#include <sys/stat.h>

namespace {

std::string ClassesDefault(const std::string& subKey)
{
    HKEY key = nullptr;
    if (RegOpenKey(HKEY_CURRENT_USER, subKey.c_str(), &key) != 0) return "<missing>";
    char buffer[256] = {};
    DWORD size = sizeof buffer;
    const LONG rc = RegQueryValueEx(key, "", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    return rc == 0 ? std::string(buffer) : "<missing>";
}

// Inode and change time: a rename over the file or a rewrite changes them.
std::pair<ino_t, long long> Identity(const QString& path)
{
    struct stat st {};
    if (stat(path.toLocal8Bit().constData(), &st) != 0) return {0, -1};
    return {st.st_ino, st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec};
}

}  // namespace

class RegistrationFileTest : public QObject {
    Q_OBJECT
private slots:
    void startLeavesTheSettingsFileAlone()
    {
        CTestRegistry registry;
        const QString classesPath = QFileInfo(registry.HivePath()).dir().filePath(QStringLiteral("classes.reg"));
        QCOMPARE(QString::fromStdString(RegClassesHivePath()), classesPath);

        // First start: no settings file appears.
        QVERIFY(CVarnelApp::RegisterDocumentType("/usr/bin/varnel"));
        QVERIFY(!QFileInfo::exists(registry.HivePath()));
        QVERIFY(QFileInfo::exists(classesPath));

        // With settings saved, later starts rewrite only the classes file.
        g_conditions.MatchCase = 1;
        QVERIFY(SaveSettings());
        const QByteArray settings = registry.HiveText();
        const auto identity = Identity(registry.HivePath());
        QVERIFY(settings.contains("MatchCase") && !settings.contains("Classes"));
        QVERIFY(CVarnelApp::RegisterDocumentType("/opt/varnel/bin/varnel"));
        QCOMPARE(registry.HiveText(), settings);
        QVERIFY(Identity(registry.HivePath()) == identity);
        QCOMPARE(ClassesDefault(std::string("SOFTWARE\\Classes\\CLSID\\") + CVarnelDoc::kClassId + "\\LocalServer32"),
                 std::string("/opt/varnel/bin/varnel"));
        // The settings are read back from their own file as before.
        g_conditions.MatchCase = 0;
        LoadSettings();
        QCOMPARE(g_conditions.MatchCase, 1);
    }

    void entriesOfAnEarlierVersionInTheSettingsFileAreStillRead()
    {
        CTestRegistry registry;
        QVERIFY(WriteFile(registry.HivePath(), "Windows Registry Editor Version 5.00\r\n\r\n"
                                               "[HKEY_CURRENT_USER\\SOFTWARE\\Classes\\Old.Type]\r\n"
                                               "@=\"From user.reg\"\r\n\r\n"
                                               "[HKEY_CURRENT_USER\\SOFTWARE\\Classes\\Varnel.Document]\r\n"
                                               "@=\"Old name\"\r\n"));
        const QByteArray before = registry.HiveText();
        QCOMPARE(ClassesDefault("SOFTWARE\\Classes\\Varnel.Document"), std::string("Old name"));
        QVERIFY(CVarnelApp::RegisterDocumentType("/usr/bin/varnel"));
        // The new entry wins; the old file is not touched; what only it holds
        // is still found.
        QCOMPARE(ClassesDefault("SOFTWARE\\Classes\\Varnel.Document"), std::string("Office Document"));
        QCOMPARE(ClassesDefault("SOFTWARE\\Classes\\Old.Type"), std::string("From user.reg"));
        QCOMPARE(registry.HiveText(), before);
    }
};

QTEST_MAIN(RegistrationFileTest)
#include "registrationfile_qtest.moc"
