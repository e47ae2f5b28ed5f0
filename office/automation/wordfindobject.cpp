// Find.Execute of the built-in Word (see wordfindobject.h).
#include "office/automation/wordfindobject.h"

#include "office/word/wordfind.h"
#include "platform/worddispids.h"

#include <cstring>

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

// The value of a scalar argument as bits, by-reference values looked
// through; false for a kind that is not compared (then the call is decoded).
inline bool ScalarBits(const VARIANT* v, std::uint64_t& bits)
{
    const bool ref = (v->vt & VT_BYREF) != 0;
    // Every by-reference member shares the union's one pointer.
    if (ref && v->plVal == nullptr) return false;
    switch (v->vt & ~VT_BYREF) {
    case VT_BOOL: bits = static_cast<std::uint16_t>(ref ? *v->pboolVal : v->boolVal); return true;
    case VT_I2: bits = static_cast<std::uint16_t>(ref ? *v->piVal : v->iVal); return true;
    case VT_I4: bits = static_cast<std::uint32_t>(ref ? *v->plVal : v->lVal); return true;
    case VT_ERROR: bits = static_cast<std::uint32_t>(ref ? *v->pscode : v->scode); return true;
    case VT_R8: {
        const double d = ref ? *v->pdblVal : v->dblVal;
        std::memcpy(&bits, &d, sizeof d);
        return true;
    }
    default: return false;
    }
}

// The argument as CDispArgs sees it: a variant passed by reference to a
// variant is looked through once.
const VARIANT* RawArg(const DISPPARAMS* params, UINT index)
{
    const VARIANT* v = &params->rgvarg[params->cArgs - 1 - index];
    return v->vt == (VT_BYREF | VT_VARIANT) ? v->pvarVal : v;
}

BSTR BstrOf(const VARIANT* v)
{
    if ((v->vt & VT_BYREF) == 0) return v->bstrVal;
    return v->pbstrVal != nullptr ? *v->pbstrVal : nullptr;
}

}  // namespace

CWordFindObject::CWordFindObject(std::shared_ptr<WordDocument> document, std::shared_ptr<FindPlanCache> plans)
    : m_document(std::move(document)), m_plans(std::move(plans))
{
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

bool CWordFindObject::ReadRaw(const DISPPARAMS* params, RawCall& out)
{
    if (params == nullptr || params->rgvarg == nullptr || params->cArgs > kMaxArgs) return false;
    out.count = params->cArgs;
    for (UINT i = 0; i < out.count; ++i) {
        const VARIANT* v = RawArg(params, i);
        if (v == nullptr) return false;
        out.types[i] = v->vt;
        out.values[i] = 0;
        if ((v->vt & ~VT_BYREF) == VT_BSTR) {
            out.texts[i].assign(BstrView(BstrOf(v)));
        } else {
            out.texts[i].clear();
            if (!ScalarBits(v, out.values[i])) return false;
        }
    }
    return true;
}

bool CWordFindObject::SameCall(const RawCall& a, const DISPPARAMS* params)
{
    if (params == nullptr || params->rgvarg == nullptr || params->cArgs != a.count) return false;
    // One pass: the find text, which tells the searcher's calls apart, is
    // the first argument; a call that matches (a clearing pass, many times
    // a document) is looked through once.
    for (UINT i = 0; i < a.count; ++i) {
        const VARIANT* v = RawArg(params, i);
        if (v == nullptr || v->vt != a.types[i]) return false;
        if ((v->vt & ~VT_BYREF) == VT_BSTR) {
            if (BstrView(BstrOf(v)) != a.texts[i]) return false;
            continue;
        }
        std::uint64_t bits = 0;
        if (!ScalarBits(v, bits) || bits != a.values[i]) return false;
    }
    return true;
}

HRESULT CWordFindObject::Execute(DISPPARAMS* params, VARIANT* result, EXCEPINFO* info, UINT* argErr)
{
    const Decoded* call = nullptr;
    for (const Decoded& d : m_recent) {
        if (d.used && SameCall(d.raw, params)) {
            call = &d;
            break;
        }
    }
    if (call == nullptr) {
        Decoded fresh;
        const HRESULT hr = Decode(params, info, argErr, fresh);
        if (FAILED(hr)) return hr;
        fresh.used = ReadRaw(params, fresh.raw);
        Decoded& slot = m_recent[m_nextSlot];
        m_nextSlot = (m_nextSlot + 1) % m_recent.size();
        slot = std::move(fresh);
        call = &slot;
    }
    // The plan is held here: a later call may reuse the slot.
    const std::shared_ptr<FindPlan> plan = call->plan;
    const bool found = ExecuteFind(*m_document, *plan, call->replace, call->replaceWith);
    if (result != nullptr) {
        VariantInit(result);
        result->vt = VT_BOOL;
        result->boolVal = found ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return S_OK;
}

HRESULT CWordFindObject::Decode(DISPPARAMS* params, EXCEPINFO* info, UINT* argErr, Decoded& out)
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
