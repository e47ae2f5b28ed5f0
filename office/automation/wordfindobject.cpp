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

void SetResult(VARIANT* result, bool found)
{
    if (result == nullptr) return;
    VariantInit(result);
    result->vt = VT_BOOL;
    result->boolVal = found ? VARIANT_TRUE : VARIANT_FALSE;
}

}  // namespace

CWordFindObject::CWordFindObject(std::shared_ptr<WordDocument> document, std::shared_ptr<FindPlanCache> plans,
                                 std::shared_ptr<FindCallMemo> calls)
    : m_document(std::move(document)), m_plans(std::move(plans)),
      m_calls(calls ? std::move(calls) : std::make_shared<FindCallMemo>())
{
}

CWordFindObject::~CWordFindObject()
{
    m_calls->KeepSequence(std::move(m_sequence), m_generation);
}

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
    if (m_sequence.empty()) m_generation = m_calls->Generation();
    const std::size_t call = m_sequence.size();
    const FindCallMemo::Entry* entry = m_calls->Expected(call);
    if (entry == nullptr || !FindCallMemo::Matches(params, *entry)) {
        // Not the list that came here last time: the memo's, or decoded now.
        auto known = m_calls->Find(params);
        if (!known) {
            auto fresh = std::make_shared<PreparedFind>();
            const HRESULT hr = Decode(params, info, argErr, *fresh);
            if (FAILED(hr)) return hr;
            known = m_calls->Remember(params, fresh);
            if (!known) {
                // Not remembered: run as decoded.
                if (call < FindCallMemo::kMaxSequence) m_sequence.push_back(nullptr);
                SetResult(result, ExecuteFind(*m_document, *fresh->plan, fresh->replace, fresh->replaceWith));
                return S_OK;
            }
        }
        // The memo holds it until it next remembers a list: not before the
        // next call.
        entry = known.get();
    }
    if (call < FindCallMemo::kMaxSequence) m_sequence.push_back(entry);
    const PreparedFind& prepared = *entry->call;
    SetResult(result, ExecuteFind(*m_document, *prepared.plan, prepared.replace, prepared.replaceWith));
    return S_OK;
}

HRESULT CWordFindObject::Decode(DISPPARAMS* params, EXCEPINFO* info, UINT* argErr, PreparedFind& out)
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
    if (!args.GetString(kReplaceWith, out.replaceWith)) return BadArg(argErr, args.Count(), kReplaceWith);
    long replace = 0;
    if (!args.GetLong(kReplace, replace)) return BadArg(argErr, args.Count(), kReplace);
    switch (replace) {
    case 0: out.replace = ReplaceMode::None; break;
    case 1: out.replace = ReplaceMode::One; break;
    case 2: out.replace = ReplaceMode::All; break;
    default: return ReportError(info, u"Microsoft Word", u"The Replace argument is out of range.", E_INVALIDARG);
    }
    out.plan = m_plans ? m_plans->Get(request.findText, request.options)
                       : CompileFind(request.findText, request.options);
    return S_OK;
}

}  // namespace office
