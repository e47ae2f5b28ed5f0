// Start-up of the program (see varnelapp.h).
#include "app/varnelapp.h"

#include "app/appicons.h"
#include "app/mainframe.h"
#include "app/varneldoc.h"
#include "office/automation/builtinoffice.h"
#include "platform/registry.h"
#include "platform/stringtable.h"

#include <QApplication>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {

bool EqualsNoCase(const std::string& a, const char* b)
{
    const std::string other(b);
    return a.size() == other.size() && std::equal(a.begin(), a.end(), other.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Sets the default value of `subKey` (created when missing) to `text`.
bool WriteDefaultValue(const std::string& subKey, const std::string& text)
{
    HKEY key = nullptr;
    if (RegCreateKey(HKEY_CURRENT_USER, subKey.c_str(), &key) != 0) return false;
    const LONG result = RegSetValueEx(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                      static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
    return result == 0;
}

std::string ProgramPath(const char* argv0)
{
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) return self.string();
    return argv0 != nullptr ? std::string(argv0) : std::string();
}

}  // namespace

CVarnelApp::CVarnelApp(int& argc, char** argv) : m_argc(argc), m_argv(argv) {}

bool CVarnelApp::IsAutomationStart(const std::vector<std::string>& args)
{
    return std::any_of(args.begin(), args.end(), [](const std::string& arg) {
        if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) return false;
        const std::string word = arg.substr(1);
        return EqualsNoCase(word, "Embedding") || EqualsNoCase(word, "Automation");
    });
}

bool CVarnelApp::RegisterDocumentType(const std::string& programPath)
{
    const std::string classes = "SOFTWARE\\Classes\\";
    const std::string progId = CVarnelDoc::kProgId;
    const std::string classKey = classes + "CLSID\\" + CVarnelDoc::kClassId;
    bool ok = true;
    // Every write is tried, so one refused entry does not hide the others.
    ok = WriteDefaultValue(classes + progId, CVarnelDoc::kTypeName) && ok;
    ok = WriteDefaultValue(classes + progId + "\\CLSID", CVarnelDoc::kClassId) && ok;
    ok = WriteDefaultValue(classKey, CVarnelDoc::kTypeName) && ok;
    ok = WriteDefaultValue(classKey + "\\ProgID", progId) && ok;
    ok = WriteDefaultValue(classKey + "\\LocalServer32", programPath) && ok;
    return ok;
}

bool CVarnelApp::CanStartFramework()
{
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0';
    };
    return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
}

int CVarnelApp::Run()
{
    std::vector<std::string> args;
    for (int i = 1; i < m_argc; ++i) args.emplace_back(m_argv[i] != nullptr ? m_argv[i] : "");
    const std::string programPath = ProgramPath(m_argc > 0 ? m_argv[0] : nullptr);

    // Every start, with or without a window, brings the document type's
    // entries up to date. A hive that cannot be written does not keep the
    // program from running: searching needs none of these entries.
    if (!RegisterDocumentType(programPath))
        std::fprintf(stderr, "varnel: the document type could not be registered in %s\n", RegClassesHivePath().c_str());
    if (IsAutomationStart(args)) return 0;

    // Without a window system the framework would abort; the user gets the
    // program's own message on the terminal instead.
    if (!CanStartFramework()) {
        std::fprintf(stderr, "%s\n", LoadString(IDS_OLE_INIT_FAILED).c_str());
        return 1;
    }

    QApplication app(m_argc, m_argv);
    QApplication::setApplicationName(QString::fromUtf8(LoadString(IDS_APP_NAME).c_str()));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    QApplication::setWindowIcon(ProgramIcon());

    office::RegisterBuiltinOffice();

    CVarnelDoc document;
    if (!document.OnNewDocument()) return 1;
    CMainFrame frame;
    frame.show();
    return QApplication::exec();
}
