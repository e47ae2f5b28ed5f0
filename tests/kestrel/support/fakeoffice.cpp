// The recording fake Word and Excel (see fakeoffice.h).
#include "tests/kestrel/support/fakeoffice.h"

#include "platform/codepage.h"
#include "tests/platform/support/tempdir.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace {

std::string Hex(long value)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%lX", static_cast<unsigned long>(static_cast<std::uint32_t>(value)));
    return text;
}

std::string DescribeValue(const VARIANT& v)
{
    switch (v.vt) {
    case VT_EMPTY: return "empty";
    case VT_BOOL:
        if (v.boolVal == VARIANT_TRUE) return "bool:true";
        if (v.boolVal == VARIANT_FALSE) return "bool:false";
        return "bool:" + Hex(v.boolVal);
    case VT_I2: return "i2:" + std::to_string(v.iVal);
    case VT_I4: return "i4:" + std::to_string(v.lVal);
    case VT_BSTR: return "str:" + Utf16ToUtf8(BstrView(v.bstrVal));
    case VT_ERROR: return v.scode == DISP_E_PARAMNOTFOUND ? "missing" : "err:" + Hex(v.scode);
    case VT_DISPATCH: return "disp";
    default: return "vt:" + Hex(v.vt);
    }
}

HRESULT Answer(VARIANT* result, VARTYPE vt, long value = 0)
{
    if (result == nullptr) return S_OK;
    VariantInit(result);
    result->vt = vt;
    if (vt == VT_BOOL) result->boolVal = value != 0 ? VARIANT_TRUE : VARIANT_FALSE;
    if (vt == VT_I4) result->lVal = static_cast<LONG>(value);
    return S_OK;
}

class FakeObject : public CDispatchObject {
public:
    FakeObject(std::shared_ptr<FakeOffice> office, std::string kind, long sheet = 0)
        : m_office(std::move(office)), m_kind(std::move(kind)), m_sheet(sheet)
    {
        m_office->wordStarts += m_kind == "WordApp" ? 1 : 0;
        m_office->excelStarts += m_kind == "ExcelApp" ? 1 : 0;
    }

    HRESULT Invoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info, UINT*) override
    {
        FakeCall call{.object = m_kind, .dispid = id, .kind = {}, .args = {}};
        const UINT named = params != nullptr ? params->cNamedArgs : 0;
        const bool namedPut = named == 1 && params->rgdispidNamedArgs != nullptr
                              && params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
        if (flags == DISPATCH_METHOD && named == 0) call.kind = "call";
        else if (flags == DISPATCH_PROPERTYGET && named == 0) call.kind = "get";
        else if (flags == DISPATCH_PROPERTYPUT && namedPut) call.kind = "put";
        else call.kind = "flags:" + std::to_string(flags) + "/named:" + std::to_string(named);
        m_args.clear();
        const UINT n = params != nullptr ? params->cArgs : 0;
        for (UINT i = 0; i < n; ++i) {
            const VARIANT& raw = params->rgvarg[n - 1 - i];
            const bool byRef = raw.vt == (VT_BYREF | VT_VARIANT);
            m_args.push_back(byRef ? raw.pvarVal : &raw);
            call.args.push_back((byRef ? "&" : "") + DescribeValue(*m_args.back()));
        }
        m_office->calls.push_back(call);
        if (m_office->failAt == static_cast<int>(m_office->calls.size()) || (m_office->failIf && m_office->failIf(call)))
            return ReportError(info, u"Fake Office", u"Injected failure", E_FAIL);
        return Respond(id, call.kind, result, info);
    }

