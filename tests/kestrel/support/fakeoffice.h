// Recording fakes of Word and Excel for the Kestrel and search tests.
// Registered under "Word.Application" and "Excel.Application", they answer
// the members Kestrel and the search driver call, record every Invoke
// (object, DISPID, call kind and each argument in declared order), can be
// told to fail a call, and count the applications started and the
// documents and workbooks left open. They find either the texts a test
// names or, with readFiles, what the opened file's bytes contain.
#pragma once

#include "platform/oleauto.h"

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

struct FakeCall {
    std::string object;  // "WordApp", "Documents", "Document", ...
    DISPID dispid = 0;
    std::string kind;               // "get", "put", "call", or "flags:N/named:M" for anything else
    std::vector<std::string> args;  // "&" prefix when by reference
    // "Documents.0xF call(&str:a.doc, &bool:false, ...)"
    std::string Describe() const;
};

struct FakeOffice {
    std::vector<FakeCall> calls;
    int wordStarts = 0, excelStarts = 0;

    // Fails the call with this 1-based number (0: none), or any call `failIf`
    // picks; the server describes the failure in EXCEPINFO (a plain failure
    // code is held by the automation runtime's tests).
    int failAt = 0;
    std::function<bool(const FakeCall&)> failIf;

    // Word: Find.Execute without replacement answers true for these texts.
    std::set<std::u16string> wordFinds;
    int documentsOpen = 0;       // opened and not yet closed

    // Excel: the cell texts of every sheet; Range.Find answers a range when
    // some cell contains the text (ASCII case folded unless MatchCase).
    std::vector<std::vector<std::u16string>> sheets;
    int workbooksOpen = 0;

    // Opens read the file (failing for anything that is not a readable
    // file, or whose name says "ruined"), and finds look in its text.
    bool readFiles = false;
    std::u16string fileText;
    std::function<void(const std::string& path)> onOpen;  // called at every open

    std::vector<std::string> Described() const;
    // Calls whose description starts with `prefix`.
    int Count(const std::string& prefix) const;
    // Documents.Open or Workbooks.Open of this path.
    int Opens(const std::string& path) const;
};

// Registers fakes sharing `office` under the real ProgIDs; every object
// created afterwards records into it.
void InstallFakeWord(const std::shared_ptr<FakeOffice>& office);
void InstallFakeExcel(const std::shared_ptr<FakeOffice>& office);
void RemoveFakes();
