// The recording fake Word and Excel (see fakeoffice.h).
#include "tests/kestrel/support/fakeoffice.h"

#include "platform/codepage.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

enum class Kind { WordApp, Documents, Document, Selection, Find, ExcelApp, Workbooks, Workbook, Worksheets, Worksheet, Range };

const char* const kKindNames[] = {"WordApp",  "Documents", "Document",   "Selection", "Find", "ExcelApp",
                                  "Workbooks", "Workbook", "Worksheets", "Worksheet", "Range"};

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

class FakeObject : public CDispatchObject {
public:
    FakeObject(std::shared_ptr<FakeOffice> office, Kind kind, long sheet = 0)
        : m_office(std::move(office)), m_kind(kind), m_sheet(sheet)
    {
        m_office->wordStarts += kind == Kind::WordApp ? 1 : 0;
        m_office->excelStarts += kind == Kind::ExcelApp ? 1 : 0;
    }

    HRESULT Invoke(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info, UINT*) override
    {
        FakeCall call;
        call.object = kKindNames[static_cast<int>(m_kind)];
        call.dispid = id;
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
            if (raw.vt == (VT_BYREF | VT_VARIANT)) {
                call.args.push_back("&" + DescribeValue(*raw.pvarVal));
                m_args.push_back(raw.pvarVal);
            } else {
                call.args.push_back(DescribeValue(raw));
                m_args.push_back(&raw);
            }
        }
        m_office->calls.push_back(call);
        if (m_office->failAt == static_cast<int>(m_office->calls.size()) || (m_office->failIf && m_office->failIf(call)))
            return m_office->failWithException ? ReportError(info, u"Fake Office", u"Injected failure", E_FAIL) : E_FAIL;
        return Answer(id, call.kind, result, info);
    }

