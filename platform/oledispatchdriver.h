// COleDispatchDriver: the caller's side of an automation call. It holds one
// IDispatch reference, creates objects by ProgID, and makes late-bound calls
// through a type-safe InvokeHelper.
//
// InvokeHelper<R>(dispid, flags, args...) converts each C++ argument into a
// VARIANT, lays them out in reverse order as COM expects, calls Invoke, and
// converts the result to R. Argument types:
//   const VARIANT& / COleVariant   passed by value (shallow: the server
//                                  must not free it, as in COM)
//   VARIANT* / COleVariant*        by reference (VT_BYREF | VT_VARIANT)
//   const char*, std::string(_view) VT_BSTR, converted with AnsiToWide
//   std::u16string_view            VT_BSTR
//   bool VT_BOOL, short VT_I2, int/LONG and long VT_I4, IDispatch* VT_DISPATCH
// Result types: void, bool, LONG (also BOOL: a VT_BOOL result gives 1/0),
// long, IDispatch* (the caller owns the returned reference; null when the
// server returned nothing), COleVariant, VARIANT (the caller must
// VariantClear it) and std::u16string.
//
// A failed HRESULT throws, on the caller's side only: COleDispatchException
// when the server described the failure in EXCEPINFO, COleException
// otherwise. Exceptions are thrown by pointer; catch CException* and call
// Delete().
#pragma once

#include "platform/codepage.h"
#include "platform/oleauto.h"
#include "platform/oleexception.h"
#include "platform/olevariant.h"

#include <array>
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);

class COleDispatchDriver {
public:
    COleDispatchDriver();
    explicit COleDispatchDriver(IDispatch* dispatch, bool autoRelease = true);
    COleDispatchDriver(const COleDispatchDriver& other);
    COleDispatchDriver& operator=(const COleDispatchDriver& other);
    ~COleDispatchDriver();

    // Creates a new object by ProgID and holds it. Returns false on
    // failure, with the status in *error when given: REGDB_E_CLASSNOTREG
    // for a ProgID nobody registered, CO_E_NOTINITIALIZED when the calling
    // thread has not entered COM. Throws nothing.
    bool CreateDispatch(const char* progId, COleException* error = nullptr);
    // Holds `dispatch` (releasing what was held before). With autoRelease
    // the driver owns one reference and releases it; without, the caller
    // keeps ownership.
    void AttachDispatch(IDispatch* dispatch, bool autoRelease = true);
    // Hands the held pointer (and its reference, if owned) to the caller.
    IDispatch* DetachDispatch();
    // Releases the held reference, if owned, and holds nothing.
    void ReleaseDispatch();

    template <class R = void, class... Args>
    R InvokeHelper(DISPID dispid, WORD flags, Args&&... args);

    template <class R>
    R GetProperty(DISPID dispid)
    {
        return InvokeHelper<R>(dispid, DISPATCH_PROPERTYGET);
    }

    template <class T>
    void SetProperty(DISPID dispid, T&& value)
    {
        InvokeHelper<void>(dispid, DISPATCH_PROPERTYPUT, std::forward<T>(value));
    }

    IDispatch* m_lpDispatch;
    bool m_bAutoRelease;

private:
    // Calls Invoke with `args` already in reverse order; throws on failure.
    void InvokeRaw(DISPID dispid, WORD flags, VARIANT* args, UINT count, VARIANT* result);
};

