// The match report of one file: for each keyword whether the file holds it
// and where, with up to a few hits, each with its place (for documents,
// text files and web pages the story and paragraph number; for workbooks
// the sheet and cell) and a snippet of the paragraph or cell around it.
//
// The file is opened as the search opens it (the built-in Word for
// documents, text and web pages, the built-in Excel for workbooks, with
// the same readers and budget), spacing is cleared the same way, and each
// keyword goes through the same find function the search's Find.Execute
// and Range.Find call, so a keyword is reported found exactly when the
// search finds it. Used by the window's preview and by varnel-find.
#pragma once

#include "kestrel/officerecords.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace report {

struct MatchHit {
    std::string place;         // "Main text, paragraph 12", "Budget!C12", ...
    std::string snippet;       // one line, UTF-8
    std::size_t hitStart = 0;  // byte range of the hit in `snippet`
    std::size_t hitEnd = 0;
};

struct KeywordMatches {
    std::string keyword;  // as typed (system code page)
    bool found = false;
    std::vector<MatchHit> hits;
};

struct MatchReport {
    bool opened = false;  // false: `error` says why the file could not be read
    std::string error;
    std::int32_t degree = 0;  // percent of keywords found, as the search counts it
    std::vector<KeywordMatches> keywords;
};

constexpr std::size_t kDefaultHits = 3;

// `fileKind` is the kind the search gave the file (FILE_KIND_EXCEL goes to
// the built-in Excel, every other kind to the built-in Word). Never throws
// for a bad file; a stop request (the search's, or the calling thread's
// platform::ThreadStopScope) ends it with platform::OperationCancelled.
MatchReport BuildMatchReport(const std::string& path, std::int32_t fileKind, const CKeywordArray& keywords,
                             const _FindedConditions& conditions, std::size_t maxHits = kDefaultHits);

}  // namespace report