private:
    std::u16string Text(std::size_t i) const
    {
        return i < m_args.size() && m_args[i]->vt == VT_BSTR ? std::u16string(BstrView(m_args[i]->bstrVal)) : u"";
    }

    HRESULT Give(VARIANT* result, const char* kind, long sheet = 0)
    {
        if (result == nullptr) return E_POINTER;
        VariantInit(result);
        result->vt = VT_DISPATCH;
        result->pdispVal = new FakeObject(m_office, kind, sheet);
        return S_OK;
    }

    // With readFiles: reads the file being opened into fileText, or fails.
    bool ReadOpened()
    {
        FakeOffice& o = *m_office;
        const std::string path = WideToAnsi(Text(0));
        if (o.onOpen) o.onOpen(path);
        if (!o.readFiles) return true;
        std::error_code ec;
        if (path.find("ruined") != std::string::npos || !std::filesystem::is_regular_file(path, ec)) return false;
        o.fileText = Utf8ToUtf16(FileText(path));
        if (m_kind == "Workbooks") o.sheets = {{o.fileText}};
        return true;
    }

    // The members Kestrel and the driver call, each with its argument count;
    // anything else is not a member.
    HRESULT Respond(DISPID id, const std::string& kind, VARIANT* result, EXCEPINFO* info)
    {
        FakeOffice& o = *m_office;
        const std::size_t n = m_args.size();
        const auto is = [&](const char* k, DISPID d, const char* how, std::size_t args) {
            return m_kind == k && id == d && kind == how && n == args;
        };
        if (is("WordApp", 0x17, "put", 1) || is("WordApp", 0x451, "call", 3) || is("ExcelApp", 0x22E, "put", 1) ||
            is("ExcelApp", 0x157, "put", 1) || is("ExcelApp", 0x12E, "call", 0) || is("Worksheet", 0xEB, "call", 1))
            return S_OK;
        if (is("WordApp", 0x6, "get", 0)) return Give(result, "Documents");
        if (is("WordApp", 0x5, "get", 0)) return Give(result, "Selection");
        if (is("Selection", 0x106, "get", 0)) return Give(result, "Find");
        if (is("ExcelApp", 0x23C, "get", 0)) return Give(result, "Workbooks");
        if (is("Workbook", 0x1EE, "get", 0)) return Give(result, "Worksheets");
        if (is("Worksheet", 0xEE, "get", 0)) return Give(result, "Range", m_sheet);
        // Documents.Open of Word 2000, XP and 2003; Workbooks.Open of Excel 2000 and of later ones.
        if (is("Documents", 0xF, "call", 12) || is("Documents", 0x12, "call", 15) ||
            is("Documents", 0x13, "call", 16) || is("Workbooks", 0x2AA, "call", 13) ||
            is("Workbooks", 0x783, "call", 15)) {
            const bool word = m_kind == "Documents";
            if (!ReadOpened()) return ReportError(info, word ? u"Word" : u"Excel", u"cannot open");
            ++(word ? o.documentsOpen : o.workbooksOpen);
            return Give(result, word ? "Document" : "Workbook");
        }
        if (is("Document", 0x451, "call", 3) || is("Workbook", 0x115, "call", 3)) {
            if (!m_closed) --(m_kind == "Document" ? o.documentsOpen : o.workbooksOpen);
            m_closed = true;
            return S_OK;
        }
        if (is("Find", 0x1BC, "call", 15) && m_args[0]->vt == VT_BSTR) {
            const std::u16string text = Text(0);
            const bool replacing = m_args[10]->vt == VT_I2 && m_args[10]->iVal != 0;
            const bool found = o.readFiles ? o.fileText.find(text) != std::u16string::npos : o.wordFinds.count(text) != 0;
            return Answer(result, VT_BOOL, replacing || found);
        }
        if (is("Worksheets", 0x76, "get", 0)) return Answer(result, VT_I4, static_cast<long>(o.sheets.size()));
        if (is("Worksheets", 0xAA, "get", 1) && m_args[0]->vt == VT_I4 && m_args[0]->lVal >= 1 &&
            m_args[0]->lVal <= static_cast<long>(o.sheets.size()))
            return Give(result, "Worksheet", m_args[0]->lVal);
        if ((is("Range", 0x18E, "call", 8) || is("Range", 0x18E, "call", 9)) && m_args[0]->vt == VT_BSTR &&
            m_args[6]->vt == VT_BOOL) {
            const bool matchCase = m_args[6]->boolVal != 0;
            const auto fold = [matchCase](std::u16string s) {
                for (auto& c : s)
                    if (!matchCase && c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
                return s;
            };
            for (const auto& cell : o.sheets.at(static_cast<std::size_t>(m_sheet - 1)))
                if (fold(cell).find(fold(Text(0))) != std::u16string::npos) return Give(result, "Range", m_sheet);
            return Answer(result, VT_EMPTY);
        }
        return DISP_E_MEMBERNOTFOUND;
    }

    std::shared_ptr<FakeOffice> m_office;
    std::string m_kind;  // "WordApp", "Documents", ...: the object named in a call
    long m_sheet;
    bool m_closed = false;
    std::vector<const VARIANT*> m_args;  // declared order, by-reference resolved; valid during Invoke
};

}  // namespace

std::string FakeCall::Describe() const
{
    std::string out = object + "." + Hex(dispid) + " " + kind + "(";
    for (std::size_t i = 0; i < args.size(); ++i) out += (i > 0 ? ", " : "") + args[i];
    return out + ")";
}

std::vector<std::string> FakeOffice::Described() const
{
    std::vector<std::string> out;
    for (const FakeCall& c : calls) out.push_back(c.Describe());
    return out;
}

int FakeOffice::Count(const std::string& prefix) const
{
    return static_cast<int>(
        std::count_if(calls.begin(), calls.end(), [&](const FakeCall& c) { return c.Describe().starts_with(prefix); }));
}

int FakeOffice::Opens(const std::string& path) const
{
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const FakeCall& c) {
        return (c.object == "Documents" || c.object == "Workbooks") && !c.args.empty() &&
               (c.args[0] == "&str:" + path || c.args[0] == "str:" + path);
    }));
}

void InstallFakeWord(const std::shared_ptr<FakeOffice>& office)
{
    RegisterServer("Word.Application", [office]() -> IDispatch* { return new FakeObject(office, "WordApp"); });
}

void InstallFakeExcel(const std::shared_ptr<FakeOffice>& office)
{
    RegisterServer("Excel.Application", [office]() -> IDispatch* { return new FakeObject(office, "ExcelApp"); });
}

void RemoveFakes()
{
    UnregisterServer("Word.Application");
    UnregisterServer("Excel.Application");
}
