// Fake Word and Excel for driver tests (see fakeoffice.h).
#include "support/fakeoffice.h"

#include "kestrel/officewrappers.h"
#include "platform/codepage.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

HRESULT ReturnDispatch(VARIANT* result, IDispatch* object)
{
    if (result == nullptr) {
        if (object != nullptr) object->Release();
        return S_OK;
    }
    VariantInit(result);
    result->vt = VT_DISPATCH;
    result->pdispVal = object;
    return S_OK;
}

HRESULT ReturnBool(VARIANT* result, bool value)
{
    if (result != nullptr) {
        VariantInit(result);
        result->vt = VT_BOOL;
        result->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return S_OK;
}

// Reads the file for a fake open; false for anything that is not a
// readable file or whose name says it is ruined.
bool ReadForOpen(const std::string& path, std::string& text)
{
    if (path.find("ruined") != std::string::npos) return false;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
    return true;
}

class FakeFind : public CDispatchObject {
public:
    explicit FakeFind(std::string text) : m_text(std::move(text)) {}
    HRESULT Invoke(DISPID id, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) override
    {
        if (id != WordDispid::FindExecute) return DISP_E_MEMBERNOTFOUND;
        CDispArgs args(params);
        std::u16string what;
        long replace = 0;
        args.GetString(0, what);
        args.GetLong(10, replace);
        if (replace == 2) return ReturnBool(result, false);
        return ReturnBool(result, m_text.find(WideToAnsi(what)) != std::string::npos);
    }

private:
    std::string m_text;
};

class FakeSelection : public CDispatchObject {
public:
    explicit FakeSelection(std::string text) : m_text(std::move(text)) {}
    HRESULT Invoke(DISPID id, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override
    {
        if (id != WordDispid::SelectionFind) return DISP_E_MEMBERNOTFOUND;
        return ReturnDispatch(result, new FakeFind(m_text));
    }

private:
    std::string m_text;
};

class FakeWordApp;

class FakeDocument : public CDispatchObject {
public:
    FakeDocument(FakeWordApp* app, std::string content) : m_app(app), text(std::move(content)) {}
    HRESULT Invoke(DISPID id, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;
    FakeWordApp* m_app;
    std::string text;
};

class FakeWordApp : public CDispatchObject {
public:
    explicit FakeWordApp(FakeOfficeLog& log) : m_log(log) { m_log.Add("word:start"); }
    ~FakeWordApp() override { CloseActive(); }

    void CloseActive()
    {
        if (m_active != nullptr) m_active->Release();
        m_active = nullptr;
    }

    HRESULT Invoke(DISPID id, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info, UINT*) override;

    FakeOfficeLog& m_log;
    FakeDocument* m_active = nullptr;
};

class FakeDocuments : public CDispatchObject {
public:
    explicit FakeDocuments(FakeWordApp* app) : m_app(app) { m_app->AddRef(); }
    ~FakeDocuments() override { m_app->Release(); }
    HRESULT Invoke(DISPID id, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info, UINT*) override
    {
        if (id != WordDispid::DocumentsOpen9 && id != WordDispid::DocumentsOpen10 && id != WordDispid::DocumentsOpen11)
            return DISP_E_MEMBERNOTFOUND;
        std::u16string wide;
        CDispArgs(params).GetString(0, wide);
        const std::string path = WideToAnsi(wide);
        m_app->m_log.Add("word:open:" + path);
        if (m_app->m_log.onOpen) m_app->m_log.onOpen(path);
        std::string text;
        if (!ReadForOpen(path, text)) return ReportError(info, u"Word", u"cannot open");
        m_app->CloseActive();
        auto* doc = new FakeDocument(m_app, text);
        doc->AddRef();
        m_app->m_active = doc;
        return ReturnDispatch(result, doc);
    }

private:
    FakeWordApp* m_app;
};

HRESULT FakeDocument::Invoke(DISPID id, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
{
    if (id != WordDispid::DocumentClose) return DISP_E_MEMBERNOTFOUND;
    if (m_app->m_active == this) m_app->CloseActive();
    return S_OK;
}

HRESULT FakeWordApp::Invoke(DISPID id, WORD flags, DISPPARAMS*, VARIANT* result, EXCEPINFO* info, UINT*)
{
    switch (id) {
    case WordDispid::ApplicationVisible:
        if (m_log.failWordVisible) return ReportError(info, u"Word", u"gone");
        m_log.Add("word:visible");
        return S_OK;
    case WordDispid::ApplicationQuit:
        m_log.Add("word:quit");
        CloseActive();
        return S_OK;
    case WordDispid::ApplicationDocuments:
        return ReturnDispatch(result, new FakeDocuments(this));
    case WordDispid::ApplicationSelection:
        if (m_active == nullptr) return ReturnDispatch(result, nullptr);
        return ReturnDispatch(result, new FakeSelection(m_active->text));
    default:
        (void)flags;
        return DISP_E_MEMBERNOTFOUND;
    }
}

// ---- Excel -------------------------------------------------------------------

class FakeRange : public CDispatchObject {
public:
    explicit FakeRange(std::string text) : m_text(std::move(text)) {}
    HRESULT Invoke(DISPID id, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) override
    {
        if (id != ExcelDispid::RangeFind) return DISP_E_MEMBERNOTFOUND;
        std::u16string what;
        CDispArgs(params).GetString(0, what);
        if (m_text.find(WideToAnsi(what)) == std::string::npos) return ReturnDispatch(result, nullptr);
        return ReturnDispatch(result, new FakeRange(m_text));
    }

private:
    std::string m_text;
};

class FakeSheet : public CDispatchObject {
public:
    explicit FakeSheet(std::string text) : m_text(std::move(text)) {}
    HRESULT Invoke(DISPID id, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override
    {
        if (id == ExcelDispid::WorksheetSelect) return S_OK;
        if (id == ExcelDispid::WorksheetCells) return ReturnDispatch(result, new FakeRange(m_text));
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    std::string m_text;
};

class FakeSheets : public CDispatchObject {
public:
    explicit FakeSheets(std::string text) : m_text(std::move(text)) {}
    HRESULT Invoke(DISPID id, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO* info, UINT*) override
    {
        if (id == ExcelDispid::WorksheetsCount) {
            if (result != nullptr) {
                VariantInit(result);
                result->vt = VT_I4;
                result->lVal = 1;
            }
            return S_OK;
        }
        if (id == ExcelDispid::WorksheetsItem) return ReturnDispatch(result, new FakeSheet(m_text));
        (void)info;
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    std::string m_text;
};

class FakeWorkbook : public CDispatchObject {
public:
    explicit FakeWorkbook(std::string text) : m_text(std::move(text)) {}
    HRESULT Invoke(DISPID id, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) override
    {
        if (id == ExcelDispid::WorkbookWorksheets) return ReturnDispatch(result, new FakeSheets(m_text));
        if (id == ExcelDispid::WorkbookClose) return S_OK;
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    std::string m_text;
};

class FakeWorkbooks : public CDispatchObject {
public:
    explicit FakeWorkbooks(FakeOfficeLog& log) : m_log(log) {}
    HRESULT Invoke(DISPID id, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info, UINT*) override
    {
        if (id != ExcelDispid::WorkbooksOpen9 && id != ExcelDispid::WorkbooksOpen10) return DISP_E_MEMBERNOTFOUND;
        std::u16string wide;
        CDispArgs(params).GetString(0, wide);
        const std::string path = WideToAnsi(wide);
        m_log.Add("excel:open:" + path);
        if (m_log.onOpen) m_log.onOpen(path);
        std::string text;
        if (!ReadForOpen(path, text)) return ReportError(info, u"Excel", u"cannot open");
        return ReturnDispatch(result, new FakeWorkbook(text));
    }

private:
    FakeOfficeLog& m_log;
};

class FakeExcelApp : public CDispatchObject {
public:
    explicit FakeExcelApp(FakeOfficeLog& log) : m_log(log) { m_log.Add("excel:start"); }
    HRESULT Invoke(DISPID id, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO* info, UINT*) override
    {
        switch (id) {
        case ExcelDispid::ApplicationVisible: m_log.Add("excel:visible"); return S_OK;
        case ExcelDispid::ApplicationDisplayAlerts: m_log.Add("excel:alerts"); return S_OK;
        case ExcelDispid::ApplicationQuit:
            if (m_log.failExcelQuit) return ReportError(info, u"Excel", u"gone");
            m_log.Add("excel:quit");
            return S_OK;
        case ExcelDispid::ApplicationWorkbooks: return ReturnDispatch(result, new FakeWorkbooks(m_log));
        default: return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    FakeOfficeLog& m_log;
};

}  // namespace

void RegisterFakeOffice(FakeOfficeLog& log)
{
    RegisterServer("Word.Application", [&log]() -> IDispatch* { return new FakeWordApp(log); });
    RegisterServer("Excel.Application", [&log]() -> IDispatch* { return new FakeExcelApp(log); });
}
