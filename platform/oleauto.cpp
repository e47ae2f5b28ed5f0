// BSTR and VARIANT handling, the dispatch object base, argument access and
// the ProgID registry (see oleauto.h).
#include "platform/oleauto.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>

// ---- BSTR ---------------------------------------------------------------
// Layout: a 32-bit byte length, then the characters, then a zero character.

BSTR SysAllocStringLen(const WCHAR* text, UINT length)
{
    if (length > (std::numeric_limits<UINT>::max() - 8) / 2) return nullptr;
    const std::size_t bytes = sizeof(std::uint32_t) + (static_cast<std::size_t>(length) + 1) * sizeof(WCHAR);
    auto* block = static_cast<unsigned char*>(std::malloc(bytes));
    if (block == nullptr) return nullptr;
    const std::uint32_t byteLength = length * static_cast<std::uint32_t>(sizeof(WCHAR));
    std::memcpy(block, &byteLength, sizeof byteLength);
    auto* chars = reinterpret_cast<WCHAR*>(block + sizeof(std::uint32_t));
    if (text != nullptr && length > 0) std::memcpy(chars, text, length * sizeof(WCHAR));
    else if (length > 0) std::memset(chars, 0, length * sizeof(WCHAR));
    chars[length] = 0;
    return chars;
}

BSTR SysAllocString(const WCHAR* text)
{
    if (text == nullptr) return nullptr;
    UINT n = 0;
    while (text[n] != 0) ++n;
    return SysAllocStringLen(text, n);
}

