// Find.Execute of the built-in Word (see wordfindobject.h).
#include "office/automation/wordfindobject.h"

#include "office/word/wordfind.h"
#include "platform/worddispids.h"

namespace office {

namespace {

// Execute's arguments, in declared order.
enum ExecuteArg : UINT {
    kFindText,
    kMatchCase,
    kMatchWholeWord,
    kMatchWildcards,
    kMatchSoundsLike,
    kMatchAllWordForms,
    kForward,
    kWrap,
    kFormat,
    kReplaceWith,
    kReplace,
    kMatchKashida,
    kMatchDiacritics,
    kMatchAlefHamza,
    kMatchControl,
    kExecuteArgCount
};

HRESULT BadArg(UINT* argErr, UINT count, UINT index)
{
    // COM counts the erring argument from the end of rgvarg's order.
    if (argErr != nullptr && index < count) *argErr = count - 1 - index;
    return DISP_E_TYPEMISMATCH;
}

}  // namespace

CWordFindObject::CWordFindObject(std::shared_ptr<WordDocument> document) : m_document(std::move(document)) {}

HRESULT CWordFindObject::Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                EXCEPINFO* pExcepInfo, UINT* puArgErr)
{
    if (dispIdMember != WordDispid::FindExecute) return DISP_E_MEMBERNOTFOUND;
    if ((wFlags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
    const CServerFailureTexts texts{u"Microsoft Word", u"There is not enough memory to finish the search.",
                                    u"The search could not be finished."};
    return GuardedCall(pExcepInfo, texts, [&] { return Execute(pDispParams, pVarResult, pExcepInfo, puArgErr); });
}

HRESULT CWordFindObject::Execute(DISPPARAMS* params, VARIANT* result, EXCEPINFO* info, UINT* argErr)
{
    CDispArgs args(params);
    if (args.Count() > kExecuteArgCount) return DISP_E_BADPARAMCOUNT;
    FindRequest request;
    if (!args.GetString(kFindText, request.findText)) return BadArg(argErr, args.Count(), kFindText);
    struct {
        UINT index;
        bool* target;
    } flags[] = {
        {kMatchCase, &request.options.matchCase},
        {kMatchWholeWord, &request.options.matchWholeWord},
        {kMatchWildcards, &request.options.matchWildcards},
        {kMatchSoundsLike, &request.options.matchSoundsLike},
        {kMatchAllWordForms, &request.options.matchAllWordForms},
    };
    for (auto& f : flags) {
        if (!args.GetBool(f.index, *f.target)) return BadArg(argErr, args.Count(), f.index);
    }
    // Forward, Wrap, Format and the right-to-left switches change nothing:
    // every search covers the whole document and there is no formatting to
    // match. They must still be of a sensible type.
    for (UINT index : {kForward, kFormat, kMatchKashida, kMatchDiacritics, kMatchAlefHamza, kMatchControl}) {
        bool ignored = false;
        if (!args.GetBool(index, ignored)) return BadArg(argErr, args.Count(), index);
    }
    long wrap = 0;
    if (!args.GetLong(kWrap, wrap)) return BadArg(argErr, args.Count(), kWrap);
    if (!args.GetString(kReplaceWith, request.replaceWith)) return BadArg(argErr, args.Count(), kReplaceWith);
    long replace = 0;
    if (!args.GetLong(kReplace, replace)) return BadArg(argErr, args.Count(), kReplace);
    switch (replace) {
    case 0: request.replace = ReplaceMode::None; break;
    case 1: request.replace = ReplaceMode::One; break;
    case 2: request.replace = ReplaceMode::All; break;
    default: return ReportError(info, u"Microsoft Word", u"The Replace argument is out of range.", E_INVALIDARG);
    }
    const bool found = ExecuteFind(*m_document, request);
    if (result != nullptr) {
        VariantInit(result);
        result->vt = VT_BOOL;
        result->boolVal = found ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return S_OK;
}

}  // namespace office
