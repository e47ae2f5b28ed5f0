// COleVariant (see olevariant.h).
#include "platform/olevariant.h"

#include "platform/codepage.h"
#include "platform/oleexception.h"

#include <limits>

namespace {

BSTR AllocOrThrow(std::u16string_view text)
{
    BSTR s = SysAllocStringFrom(text);
    if (s == nullptr) AfxThrowOleException(E_OUTOFMEMORY);
    return s;
}

}  // namespace

COleVariant::COleVariant() : VARIANT()
{
    VariantInit(this);
}

COleVariant::COleVariant(const VARIANT& src) : VARIANT()
{
    VariantInit(this);
    const HRESULT hr = VariantCopy(this, &src);
    if (FAILED(hr)) AfxThrowOleException(hr);
}

COleVariant::COleVariant(const COleVariant& src) : COleVariant(static_cast<const VARIANT&>(src)) {}

COleVariant::COleVariant(COleVariant&& src) noexcept : VARIANT(src)
{
    VariantInit(&src);
}

COleVariant::COleVariant(const char* text) : VARIANT()
{
    VariantInit(this);
    bstrVal = AllocOrThrow(AnsiToWide(text != nullptr ? std::string_view(text) : std::string_view()));
    vt = VT_BSTR;
}

COleVariant::COleVariant(std::string_view text) : VARIANT()
{
    VariantInit(this);
    bstrVal = AllocOrThrow(AnsiToWide(text));
    vt = VT_BSTR;
}

COleVariant::COleVariant(std::u16string_view text) : VARIANT()
{
    VariantInit(this);
    bstrVal = AllocOrThrow(text);
    vt = VT_BSTR;
}

COleVariant::COleVariant(SHORT value, VARTYPE type) : COleVariant(static_cast<LONG>(value), type) {}

COleVariant::COleVariant(LONG value, VARTYPE type) : VARIANT()
{
    VariantInit(this);
    switch (type) {
    case VT_I4: lVal = value; break;
    case VT_ERROR: scode = value; break;
    case VT_BOOL: boolVal = value != 0 ? VARIANT_TRUE : VARIANT_FALSE; break;
    case VT_I2:
        if (value < std::numeric_limits<SHORT>::min() || value > std::numeric_limits<SHORT>::max())
            AfxThrowOleException(E_INVALIDARG);
        iVal = static_cast<SHORT>(value);
        break;
    default: AfxThrowOleException(E_INVALIDARG);
    }
    vt = type;
}

COleVariant::COleVariant(bool value) : VARIANT()
{
    VariantInit(this);
    vt = VT_BOOL;
    boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

COleVariant::COleVariant(IDispatch* dispatch, bool addRef) : VARIANT()
{
    VariantInit(this);
    vt = VT_DISPATCH;
    pdispVal = dispatch;
    if (addRef && dispatch != nullptr) dispatch->AddRef();
}

COleVariant::~COleVariant()
{
    VariantClear(this);
}

COleVariant& COleVariant::operator=(const COleVariant& src)
{
    return *this = static_cast<const VARIANT&>(src);
}

COleVariant& COleVariant::operator=(COleVariant&& src) noexcept
{
    if (this != &src) {
        VariantClear(this);
        static_cast<VARIANT&>(*this) = src;
        VariantInit(&src);
    }
    return *this;
}

COleVariant& COleVariant::operator=(const VARIANT& src)
{
    const HRESULT hr = VariantCopy(this, &src);
    if (FAILED(hr)) AfxThrowOleException(hr);
    return *this;
}

COleVariant& COleVariant::operator=(const char* text)
{
    // Allocate before clearing, so a failure leaves the old value intact.
    BSTR s = AllocOrThrow(AnsiToWide(text != nullptr ? std::string_view(text) : std::string_view()));
    VariantClear(this);
    vt = VT_BSTR;
    bstrVal = s;
    return *this;
}

COleVariant& COleVariant::operator=(std::u16string_view text)
{
    BSTR s = AllocOrThrow(text);
    VariantClear(this);
    vt = VT_BSTR;
    bstrVal = s;
    return *this;
}

void COleVariant::Clear()
{
    VariantClear(this);
}

void COleVariant::Attach(VARIANT& src)
{
    if (&src == this) return;
    VariantClear(this);
    static_cast<VARIANT&>(*this) = src;
    VariantInit(&src);
}

VARIANT COleVariant::Detach()
{
    VARIANT out = *this;
    VariantInit(this);
    return out;
}

COleVariant COleVariant::Missing()
{
    return COleVariant(static_cast<LONG>(DISP_E_PARAMNOTFOUND), VT_ERROR);
}

VARIANT COleVariant::ByRef(VARIANT& target)
{
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_VARIANT;
    ref.pvarVal = &target;
    return ref;
}

std::u16string COleVariant::Text() const
{
    const VARIANT* v = this;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal != nullptr) v = v->pvarVal;
    if (v->vt == VT_BSTR) return std::u16string(BstrView(v->bstrVal));
    if (v->vt == (VT_BYREF | VT_BSTR) && v->pbstrVal != nullptr) return std::u16string(BstrView(*v->pbstrVal));
    return {};
}
