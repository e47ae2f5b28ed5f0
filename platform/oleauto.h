// The core of the automation runtime: BSTR, VARIANT, DISPPARAMS, EXCEPINFO,
// the IDispatch interface, a reference-counted base for automation objects,
// argument access for servers, and the registry of in-process servers by
// ProgID.
//
// It follows COM's contracts so that callers and servers behave as they
// would against Office: arguments arrive in DISPPARAMS in reverse order, a
// missing optional argument is VT_ERROR with DISP_E_PARAMNOTFOUND, results
// are returned through an HRESULT and EXCEPINFO, and no C++ exception ever
// crosses Invoke. Every object is reference counted, and the runtime counts
// the objects alive so that tests can prove nothing leaks.
#pragma once

#include "platform/cancellation.h"
#include "platform/wintypes.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <string_view>

// ---- HRESULTs ---------------------------------------------------------
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004u);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);
constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);

inline bool SUCCEEDED(HRESULT hr)
{
    return hr >= 0;
}
inline bool FAILED(HRESULT hr)
{
    return hr < 0;
}

// ---- BSTR ---------------------------------------------------------------
// A BSTR points at UTF-16 text that is zero-terminated and preceded by its
// byte length, allocated by the runtime. A null BSTR is the empty string.
using BSTR = WCHAR*;
BSTR SysAllocString(const WCHAR* text);
BSTR SysAllocStringLen(const WCHAR* text, UINT length);
BSTR SysAllocStringFrom(std::u16string_view text);
void SysFreeString(BSTR text);
// The length sits in the four bytes before the text, in bytes. Inline:
// an automation server reads it for every text argument of every call.
inline UINT SysStringLen(BSTR text)
{
    if (text == nullptr) return 0;
    std::uint32_t byteLength;
    std::memcpy(&byteLength, reinterpret_cast<const unsigned char*>(text) - sizeof(std::uint32_t), sizeof byteLength);
    return byteLength / static_cast<std::uint32_t>(sizeof(WCHAR));
}
inline std::u16string_view BstrView(BSTR text)
{
    return text == nullptr ? std::u16string_view() : std::u16string_view(text, SysStringLen(text));
}

// ---- VARIANT -------------------------------------------------------------
using VARTYPE = WORD;
enum : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF,
};

using VARIANT_BOOL = SHORT;
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

struct IDispatch;

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;
        SHORT iVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        BSTR bstrVal;
        IDispatch* pdispVal;
        SHORT* piVal;
        LONG* plVal;
        double* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        BSTR* pbstrVal;
        IDispatch** ppdispVal;
        VARIANT* pvarVal;
    };
};
using VARIANTARG = VARIANT;

inline void VariantInit(VARIANT* v)
{
    std::memset(static_cast<void*>(v), 0, sizeof *v);
    v->vt = VT_EMPTY;
}
// Frees what the variant owns (a BSTR, a dispatch reference) unless it is
// by-reference, and leaves it VT_EMPTY.
HRESULT VariantClear(VARIANT* v);
// Deep copy: a BSTR is duplicated, a dispatch reference AddRef'ed.
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);

// ---- Dispatch -----------------------------------------------------------
constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
constexpr DISPID DISPID_PROPERTYPUT = -3;

struct DISPPARAMS {
    VARIANTARG* rgvarg;  // arguments in reverse order: rgvarg[0] is the last
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    void* pvReserved;
    void* pfnDeferredFillIn;
    SCODE scode;
};

struct IDispatch {
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // Never throws. On DISP_E_EXCEPTION the server filled *pExcepInfo
    // (when given), whose strings the caller frees.
    virtual HRESULT Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                           EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;

protected:
    ~IDispatch() = default;
};

// What a server reports when a call ends in an exception instead of an
// HRESULT: its name, the description for running out of memory, and the
// description and code for any other failure.
struct CServerFailureTexts {
    std::u16string_view source;
    std::u16string_view outOfMemory;
    std::u16string_view failed;
    SCODE failedCode = E_FAIL;
};

// Base for automation objects: atomic reference count, deletion at zero, and
// a process-wide count of live objects. Derived classes implement Invoke.
class CDispatchObject : public IDispatch {
public:
    CDispatchObject();
    CDispatchObject(const CDispatchObject&) = delete;
    CDispatchObject& operator=(const CDispatchObject&) = delete;
    ULONG AddRef() override;
    ULONG Release() override;

    // Objects created and not yet destroyed, in this process.
    static long LiveObjects();

protected:
    virtual ~CDispatchObject();

    // Fills `info` (when given) with a server error and returns
    // DISP_E_EXCEPTION, the way a server reports a failed call.
    static HRESULT ReportError(EXCEPINFO* info, std::u16string_view source, std::u16string_view description,
                               SCODE scode = E_FAIL);

    // Runs the body of an Invoke so that no exception leaves it: running out
    // of memory, a Stop and any other exception become DISP_E_EXCEPTION,
    // described in `info` with the server's texts.
    template <class Call>
    static HRESULT GuardedCall(EXCEPINFO* info, const CServerFailureTexts& texts, Call&& call)
    {
        try {
            return call();
        } catch (const std::bad_alloc&) {
            return ReportError(info, texts.source, texts.outOfMemory, E_OUTOFMEMORY);
        } catch (const platform::OperationCancelled&) {
            return ReportError(info, texts.source, u"The search was stopped.", E_ABORT);
        } catch (...) {
            return ReportError(info, texts.source, texts.failed, texts.failedCode);
        }
    }

private:
    std::atomic<ULONG> m_refs{1};
    static std::atomic<long> s_live;
};

// Read access for servers to the arguments of one Invoke, in declared order
// (index 0 is the first argument), looking through VT_BYREF.
class CDispArgs {
public:
    explicit CDispArgs(const DISPPARAMS* params);
    UINT Count() const { return m_count; }
    // The argument's value variant (by-reference resolved), or null when
    // out of range.
    const VARIANT* At(UINT index) const;
    // True when the argument is absent or passed as missing.
    bool IsMissing(UINT index) const;
    // Converting getters: false when the argument has an unsuitable type.
    // A missing argument yields `fallback` and true.
    bool GetBool(UINT index, bool& out, bool fallback = false) const;
    bool GetLong(UINT index, long& out, long fallback = 0) const;
    bool GetString(UINT index, std::u16string& out, std::u16string_view fallback = {}) const;

private:
    const DISPPARAMS* m_params;
    UINT m_count;
};

// ---- In-process servers by ProgID --------------------------------------
// A factory makes a new object with one reference owned by the caller.
using CServerFactory = std::function<IDispatch*()>;

// Registers (or replaces) the server for `progId`. Tests register fakes
// under the real ProgIDs.
void RegisterServer(std::string_view progId, CServerFactory factory);
void UnregisterServer(std::string_view progId);
// Creates an object by ProgID; REGDB_E_CLASSNOTREG / CO_E_CLASSSTRING when
// nothing is registered under that name.
HRESULT CreateObjectByProgID(std::string_view progId, IDispatch** out);
