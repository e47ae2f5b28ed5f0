// The application: start-up of the program. It registers the
// "Varnel.Document" type in the user's registry hive (its classes file,
// beside the settings file), installs the
// built-in Office, and shows the main window. Started by an automation
// client (/Embedding, /Automation) it registers the type and ends without a
// window, since no automation client can reach the program here.
#pragma once

#include <string>
#include <vector>

class CVarnelApp {
public:
    CVarnelApp(int& argc, char** argv);

    // Runs the program; the result is the process's exit code.
    int Run();

    // Whether one of `args` (the program's name not included) asks for an
    // automation start: /Embedding, /Automation, -Embedding or -Automation,
    // in any letter case.
    static bool IsAutomationStart(const std::vector<std::string>& args);
    // Writes the document type's entries under the user hive's
    // SOFTWARE\Classes key: the type identifier with its name and class
    // identifier, and the class with its name, type identifier and server
    // program `programPath`. Every entry is tried; returns false when any
    // could not be written.
    static bool RegisterDocumentType(const std::string& programPath);
    // Whether the window system can be reached at all; without it the GUI
    // framework cannot start.
    static bool CanStartFramework();

private:
    int& m_argc;
    char** m_argv;
};
