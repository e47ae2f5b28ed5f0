// Start-up: the automation switches, the document type's registry entries
// (in classes.reg beside the settings file, which a start never creates or
// rewrites; entries an earlier version left in user.reg are still read), an
// automation start that registers and ends without a window, and the check
// that the window system can be reached.
#include "apptestenv.h"

#include "app/varnelapp.h"
#include "app/varneldoc.h"

#include <QApplication>
#include <QFileInfo>

#include <sys/stat.h>

#include <optional>

namespace {

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

class VarnelAppTest : public QObject {
    Q_OBJECT
private slots:
    void documentTypeGoesToTheClassesFileAtEveryStart()
    {
        CTestRegistry registry;
        const QString classesPath = QFileInfo(registry.HivePath()).dir().filePath(QStringLiteral("classes.reg"));
        QCOMPARE(QString::fromStdString(RegClassesHivePath()), classesPath);
        // An earlier version's entries in user.reg: read, not rewritten.
        QVERIFY(WriteFile(registry.HivePath(), "Windows Registry Editor Version 5.00\r\n\r\n"
                                               "[HKEY_CURRENT_USER\\SOFTWARE\\Classes\\Old.Type]\r\n"
                                               "@=\"From user.reg\"\r\n\r\n"
                                               "[HKEY_CURRENT_USER\\SOFTWARE\\Classes\\Varnel.Document\\CLSID]\r\n"
                                               "@=\"{00000000-0000-0000-0000-000000000000}\"\r\n"));
        const QByteArray before = registry.HiveText();
        QVERIFY(CVarnelApp::RegisterDocumentType("/opt/varnel/varnel"));
        CheckEntries("/opt/varnel/varnel");
        QCOMPARE(DefaultValue("SOFTWARE\\Classes\\Old.Type"), std::string("From user.reg"));
        QCOMPARE(registry.HiveText(), before);
        QFile classes(classesPath);
        QVERIFY(classes.open(QIODevice::ReadOnly));
        QVERIFY(classes.readAll().contains("[HKEY_CURRENT_USER\\SOFTWARE\\Classes\\Varnel.Document]"));

        // With settings saved, a later start leaves their file alone.
        QVERIFY(QFile::remove(registry.HivePath()));
        QVERIFY(CVarnelApp::RegisterDocumentType("/usr/bin/varnel"));
        QVERIFY(!QFileInfo::exists(registry.HivePath()));
        g_conditions.MatchCase = 1;
        QVERIFY(SaveSettings());
        const QByteArray settings = registry.HiveText();
        const auto identity = Identity(registry.HivePath());
        QVERIFY(settings.contains("MatchCase") && !settings.contains("Classes"));
        QVERIFY(CVarnelApp::RegisterDocumentType("/opt/varnel/bin/varnel"));
        QVERIFY(registry.HiveText() == settings && Identity(registry.HivePath()) == identity);
        g_conditions.MatchCase = 0;
        LoadSettings();
        QCOMPARE(g_conditions.MatchCase, 1);

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
        CTestRegistry registry;
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
        const char* const names[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
        std::vector<std::optional<QByteArray>> saved;
        for (const char* name : names)
            saved.push_back(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
        const auto can = [&names](std::vector<const char*> values) {
            for (std::size_t i = 0; i < values.size(); ++i)
                values[i] != nullptr ? qputenv(names[i], values[i]) : qunsetenv(names[i]);
            return CVarnelApp::CanStartFramework();
        };
        const std::vector<bool> got = {can({nullptr, nullptr, nullptr}), can({nullptr, "", nullptr}),
                                       can({nullptr, ":0", nullptr}), can({"offscreen", nullptr, nullptr})};
        for (std::size_t i = 0; i < saved.size(); ++i) saved[i] ? qputenv(names[i], *saved[i]) : qunsetenv(names[i]);
        QCOMPARE(got, (std::vector<bool>{false, false, true, true}));
    }
};

QTEST_MAIN(VarnelAppTest)
#include "varnelapp_qtest.moc"