BSTR SysAllocStringFrom(std::u16string_view text)
{
    if (text.size() > std::numeric_limits<UINT>::max() / 4) return nullptr;
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

void SysFreeString(BSTR text)
{
    if (text == nullptr) return;
    std::free(reinterpret_cast<unsigned char*>(text) - sizeof(std::uint32_t));
}

// ---- VARIANT -------------------------------------------------------------

HRESULT VariantClear(VARIANT* v)
{
    if (v == nullptr) return E_POINTER;
    if ((v->vt & VT_BYREF) == 0) {
        if (v->vt == VT_BSTR) SysFreeString(v->bstrVal);
        else if (v->vt == VT_DISPATCH && v->pdispVal != nullptr) v->pdispVal->Release();
    }
    VariantInit(v);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src)
{
    if (dest == nullptr || src == nullptr) return E_POINTER;
    if (dest == src) return S_OK;
    VARIANT copy = *src;
    if ((src->vt & VT_BYREF) == 0) {
        if (src->vt == VT_BSTR && src->bstrVal != nullptr) {
            copy.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
            if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
        } else if (src->vt == VT_DISPATCH && src->pdispVal != nullptr) {
            src->pdispVal->AddRef();
        }
    }
    VariantClear(dest);
    *dest = copy;
    return S_OK;
}

// ---- CDispatchObject ------------------------------------------------------

std::atomic<long> CDispatchObject::s_live{0};

CDispatchObject::CDispatchObject()
{
    s_live.fetch_add(1);
}

CDispatchObject::~CDispatchObject()
{
    s_live.fetch_sub(1);
}

ULONG CDispatchObject::AddRef()
{
    return ++m_refs;
}

ULONG CDispatchObject::Release()
{
    const ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
}

long CDispatchObject::LiveObjects()
{
    return s_live.load();
}

HRESULT CDispatchObject::ReportError(EXCEPINFO* info, std::u16string_view source, std::u16string_view description,
                                     SCODE scode)
{
    if (info != nullptr) {
        std::memset(static_cast<void*>(info), 0, sizeof *info);
        info->bstrSource = SysAllocStringFrom(source);
        info->bstrDescription = SysAllocStringFrom(description);
        info->scode = scode;
    }
    return DISP_E_EXCEPTION;
}

// ---- CDispArgs ------------------------------------------------------------

CDispArgs::CDispArgs(const DISPPARAMS* params)
    : m_params(params), m_count(params != nullptr && params->rgvarg != nullptr ? params->cArgs : 0)
{
}

const VARIANT* CDispArgs::At(UINT index) const
{
    if (index >= m_count) return nullptr;
    const VARIANT* v = &m_params->rgvarg[m_count - 1 - index];
    // A VARIANT passed by reference to a VARIANT: look through once.
    if (v->vt == (VT_BYREF | VT_VARIANT)) return v->pvarVal;
    return v;
}

namespace {

// The type and a pointer to the value, by-reference scalars resolved.
VARTYPE BaseType(const VARIANT* v)
{
    return static_cast<VARTYPE>(v->vt & ~VT_BYREF);
}
bool IsRef(const VARIANT* v)
{
    return (v->vt & VT_BYREF) != 0;
}

}  // namespace

bool CDispArgs::IsMissing(UINT index) const
{
    const VARIANT* v = At(index);
    if (v == nullptr) return true;
    if (BaseType(v) != VT_ERROR) return false;
    const SCODE code = IsRef(v) ? (v->pscode != nullptr ? *v->pscode : 0) : v->scode;
    return code == DISP_E_PARAMNOTFOUND;
}

bool CDispArgs::GetLong(UINT index, long& out, long fallback) const
{
    if (IsMissing(index)) {
        out = fallback;
        return true;
    }
    const VARIANT* v = At(index);
    switch (BaseType(v)) {
    case VT_I2: out = IsRef(v) ? *v->piVal : v->iVal; return true;
    case VT_I4: out = IsRef(v) ? *v->plVal : v->lVal; return true;
    case VT_BOOL: out = (IsRef(v) ? *v->pboolVal : v->boolVal) != 0 ? -1 : 0; return true;
    case VT_R8: {
        const double d = IsRef(v) ? *v->pdblVal : v->dblVal;
        if (!(d >= -2147483648.0 && d <= 2147483647.0)) return false;
        out = static_cast<long>(d);
        return true;
    }
    default: return false;
    }
}

bool CDispArgs::GetBool(UINT index, bool& out, bool fallback) const
{
    if (IsMissing(index)) {
        out = fallback;
        return true;
    }
    long value = 0;
    if (!GetLong(index, value)) return false;
    out = value != 0;
    return true;
}

bool CDispArgs::GetString(UINT index, std::u16string& out, std::u16string_view fallback) const
{
    if (IsMissing(index)) {
        out.assign(fallback);
        return true;
    }
    const VARIANT* v = At(index);
    if (BaseType(v) != VT_BSTR) return false;
    BSTR text = IsRef(v) ? (v->pbstrVal != nullptr ? *v->pbstrVal : nullptr) : v->bstrVal;
    out.assign(BstrView(text));
    return true;
}

// ---- ProgID registry --------------------------------------------------------

namespace {

struct ServerRegistry {
    std::mutex lock;
    std::map<std::string, CServerFactory, std::less<>> servers;
};

ServerRegistry& Registry()
{
    static ServerRegistry registry;
    return registry;
}

}  // namespace

void RegisterServer(std::string_view progId, CServerFactory factory)
{
    auto& r = Registry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.servers[std::string(progId)] = std::move(factory);
}

void UnregisterServer(std::string_view progId)
{
    auto& r = Registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.servers.find(progId);
    if (it != r.servers.end()) r.servers.erase(it);
}

HRESULT CreateObjectByProgID(std::string_view progId, IDispatch** out)
{
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    CServerFactory factory;
    {
        auto& r = Registry();
        std::lock_guard<std::mutex> guard(r.lock);
        auto it = r.servers.find(progId);
        if (it == r.servers.end()) return progId.empty() ? CO_E_CLASSSTRING : REGDB_E_CLASSNOTREG;
        factory = it->second;
    }
    // The factory runs outside the lock: a server may register others.
    IDispatch* object = factory ? factory() : nullptr;
    if (object == nullptr) return E_FAIL;
    *out = object;
    return S_OK;
}
