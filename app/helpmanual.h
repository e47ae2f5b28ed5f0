// Where the user manual (manual.html) is: installed beside the program as
// <prefix>/share/doc/varnel/manual.html for <prefix>/bin/varnel, or, for a
// program run from its build folder, the source tree's docs/ folder. Help >
// Manual opens what is found with the desktop's browser; when nothing is
// found, the window logs its "help file is not found" line.
#pragma once

#include <QString>
#include <QStringList>

class CHelpManual {
public:
    static constexpr const char* kFileName = "manual.html";

    // The places looked at, in order, for a program in `programDir`.
    static QStringList Candidates(const QString& programDir);
    // The first candidate that is a readable file, else "".
    static QString Find(const QStringList& candidates);
    // The manual of this program, else "".
    static QString Locate();

    // Tests: look only at these places; an empty list restores the normal
    // search.
    static void SetCandidatesForTesting(const QStringList& candidates);
};