private:
    bool Text(std::size_t i, std::u16string& out) const
    {
        if (i >= m_args.size() || m_args[i]->vt != VT_BSTR) return false;
        out.assign(BstrView(m_args[i]->bstrVal));
        return true;
    }

    HRESULT Give(VARIANT* result, IDispatch* object)
    {
        if (result == nullptr) {
            object->Release();
            return E_POINTER;
        }
        VariantInit(result);
        result->vt = VT_DISPATCH;
        result->pdispVal = object;
        return S_OK;
    }

    HRESULT Count(std::size_t expected) const
    {
        return m_args.size() == expected ? S_OK : DISP_E_BADPARAMCOUNT;
    }

    // With readFiles: reads the file being opened into fileText, or fails.
    bool ReadOpened()
    {
        FakeOffice& o = *m_office;
        std::u16string wide;
        Text(0, wide);
        const std::string path = WideToAnsi(wide);
        if (o.onOpen) o.onOpen(path);
        if (!o.readFiles) return true;
        std::error_code ec;
        if (path.find("ruined") != std::string::npos || !std::filesystem::is_regular_file(path, ec)) return false;
        std::ifstream in(path, std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        o.fileText = Utf8ToUtf16(all.str());
        if (m_kind == Kind::Workbooks) o.sheets = {{o.fileText}};
        return true;
    }

    HRESULT Answer(DISPID id, const std::string& kind, VARIANT* result, EXCEPINFO* info)
    {
        FakeOffice& o = *m_office;
        const auto none = [result] {
            if (result != nullptr) VariantInit(result);
            return S_OK;
        };
        switch (m_kind) {
        case Kind::WordApp:
            if (id == 0x17 && kind == "put") return Count(1);
            if (id == 0x451 && kind == "call") return Count(3);
            if (id == 0x6 && kind == "get") return o.noDocuments ? none() : Give(result, new FakeObject(m_office, Kind::Documents));
            if (id == 0x5 && kind == "get") return o.noSelection ? none() : Give(result, new FakeObject(m_office, Kind::Selection));
            break;
        case Kind::Documents: {
            std::size_t expected = id == 0xF ? 12 : id == 0x12 ? 15 : id == 0x13 ? 16 : 0;
            if (expected == 0 || kind != "call") break;
            if (FAILED(Count(expected))) return DISP_E_BADPARAMCOUNT;
            if (!ReadOpened()) return ReportError(info, u"Word", u"cannot open");
            if (o.openGivesNone) return none();
            ++o.documentsOpen;
            return Give(result, new FakeObject(m_office, Kind::Document));
        }
        case Kind::Document:
            if (id == 0x451 && kind == "call") {
                if (FAILED(Count(3))) return DISP_E_BADPARAMCOUNT;
                if (!m_closed) --o.documentsOpen;
                m_closed = true;
                return S_OK;
            }
            break;
        case Kind::Selection:
            if (id == 0x106 && kind == "get") return Give(result, new FakeObject(m_office, Kind::Find));
            break;
        case Kind::Find:
            if (id == 0x1BC && kind == "call") {
                if (FAILED(Count(15))) return DISP_E_BADPARAMCOUNT;
                std::u16string text;
                if (!Text(0, text)) return DISP_E_TYPEMISMATCH;
                const bool replacing = m_args[10]->vt == VT_I2 && m_args[10]->iVal != 0;
                const bool found = replacing || (o.readFiles ? o.fileText.find(text) != std::u16string::npos
                                                             : o.wordFinds.count(text) != 0);
                if (result != nullptr) {
                    VariantInit(result);
                    result->vt = VT_BOOL;
                    result->boolVal = found ? VARIANT_TRUE : VARIANT_FALSE;
                }
                return S_OK;
            }
            break;
        case Kind::ExcelApp:
            if ((id == 0x22E || id == 0x157) && kind == "put") return Count(1);
            if (id == 0x12E && kind == "call") return Count(0);
            if (id == 0x23C && kind == "get") return o.noWorkbooks ? none() : Give(result, new FakeObject(m_office, Kind::Workbooks));
            break;
        case Kind::Workbooks: {
            std::size_t expected = id == 0x2AA ? 13 : id == 0x783 ? 15 : 0;
            if (expected == 0 || kind != "call") break;
            if (FAILED(Count(expected))) return DISP_E_BADPARAMCOUNT;
            if (!ReadOpened()) return ReportError(info, u"Excel", u"cannot open");
            if (o.openGivesNone) return none();
            ++o.workbooksOpen;
            return Give(result, new FakeObject(m_office, Kind::Workbook));
        }
        case Kind::Workbook:
            if (id == 0x1EE && kind == "get") return Give(result, new FakeObject(m_office, Kind::Worksheets));
            if (id == 0x115 && kind == "call") {
                if (FAILED(Count(3))) return DISP_E_BADPARAMCOUNT;
                if (!m_closed) --o.workbooksOpen;
                m_closed = true;
                return S_OK;
            }
            break;
        case Kind::Worksheets:
            if (id == 0x76 && kind == "get") {
                if (result != nullptr) {
                    VariantInit(result);
                    result->vt = VT_I4;
                    result->lVal = static_cast<LONG>(o.sheets.size());
                }
                return S_OK;
            }
            if (id == 0xAA && kind == "get") {
                if (FAILED(Count(1)) || m_args[0]->vt != VT_I4) return DISP_E_TYPEMISMATCH;
                const long index = m_args[0]->lVal;
                if (index < 1 || index > static_cast<long>(o.sheets.size())) return E_INVALIDARG;
                return Give(result, new FakeObject(m_office, Kind::Worksheet, index));
            }
            break;
        case Kind::Worksheet:
            if (id == 0xEB && kind == "call") return Count(1);
            if (id == 0xEE && kind == "get") return Give(result, new FakeObject(m_office, Kind::Range, m_sheet));
            break;
        case Kind::Range:
            if (id == 0x18E && kind == "call") {
                if (m_args.size() != 8 && m_args.size() != 9) return DISP_E_BADPARAMCOUNT;
                std::u16string what;
                if (!Text(0, what) || m_args[6]->vt != VT_BOOL) return DISP_E_TYPEMISMATCH;
                const bool matchCase = m_args[6]->boolVal != 0;
                const auto fold = [matchCase](std::u16string s) {
                    if (!matchCase)
                        for (auto& c : s)
                            if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
                    return s;
                };
                for (const auto& cell : o.sheets.at(static_cast<std::size_t>(m_sheet - 1)))
                    if (fold(cell).find(fold(what)) != std::u16string::npos)
                        return Give(result, new FakeObject(m_office, Kind::Range, m_sheet));
                return none();
            }
            break;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

    std::shared_ptr<FakeOffice> m_office;
    Kind m_kind;
    long m_sheet;
    bool m_closed = false;
    std::vector<const VARIANT*> m_args;  // declared order, by-reference resolved; valid during Invoke
};

}  // namespace

std::string FakeCall::Describe() const
{
    std::string out = object + "." + Hex(dispid) + " " + kind + "(";
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (i > 0) out += ", ";
        out += args[i];
    }
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
    int n = 0;
    for (const FakeCall& c : calls) n += c.Describe().rfind(prefix, 0) == 0 ? 1 : 0;
    return n;
}

int FakeOffice::Opens(const std::string& path) const
{
    int n = 0;
    for (const FakeCall& c : calls)
        n += (c.object == "Documents" || c.object == "Workbooks") && !c.args.empty() &&
                     (c.args[0] == "&str:" + path || c.args[0] == "str:" + path)
                 ? 1
                 : 0;
    return n;
}

void InstallFakeWord(const std::shared_ptr<FakeOffice>& office)
{
    RegisterServer("Word.Application", [office]() -> IDispatch* { return new FakeObject(office, Kind::WordApp); });
}

void InstallFakeExcel(const std::shared_ptr<FakeOffice>& office)
{
    RegisterServer("Excel.Application", [office]() -> IDispatch* { return new FakeObject(office, Kind::ExcelApp); });
}

void RemoveFakes()
{
    UnregisterServer("Word.Application");
    UnregisterServer("Excel.Application");
}
