// The search of one file in Word: sharing pre-check, Documents.Open, one
// Find.Execute per keyword (after the optional spacing clean-up passes),
// Document.Close without saving. Every dispatch object lives in its own
// driver on this function's stack, so every way out releases it.
#include "kestrel/wordsearch.h"

#include "kestrel/searchcommon.h"
#include "platform/cancellation.h"
#include "platform/fileapi.h"

#include <cstring>
#include <exception>
#include <string>

namespace kestrel {

namespace {

// wdOpenFormatAuto for Word's own documents and templates; 5 otherwise
// (text and web pages). The test is on the last three bytes, exactly as
// typed: "DOC" in capitals is not "doc".
LONG OpenFormat(const std::string& path)
{
    if (path.size() >= 3) {
        const std::string tail = path.substr(path.size() - 3);
        if (tail == "doc" || tail == "dot") return 0;
    }
    return 5;
}

// Closes the document unsaved after a failed call. Best effort: a second
// failure here is swallowed, the search of this file has failed already.
void CloseDocumentQuietly(COleDispatchDriver& document)
{
    try {
        COleVariant no(false);
        document.InvokeHelper<void>(WordDispid::DocumentClose, DISPATCH_METHOD, &no, &no, &no);
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
}

}  // namespace

int SearchWordDocument(_ResultFileInfo& info, const CKeywordArray& keywords, _FindedConditions conditions,
                       CWordApplicationDriver& word, int generation)
{
    const long count = keywords.GetSize();
    if (count <= 0) return -2;
    // More keywords than the record has flags for would write past it.
    if (count > kMaxKeywords) return 0;
    std::string path;
    if (!RecordPath(info, path)) return 0;

    // Sharing pre-check: a file another program holds is reported as such
    // and never handed to Word. Any other failure to open is left for
    // Documents.Open to meet.
    HANDLE probe = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_SHARING_VIOLATION) return -1;
    } else {
        CloseHandle(probe);
    }

    COleDispatchDriver documents;
    COleDispatchDriver document;
    COleDispatchDriver selection;
    COleDispatchDriver find;
    bool open = false;
    try {
        // Every argument is a variant built once and passed by reference.
        COleVariant vTrue(true);
        COleVariant vFalse(false);
        COleVariant vMissing = COleVariant::Missing();
        COleVariant vPath(path.c_str());
        COleVariant vEmpty("");
        COleVariant vTab("^t");  // Word's search code for a tab
        COleVariant vTwoSpaces("  ");
        COleVariant vOneSpace(" ");
        COleVariant vReplaceNone(static_cast<SHORT>(0), VT_I2);
        COleVariant vTwo(static_cast<SHORT>(2), VT_I2);  // wdFindAsk, wdReplaceAll
        COleVariant vMatchCase(conditions.MatchCase != 0);
        COleVariant vWholeWord(conditions.MatchWholeWord != 0);
        COleVariant vWildcards(conditions.MatchWildcards != 0);
        COleVariant vSoundsLike(conditions.MatchSoundsLike != 0);
        COleVariant vAllForms(conditions.MatchAllWordForms != 0);
        COleVariant vKeyword;

        documents.AttachDispatch(word.GetDocuments());
        if (documents.m_lpDispatch == nullptr) return 0;

        COleVariant vFormat(OpenFormat(path), VT_I4);
        IDispatch* opened = nullptr;
        switch (generation) {
        case 9:
            opened = documents.InvokeHelper<IDispatch*>(WordDispid::DocumentsOpen9, DISPATCH_METHOD, &vPath, &vFalse,
                                                        &vFalse, &vFalse, &vEmpty, &vEmpty, &vFalse, &vEmpty, &vEmpty,
                                                        &vFormat, &vTrue, &vTrue);
            break;
        case 10:
            opened = documents.InvokeHelper<IDispatch*>(
                WordDispid::DocumentsOpen10, DISPATCH_METHOD, &vPath, &vFalse, &vFalse, &vFalse, &vEmpty, &vEmpty,
                &vFalse, &vEmpty, &vEmpty, &vFormat, &vTrue, &vTrue,
                /*OpenAndRepair*/ &vTrue, /*DocumentDirection*/ &vMissing, /*NoEncodingDialog*/ &vMissing);
            break;
        default:
            opened = documents.InvokeHelper<IDispatch*>(
                WordDispid::DocumentsOpen11, DISPATCH_METHOD, &vPath, &vFalse, &vFalse, &vFalse, &vEmpty, &vEmpty,
                &vFalse, &vEmpty, &vEmpty, &vFormat, &vTrue, &vTrue,
                /*OpenAndRepair*/ &vFalse, /*DocumentDirection*/ &vTrue, /*NoEncodingDialog*/ &vMissing,
                /*XMLTransform*/ &vMissing);
            break;
        }
        if (opened == nullptr) return 0;
        document.AttachDispatch(opened);
        open = true;

        // Word 2000 may show itself when it opens a document.
        if (generation == 9) word.SetVisible(false);

        auto closeDocument = [&] {
            document.InvokeHelper<void>(WordDispid::DocumentClose, DISPATCH_METHOD, &vFalse, &vFalse, &vFalse);
            open = false;
        };

        selection.AttachDispatch(word.GetSelection());
        if (selection.m_lpDispatch == nullptr) {
            closeDocument();
            return 0;
        }
        find.AttachDispatch(selection.GetProperty<IDispatch*>(WordDispid::SelectionFind));
        if (find.m_lpDispatch == nullptr) AfxThrowOleException(E_POINTER);

        // Replaces every `text` in the opened copy with one space.
        auto replaceAll = [&](COleVariant& text) {
            find.InvokeHelper<bool>(WordDispid::FindExecute, DISPATCH_METHOD, &text, /*MatchCase*/ &vTrue, &vFalse,
                                    &vFalse, &vFalse, &vFalse, /*Forward*/ &vTrue, /*Wrap*/ &vTwo,
                                    /*Format*/ &vFalse, /*ReplaceWith*/ &vOneSpace, /*Replace*/ &vTwo, &vFalse, &vFalse,
                                    &vFalse, &vFalse);
        };

        long found = 0;
        for (long i = 0; i < count; ++i) {
            // Stop ends the search between keywords too; the document is
            // closed below like after any failure.
            platform::ThrowIfStopRequested();
            if (conditions.ClearSeriesSpace != 0) {
                // Tabs become spaces, then eleven halvings bring any run of
                // up to 2048 spaces down to one.
                replaceAll(vTab);
                for (int pass = 0; pass < 11; ++pass) replaceAll(vTwoSpaces);
            }
            vKeyword = AnsiToWide(KeywordText(keywords[i]));
            const bool hit = find.InvokeHelper<bool>(
                WordDispid::FindExecute, DISPATCH_METHOD, &vKeyword, &vMatchCase, &vWholeWord, &vWildcards,
                &vSoundsLike, &vAllForms, /*Forward*/ &vTrue, /*Wrap*/ &vTwo, /*Format*/ &vFalse,
                /*ReplaceWith*/ &vEmpty, /*Replace*/ &vReplaceNone, &vFalse, &vFalse, &vFalse, &vFalse);
            info.nKeywordFound[i] = hit ? 1 : 0;
            if (hit) ++found;
        }
        info.nMatchDegree = MatchDegree(found, count);

        closeDocument();
        return 1;
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
        // Out of memory converting a text, Stop, or the like: the file
        // could not be searched, and nothing may leave the library.
    }
    // The document would otherwise stay open in Word until the end of the
    // run; over many damaged files they would pile up.
    if (open) CloseDocumentQuietly(document);
    return 0;
}

}  // namespace kestrel
