// COleDispatchDriver (see oledispatchdriver.h).
#include "platform/oledispatchdriver.h"

#include "platform/olethread.h"

#include <cmath>
#include <cstring>

COleDispatchDriver::COleDispatchDriver() : m_lpDispatch(nullptr), m_bAutoRelease(true) {}

COleDispatchDriver::COleDispatchDriver(IDispatch* dispatch, bool autoRelease)
    : m_lpDispatch(dispatch), m_bAutoRelease(autoRelease)
{
}

COleDispatchDriver::COleDispatchDriver(const COleDispatchDriver& other)
    : m_lpDispatch(other.m_lpDispatch), m_bAutoRelease(true)
{
    // A copy always holds its own reference, whoever owned the original's.
    if (m_lpDispatch != nullptr) m_lpDispatch->AddRef();
}

COleDispatchDriver& COleDispatchDriver::operator=(const COleDispatchDriver& other)
{
    if (this != &other) {
        IDispatch* incoming = other.m_lpDispatch;
        if (incoming != nullptr) incoming->AddRef();
        ReleaseDispatch();
        m_lpDispatch = incoming;
        m_bAutoRelease = true;
    }
    return *this;
}

COleDispatchDriver::~COleDispatchDriver()
{
    ReleaseDispatch();
}

bool COleDispatchDriver::CreateDispatch(const char* progId, COleException* error)
{
    ReleaseDispatch();
    HRESULT hr;
    IDispatch* object = nullptr;
    if (!IsComInitialized()) hr = CO_E_NOTINITIALIZED;
    else if (progId == nullptr) hr = CO_E_CLASSSTRING;
    else hr = CreateObjectByProgID(progId, &object);
    if (FAILED(hr) || object == nullptr) {
        if (object != nullptr) object->Release();
        if (error != nullptr) error->m_sc = FAILED(hr) ? hr : E_FAIL;
        return false;
    }
    AttachDispatch(object, true);
    return true;
}

void COleDispatchDriver::AttachDispatch(IDispatch* dispatch, bool autoRelease)
{
    if (dispatch == m_lpDispatch && dispatch != nullptr) {
        // Re-attaching the held object must not release it first. The new
        // reference (when owned) replaces the one already held.
        if (autoRelease && m_bAutoRelease) dispatch->Release();
        m_bAutoRelease = m_bAutoRelease || autoRelease;
        return;
    }
    ReleaseDispatch();
    m_lpDispatch = dispatch;
    m_bAutoRelease = autoRelease;
}

IDispatch* COleDispatchDriver::DetachDispatch()
{
    IDispatch* out = m_lpDispatch;
    m_lpDispatch = nullptr;
    return out;
}

void COleDispatchDriver::ReleaseDispatch()
{
    IDispatch* held = m_lpDispatch;
    m_lpDispatch = nullptr;
    if (held != nullptr && m_bAutoRelease) held->Release();
}

void COleDispatchDriver::InvokeRaw(DISPID dispid, WORD flags, VARIANT* args, UINT count, VARIANT* result)
{
    // Calling through no object is a caller's fault the framework would
    // assert on; here it is an automation failure like any other.
    if (m_lpDispatch == nullptr) AfxThrowOleException(E_POINTER);

    DISPID namedPut = DISPID_PROPERTYPUT;
    DISPPARAMS params{};
    params.rgvarg = count > 0 ? args : nullptr;
    params.cArgs = count;
    if ((flags & (DISPATCH_PROPERTYPUT)) != 0) {
        // A property put names its value argument, as COM requires.
        params.rgdispidNamedArgs = &namedPut;
        params.cNamedArgs = 1;
        // The value is never a result.
        result = nullptr;
    }
    EXCEPINFO info;
    std::memset(static_cast<void*>(&info), 0, sizeof info);
    UINT argErr = 0;
    const HRESULT hr = m_lpDispatch->Invoke(dispid, flags, &params, result, &info, &argErr);
    if (FAILED(hr)) {
        if (result != nullptr) VariantClear(result);
        ThrowInvokeFailure(hr, &info);
    }
    // A success carries no exception information, but a sloppy server may
    // still have filled some.
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
}

namespace varnel_detail {

LONG ResultToLong(const VARIANT& v, bool boolAsOne)
{
    switch (v.vt) {
    case VT_EMPTY: return 0;
    case VT_I2: return v.iVal;
    case VT_I4: return v.lVal;
    case VT_BOOL:
        if (boolAsOne) return v.boolVal != 0 ? 1 : 0;
        return v.boolVal;
    case VT_R8: {
        const double d = std::trunc(v.dblVal);
        if (!(d >= -2147483648.0 && d <= 2147483647.0)) AfxThrowOleException(DISP_E_OVERFLOW);
        return static_cast<LONG>(d);
    }
    default: AfxThrowOleException(DISP_E_TYPEMISMATCH);
    }
}

}  // namespace varnel_detail
