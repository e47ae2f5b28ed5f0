// COleVariant: a VARIANT that owns its value. It derives from VARIANT so
// that `&var` goes wherever a VARIANT* goes (by-reference arguments), and
// it frees its BSTR or dispatch reference when it goes out of scope.
//
// 8-bit text is taken to be in the system code page and stored as UTF-16
// through AnsiToWide, so a path converted here and back names the same file.
#pragma once

#include "platform/oleauto.h"

#include <string>
#include <string_view>

class COleVariant : public VARIANT {
public:
    COleVariant();
    COleVariant(const VARIANT& src);
    COleVariant(const COleVariant& src);
    COleVariant(COleVariant&& src) noexcept;
    // VT_BSTR from 8-bit text; a null pointer gives the empty text.
    COleVariant(const char* text);
    explicit COleVariant(std::string_view text);
    explicit COleVariant(std::u16string_view text);
    // VT_I2, or VT_BOOL (nonzero is VARIANT_TRUE).
    COleVariant(SHORT value, VARTYPE vt = VT_I2);
    // VT_I4, VT_ERROR (value is the SCODE), VT_BOOL or VT_I2 (range
    // checked). Any other type throws COleException(E_INVALIDARG).
    COleVariant(LONG value, VARTYPE vt = VT_I4);
    explicit COleVariant(bool value);
    // VT_DISPATCH; addRef false adopts a reference the caller owned.
    COleVariant(IDispatch* dispatch, bool addRef);
    ~COleVariant();

    COleVariant& operator=(const COleVariant& src);
    COleVariant& operator=(COleVariant&& src) noexcept;
    COleVariant& operator=(const VARIANT& src);
    COleVariant& operator=(const char* text);
    COleVariant& operator=(std::u16string_view text);

    // Frees the value and leaves VT_EMPTY.
    void Clear();
    // Takes over `src` (which is left VT_EMPTY) without copying.
    void Attach(VARIANT& src);
    // Hands the value over to the caller, who must VariantClear it.
    VARIANT Detach();

    // The missing optional argument: VT_ERROR, DISP_E_PARAMNOTFOUND.
    static COleVariant Missing();
    // A VARIANT that refers to `target` (VT_BYREF | VT_VARIANT). It owns
    // nothing; `target` must outlive it.
    static VARIANT ByRef(VARIANT& target);

    operator VARIANT*() { return this; }
    operator const VARIANT*() const { return this; }

    // Text of a VT_BSTR value (also through VT_BYREF), empty otherwise.
    std::u16string Text() const;
};
