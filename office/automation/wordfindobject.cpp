// Find.Execute of the built-in Word (see wordfindobject.h).
#include "office/automation/wordfindobject.h"

#include "office/word/wordfind.h"
#include "platform/worddispids.h"

#include <algorithm>
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

void SetResult(VARIANT* result, bool found)
{
    if (result == nullptr) return;
    VariantInit(result);
    result->vt = VT_BOOL;
    result->boolVal = found ? VARIANT_TRUE : VARIANT_FALSE;
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

bool CWordFindObject::Encode(const DISPPARAMS* params, std::u16string& out)
{
    if (params == nullptr || params->rgvarg == nullptr || params->cArgs > kMaxArgs) return false;
    // Every call goes through here: the arguments are looked at once, and
    // the string is sized once and written in place.
    const UINT count = params->cArgs;
    // Filled below for each argument before use; left uninitialised, as
    // clearing them would cost as much as the rest.
    std::u16string_view texts[kMaxArgs];
    std::uint64_t bits[kMaxArgs];
    VARTYPE types[kMaxArgs];
    std::size_t size = 1;
    for (UINT i = 0; i < count; ++i) {
        const VARIANT* v = RawArg(params, i);
        if (v == nullptr) return false;
        types[i] = v->vt;
        if ((v->vt & ~VT_BYREF) == VT_BSTR) {
            texts[i] = BstrView(BstrOf(v));
            if (texts[i].size() > 0xFFFFFFFFu) return false;
            size += 3 + texts[i].size();
        } else {
            if (!ScalarBits(v, bits[i])) return false;
            size += 5;
        }
    }
    out.resize(size);
    char16_t* p = out.data();
    *p++ = static_cast<char16_t>(count);
    for (UINT i = 0; i < count; ++i) {
        *p++ = static_cast<char16_t>(types[i]);
        if ((types[i] & ~VT_BYREF) == VT_BSTR) {
            const auto length = static_cast<std::uint32_t>(texts[i].size());
            *p++ = static_cast<char16_t>(length >> 16);
            *p++ = static_cast<char16_t>(length & 0xFFFFu);
            if (length != 0) std::memcpy(p, texts[i].data(), length * sizeof(char16_t));
            p += length;
        } else {
            std::memcpy(p, &bits[i], sizeof bits[i]);
            p += 4;
        }
    }
    return true;
}

bool CWordFindObject::Matches(const DISPPARAMS* params, std::u16string_view encoded)
{
    // Reads the list as Encode writes it, and stops at the first
    // difference: the find text, which tells the searcher's calls apart,
    // comes first.
    if (params == nullptr || params->rgvarg == nullptr || encoded.empty() || encoded[0] != params->cArgs) return false;
    std::size_t at = 1;
    for (UINT i = 0; i < params->cArgs; ++i) {
        const VARIANT* v = RawArg(params, i);
        if (v == nullptr || at >= encoded.size() || encoded[at] != static_cast<char16_t>(v->vt)) return false;
        ++at;
        if ((v->vt & ~VT_BYREF) == VT_BSTR) {
            const std::u16string_view text = BstrView(BstrOf(v));
            if (encoded.size() - at < 2) return false;
            const std::size_t length = (std::size_t{encoded[at]} << 16) | encoded[at + 1];
            at += 2;
            if (length != text.size() || encoded.size() - at < length) return false;
            if (length != 0 && std::memcmp(encoded.data() + at, text.data(), length * sizeof(char16_t)) != 0) {
                return false;
            }
            at += length;
            continue;
        }
        std::uint64_t bits = 0;
        std::uint64_t kept = 0;
        if (!ScalarBits(v, bits) || encoded.size() - at < 4) return false;
        std::memcpy(&kept, encoded.data() + at, sizeof kept);
        if (kept != bits) return false;
        at += 4;
    }
    return at == encoded.size();
}

const PreparedFind& CWordFindObject::Remember(std::shared_ptr<const PreparedFind> call)
{
    // The least recently used slot takes it and becomes the most recent.
    const std::uint8_t slot = m_order.back();
    std::copy_backward(m_order.begin(), m_order.end() - 1, m_order.end());
    m_order.front() = slot;
    m_recent[slot].encoded.assign(m_encoded);
    m_recent[slot].call = std::move(call);
    return *m_recent[slot].call;
}

HRESULT CWordFindObject::Execute(DISPPARAMS* params, VARIANT* result, EXCEPINFO* info, UINT* argErr)
{
    // Points into a slot of m_recent, which no other call changes while
    // this one runs.
    const PreparedFind* call = nullptr;
    for (std::size_t k = 0; k < m_order.size(); ++k) {
        const Recent& recent = m_recent[m_order[k]];
        if (recent.call && Matches(params, recent.encoded)) {
            call = recent.call.get();
            std::rotate(m_order.begin(), m_order.begin() + static_cast<std::ptrdiff_t>(k),
                        m_order.begin() + static_cast<std::ptrdiff_t>(k) + 1);
            break;
        }
    }
    const bool encoded = call != nullptr || Encode(params, m_encoded);
    if (call == nullptr && encoded && m_plans) {
        if (auto known = m_plans->Call(m_encoded)) call = &Remember(std::move(known));
    }
    if (call == nullptr) {
        auto fresh = std::make_shared<PreparedFind>();
        const HRESULT hr = Decode(params, info, argErr, *fresh);
        if (FAILED(hr)) return hr;
        if (encoded) {
            if (m_plans) m_plans->RememberCall(m_encoded, fresh);
            call = &Remember(std::move(fresh));
        } else {
            // Not remembered: run as decoded.
            const bool found = ExecuteFind(*m_document, *fresh->plan, fresh->replace, fresh->replaceWith);
            SetResult(result, found);
            return S_OK;
        }
    }
    const bool found = ExecuteFind(*m_document, *call->plan, call->replace, call->replaceWith);
    SetResult(result, found);
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
