// Test helpers that drive the built-in Word through raw IDispatch::Invoke,
// building DISPPARAMS the way an automation client does: arguments in
// reverse order, each passed by reference to a VARIANT, missing ones as
// VT_ERROR DISP_E_PARAMNOTFOUND.
#pragma once

#include "office/automation/wordapplication.h"
#include "platform/oleauto.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace wordtest {

// Values in declared order; Params() hands them out reversed and by
// reference, like COleDispatchDriver::InvokeHelper with VTS_PVARIANT.
class ArgList {
public:
    ArgList() = default;
    ArgList(const ArgList&) = delete;
    ArgList& operator=(const ArgList&) = delete;
    ~ArgList()
    {
        for (VARIANT& v : m_values) VariantClear(&v);
    }

    ArgList& Bool(bool b) { Add(VT_BOOL).boolVal = b ? VARIANT_TRUE : VARIANT_FALSE; return *this; }
    ArgList& Str(std::u16string_view s) { Add(VT_BSTR).bstrVal = SysAllocStringFrom(s); return *this; }
    ArgList& I2(short i) { Add(VT_I2).iVal = i; return *this; }
    ArgList& I4(LONG i) { Add(VT_I4).lVal = i; return *this; }
    ArgList& Missing() { Add(VT_ERROR).scode = DISP_E_PARAMNOTFOUND; return *this; }

    // byValue: the variants themselves instead of references to them.
    DISPPARAMS Params(bool byValue = false)
    {
        m_args.clear();
        for (auto it = m_values.rbegin(); it != m_values.rend(); ++it) {
            VARIANT ref;
            VariantInit(&ref);
            if (byValue) {
                ref = *it;  // shallow: the list still owns what it points to
            } else {
                ref.vt = VT_BYREF | VT_VARIANT;
                ref.pvarVal = &*it;
            }
            m_args.push_back(ref);
        }
        DISPPARAMS p{};
        p.rgvarg = m_args.empty() ? nullptr : m_args.data();
        p.cArgs = static_cast<UINT>(m_args.size());
        return p;
    }

private:
    VARIANT& Add(VARTYPE vt)
    {
        VARIANT& v = m_values.emplace_back();
        VariantInit(&v);
        v.vt = vt;
        return v;
    }

    std::deque<VARIANT> m_values;  // stable addresses
    std::vector<VARIANT> m_args;
};

inline void FreeExcepInfo(EXCEPINFO& info)
{
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    info = EXCEPINFO{};
}

// A property get or method call returning an object (or null).
inline HRESULT GetObject(IDispatch* from, DISPID id, IDispatch** out, WORD flags = DISPATCH_PROPERTYGET)
{
    *out = nullptr;
    DISPPARAMS none{};
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = from->Invoke(id, flags, &none, &result, nullptr, nullptr);
    if (SUCCEEDED(hr)) {
        if (result.vt == VT_DISPATCH) *out = result.pdispVal;
        else VariantClear(&result);
    }
    return hr;
}

struct Switches {
    bool matchCase = false;
    bool wholeWord = false;
    bool wildcards = false;
    bool soundsLike = false;
    bool wordForms = false;
};

// Find.Execute with Kestrel's fifteen arguments.
inline HRESULT Execute(IDispatch* find, std::u16string_view text, const Switches& s, std::u16string_view replaceWith,
                       short replace, bool& found, EXCEPINFO* info = nullptr)
{
    ArgList a;
    a.Str(text).Bool(s.matchCase).Bool(s.wholeWord).Bool(s.wildcards).Bool(s.soundsLike).Bool(s.wordForms);
    a.Bool(true).I2(2).Bool(false).Str(replaceWith).I2(replace);
    a.Bool(false).Bool(false).Bool(false).Bool(false);
    DISPPARAMS p = a.Params();
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = find->Invoke(0x1BC, DISPATCH_METHOD, &p, &result, info, nullptr);
    found = result.vt == VT_BOOL && result.boolVal != VARIANT_FALSE;
    VariantClear(&result);
    return hr;
}

// Documents.Open of generation 9, 10 or 11 with Kestrel's arguments.
inline HRESULT Open(IDispatch* documents, const std::string& path, int generation, IDispatch** doc,
                    EXCEPINFO* info = nullptr)
{
    *doc = nullptr;
    ArgList a;
    a.Str(std::u16string(path.begin(), path.end()));
    a.Bool(false).Bool(false).Bool(false).Str(u"").Str(u"").Bool(false).Str(u"").Str(u"").I4(5).Bool(true).Bool(true);
    DISPID id = 0xF;
    if (generation == 10) {
        a.Bool(true).Missing().Missing();
        id = 0x12;
    } else if (generation == 11) {
        a.Bool(false).Bool(true).Missing().Missing();
        id = 0x13;
    }
    DISPPARAMS p = a.Params();
    VARIANT result;
    VariantInit(&result);
    const HRESULT hr = documents->Invoke(id, DISPATCH_METHOD, &p, &result, info, nullptr);
    if (SUCCEEDED(hr) && result.vt == VT_DISPATCH) *doc = result.pdispVal;
    else VariantClear(&result);
    return hr;
}

inline HRESULT CloseOrQuit(IDispatch* target)
{
    ArgList a;
    a.Bool(false).Bool(false).Bool(false);
    DISPPARAMS p = a.Params();
    return target->Invoke(0x451, DISPATCH_METHOD, &p, nullptr, nullptr, nullptr);
}

// Opens one file in a fresh application and hands out its Find object;
// releases everything at the end.
class OpenedFile {
public:
    explicit OpenedFile(const std::string& path, int generation = 11)
    {
        office::RegisterWordServer();
        if (FAILED(CreateObjectByProgID("Word.Application", &m_app))) return;
        if (FAILED(GetObject(m_app, 0x6, &m_documents)) || m_documents == nullptr) return;
        if (FAILED(Open(m_documents, path, generation, &m_doc))) return;
        if (FAILED(GetObject(m_app, 0x5, &m_selection)) || m_selection == nullptr) return;
        GetObject(m_selection, 0x106, &m_find);
    }
    ~OpenedFile()
    {
        if (m_doc != nullptr) CloseOrQuit(m_doc);
        if (m_app != nullptr) CloseOrQuit(m_app);
        for (IDispatch* object : {m_find, m_selection, m_doc, m_documents, m_app}) {
            if (object != nullptr) object->Release();
        }
    }
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;

    bool Ok() const { return m_find != nullptr; }

    bool Find(std::u16string_view text, const Switches& s = {})
    {
        bool found = false;
        EXPECT_EQ(Execute(m_find, text, s, u"", 0, found), S_OK);
        return found;
    }
    bool ReplaceAll(std::u16string_view text, std::u16string_view with, const Switches& s = {})
    {
        bool found = false;
        EXPECT_EQ(Execute(m_find, text, s, with, 2, found), S_OK);
        return found;
    }
    // Kestrel's spacing clearing: one tab pass and eleven two-space passes.
    void ClearSpacing()
    {
        Switches exact;
        exact.matchCase = true;
        ReplaceAll(u"^t", u" ", exact);
        for (int i = 0; i < 11; ++i) ReplaceAll(u"  ", u" ", exact);
    }

private:
    IDispatch* m_app = nullptr;
    IDispatch* m_documents = nullptr;
    IDispatch* m_doc = nullptr;
    IDispatch* m_selection = nullptr;
    IDispatch* m_find = nullptr;
};

}  // namespace wordtest
