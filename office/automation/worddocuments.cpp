// Documents collection of the built-in Word (see worddocuments.h).
#include "office/automation/worddocuments.h"

#include "office/automation/readahead.h"
#include "office/automation/worddocumentobject.h"
#include "office/word/wordloader.h"
#include "platform/cancellation.h"
#include "platform/codepage.h"
#include "platform/worddispids.h"

namespace office {

CWordDocuments::CWordDocuments(std::shared_ptr<CWordSession> session) : m_session(std::move(session)) {}

HRESULT CWordDocuments::Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                               EXCEPINFO* pExcepInfo, UINT* puArgErr)
{
    const CServerFailureTexts texts{u"Microsoft Word", u"There is not enough memory to open the document.",
                                    u"Word was unable to open the document."};
    return GuardedCall(pExcepInfo, texts, [&]() -> HRESULT {
        switch (dispIdMember) {
        case WordDispid::DocumentsOpen9:
        case WordDispid::DocumentsOpen10:
        case WordDispid::DocumentsOpen11: {
            if ((wFlags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
            const UINT maxArgs = dispIdMember == WordDispid::DocumentsOpen9    ? 12u
                                 : dispIdMember == WordDispid::DocumentsOpen10 ? 15u
                                                                               : 16u;
            return Open(maxArgs, pDispParams, pVarResult, pExcepInfo, puArgErr);
        }
        case WordDispid::DocumentsCount:
            if ((wFlags & DISPATCH_PROPERTYGET) == 0) return DISP_E_MEMBERNOTFOUND;
            if (pVarResult == nullptr) return E_POINTER;
            VariantInit(pVarResult);
            pVarResult->vt = VT_I4;
            pVarResult->lVal = static_cast<LONG>(m_session->Count());
            return S_OK;
        default: return DISP_E_MEMBERNOTFOUND;
        }
    });
}

HRESULT CWordDocuments::Open(UINT maxArgs, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info, UINT* argErr)
{
    CDispArgs args(params);
    if (args.Count() < 1 || args.Count() > maxArgs) return DISP_E_BADPARAMCOUNT;
    std::u16string widePath;
    if (!args.GetString(0, widePath)) {
        if (argErr != nullptr) *argErr = args.Count() - 1;
        return DISP_E_TYPEMISMATCH;
    }
    // ReadOnly, Format, Encoding and the rest change nothing: the file is
    // only ever read, and its bytes say what it is (its name only tells a
    // web page without html tags from a text file).
    const std::string path = WideToAnsi(widePath);
    std::shared_ptr<WordDocument> model;
    ReadError error;
    bool read = false;
    // A file read ahead while the previous one was searched, if it has not
    // changed since.
    std::unique_ptr<ReadAheadResult> ready;
    if (!path.empty()) ready = CReadAhead::Instance().Take(path, false);
    if (ready) {
        read = ready->ok;
        error = ready->error;
        model = std::move(ready->document);
    } else if (!path.empty()) {
        model = ReadWordDocument(path, error);
        read = model != nullptr;
    }
    if (!read) {
        // A reader that gave up because of Stop did not find the file bad.
        platform::ThrowIfStopRequested();
        if (path.empty()) error = {ReadErrorKind::Unreadable, "no file name"};
        return ReportError(
            info, u"Microsoft Word",
            u"Word was unable to read this document. It may be corrupt. (" + Utf8ToUtf16(error.detail) + u")");
    }
    // Its searches tell the read-ahead what to answer ahead on the next
    // documents, when there is a read-ahead to tell.
    if (CReadAhead::Instance().LiveHelpers() > 0) {
        model->SetLogsCalls(true);
        model->SetLogsFinds(true);
    }
    auto* document = new CWordDocumentObject(model, m_session);
    // The session keeps one reference until Close or Quit; the caller gets
    // the one the object was made with.
    m_session->Add(document, std::move(model));
    if (result != nullptr) {
        VariantInit(result);
        result->vt = VT_DISPATCH;
        result->pdispVal = document;
    } else {
        document->Release();
    }
    return S_OK;
}

}  // namespace office