namespace varnel_detail {

// One converted argument; frees a BSTR it allocated.
struct CInvokeArg {
    VARIANT v{};
    bool owned = false;
    CInvokeArg() { VariantInit(&v); }
    CInvokeArg(const CInvokeArg&) = delete;
    CInvokeArg& operator=(const CInvokeArg&) = delete;
    ~CInvokeArg()
    {
        if (owned) VariantClear(&v);
    }
};

inline void SetText(CInvokeArg& out, std::u16string_view text)
{
    BSTR s = SysAllocStringFrom(text);
    if (s == nullptr) AfxThrowOleException(E_OUTOFMEMORY);
    out.v.vt = VT_BSTR;
    out.v.bstrVal = s;
    out.owned = true;
}

// 8-bit text in UTF-16; a null pointer is the empty text.
inline std::u16string AnsiText(const char* text)
{
    return AnsiToWide(text != nullptr ? std::string_view(text) : std::string_view());
}

template <class>
inline constexpr bool kUnsupported = false;

// Whether an argument of type D is passed as a BSTR the call allocates (and
// frees); every other kind is written straight into the argument array.
template <class D>
inline constexpr bool kAllocatesText = std::is_same_v<D, const char*> || std::is_same_v<D, char*> ||
                                       std::is_same_v<D, std::string> || std::is_same_v<D, std::string_view> ||
                                       std::is_same_v<D, std::u16string> || std::is_same_v<D, std::u16string_view>;

// Writes an argument that allocates nothing: every member of `out` is set.
template <class T>
void MakePlainArg(VARIANT& out, T&& arg)
{
    using D = std::decay_t<T>;
    out.wReserved1 = out.wReserved2 = out.wReserved3 = 0;
    out.dblVal = 0;
    if constexpr (std::is_pointer_v<D> && std::is_base_of_v<VARIANT, std::remove_pointer_t<D>>) {
        static_assert(!std::is_const_v<std::remove_pointer_t<D>>, "a by-reference argument must be modifiable");
        out.vt = VT_BYREF | VT_VARIANT;
        out.pvarVal = static_cast<VARIANT*>(arg);
    } else if constexpr (std::is_base_of_v<VARIANT, D>) {
        out = static_cast<const VARIANT&>(arg);
    } else if constexpr (std::is_same_v<D, bool>) {
        out.vt = VT_BOOL;
        out.boolVal = arg ? VARIANT_TRUE : VARIANT_FALSE;
    } else if constexpr (std::is_same_v<D, short>) {
        out.vt = VT_I2;
        out.iVal = arg;
    } else if constexpr (std::is_same_v<D, int>) {
        out.vt = VT_I4;
        out.lVal = arg;
    } else if constexpr (std::is_same_v<D, long>) {
        if (arg < std::numeric_limits<LONG>::min() || arg > std::numeric_limits<LONG>::max())
            AfxThrowOleException(DISP_E_OVERFLOW);
        out.vt = VT_I4;
        out.lVal = static_cast<LONG>(arg);
    } else if constexpr (std::is_pointer_v<D> && std::is_base_of_v<IDispatch, std::remove_pointer_t<D>>) {
        out.vt = VT_DISPATCH;
        out.pdispVal = arg;
    } else {
        static_assert(kUnsupported<D>, "argument type not supported by InvokeHelper");
    }
}

template <class T>
void MakeArg(CInvokeArg& out, T&& arg)
{
    using D = std::decay_t<T>;  // string literals arrive as arrays
    if constexpr (std::is_same_v<D, const char*> || std::is_same_v<D, char*>) {
        SetText(out, AnsiText(arg));
    } else if constexpr (std::is_same_v<D, std::string> || std::is_same_v<D, std::string_view>) {
        SetText(out, AnsiToWide(arg));
    } else if constexpr (std::is_same_v<D, std::u16string> || std::is_same_v<D, std::u16string_view>) {
        SetText(out, arg);
    } else {
        MakePlainArg(out.v, std::forward<T>(arg));
    }
}

// Integer value of a numeric or boolean result; throws on other types.
LONG ResultToLong(const VARIANT& v, bool boolAsOne);

template <class R>
R ConvertResult(VARIANT& result)
{
    struct Clear {
        VARIANT& v;
        ~Clear() { VariantClear(&v); }
    };
    if constexpr (std::is_same_v<R, COleVariant>) {
        COleVariant out;
        out.Attach(result);
        return out;
    } else if constexpr (std::is_same_v<R, VARIANT>) {
        VARIANT out = result;
        VariantInit(&result);
        return out;
    } else if constexpr (std::is_same_v<R, IDispatch*>) {
        Clear guard{result};
        if (result.vt == VT_EMPTY || result.vt == VT_NULL) return nullptr;
        if (result.vt != VT_DISPATCH) AfxThrowOleException(DISP_E_TYPEMISMATCH);
        IDispatch* out = result.pdispVal;  // the result's reference moves to the caller
        result.vt = VT_EMPTY;
        result.pdispVal = nullptr;
        return out;
    } else if constexpr (std::is_same_v<R, bool>) {
        // The usual answer, which owns nothing to free.
        if (result.vt == VT_BOOL) return result.boolVal != 0;
        Clear guard{result};
        return ResultToLong(result, true) != 0;
    } else if constexpr (std::is_same_v<R, int> || std::is_same_v<R, long>) {
        Clear guard{result};
        return static_cast<R>(ResultToLong(result, true));
    } else if constexpr (std::is_same_v<R, std::u16string>) {
        Clear guard{result};
        if (result.vt == VT_EMPTY) return {};
        if (result.vt != VT_BSTR) AfxThrowOleException(DISP_E_TYPEMISMATCH);
        return std::u16string(BstrView(result.bstrVal));
    } else {
        static_assert(kUnsupported<R>, "result type not supported by InvokeHelper");
    }
}

}  // namespace varnel_detail

template <class R, class... Args>
R COleDispatchDriver::InvokeHelper(DISPID dispid, WORD flags, Args&&... args)
{
    constexpr std::size_t count = sizeof...(Args);
    // Without a text to convert, nothing is freed afterwards: the arguments
    // go straight into the array the server reads (a searcher makes many
    // such calls).
    constexpr bool plain = (!varnel_detail::kAllocatesText<std::decay_t<Args>> && ...);
    // COM takes the arguments last to first.
    std::array<VARIANT, count == 0 ? 1 : count> raw;
    if constexpr (count == 0) {
        VariantInit(&raw[0]);
    } else if constexpr (plain) {
        std::size_t slot = count;
        (varnel_detail::MakePlainArg(raw[--slot], std::forward<Args>(args)), ...);
    }
    // Texts converted for the call live until it returns.
    std::array<varnel_detail::CInvokeArg, plain ? 0 : count> converted;
    if constexpr (!plain) {
        std::size_t slot = count;
        (varnel_detail::MakeArg(converted[--slot], std::forward<Args>(args)), ...);
        for (std::size_t i = 0; i < count; ++i) raw[i] = converted[i].v;
    }

    if constexpr (std::is_void_v<R>) {
        InvokeRaw(dispid, flags, raw.data(), static_cast<UINT>(count), nullptr);
    } else {
        VARIANT result;
        VariantInit(&result);
        InvokeRaw(dispid, flags, raw.data(), static_cast<UINT>(count), &result);
        return varnel_detail::ConvertResult<R>(result);
    }
}
