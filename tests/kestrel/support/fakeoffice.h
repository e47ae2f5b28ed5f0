// Recording fakes of Word and Excel for the Kestrel tests. Registered under
// "Word.Application" and "Excel.Application", they answer the members
// Kestrel calls, record every Invoke (object, DISPID, call kind and each
// argument's type and value in declared order), can be told to fail at the
// k-th call, and count the documents and workbooks left open.
#pragma once

#include "platform/oleauto.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

struct FakeCall {
    std::string object;  // "WordApp", "Documents", "Document", ...
    DISPID dispid = 0;
    std::string kind;    // "get", "put", "call", or "flags:N" for anything else
    std::vector<std::string> args;  // "&" prefix when by reference
    // "Documents.0xF call(&str:a.doc, &bool:false, ...)"
    std::string Describe() const;
};

struct FakeOffice {
    std::vector<FakeCall> calls;

    // Fails the call with this 1-based number (0: none). With
    // failWithException the server describes the failure in EXCEPINFO
    // (DISP_E_EXCEPTION), otherwise it returns failHresult plainly.
    int failAt = 0;
    bool failWithException = true;
    HRESULT failHresult = E_FAIL;

    // Word: Find.Execute without replacement answers true for these texts.
    std::set<std::u16string> wordFinds;
    bool noDocuments = false;   // Application.Documents gives nothing
    bool openGivesNone = false; // Documents.Open / Workbooks.Open give nothing
    bool noSelection = false;   // Application.Selection gives nothing
    int documentsOpen = 0;      // opened and not yet closed

    // Excel: the cell texts of every sheet; Range.Find answers a range when
    // some cell contains the text (ASCII case folded unless MatchCase).
    std::vector<std::vector<std::u16string>> sheets;
    bool noWorkbooks = false;
    int workbooksOpen = 0;

    // Every recorded call, described, in order.
    std::vector<std::string> Described() const;
    // Recorded calls from index `from` on.
    std::vector<std::string> DescribedFrom(std::size_t from) const;
};

// Registers fakes sharing `office` under the real ProgIDs; every object
// created afterwards records into it.
void InstallFakeWord(const std::shared_ptr<FakeOffice>& office);
void InstallFakeExcel(const std::shared_ptr<FakeOffice>& office);
void RemoveFakes();
