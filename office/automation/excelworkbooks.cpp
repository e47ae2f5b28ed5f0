// Workbooks collection of the built-in Excel (see excelworkbooks.h).
#include "office/automation/excelworkbooks.h"

#include "office/automation/excelworkbook.h"
#include "office/automation/readahead.h"
#include "office/excel/workbookloader.h"
#include "platform/cancellation.h"
#include "platform/codepage.h"
#include "platform/exceldispids.h"

#include <algorithm>

namespace office {

namespace {

// The name Excel gives a workbook: the file name without its folder.
std::u16string BaseName(const std::u16string& path)
{
    const auto slash = path.find_last_of(u'/');
    return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

}  // namespace

CExcelWorkbooks::~CExcelWorkbooks()
{
    CloseAll();
}

void CExcelWorkbooks::CloseAll()
{
    std::vector<CExcelWorkbook*> open;
    open.swap(m_open);
    for (CExcelWorkbook* wb : open) {
        wb->Detach();
        wb->Release();
    }
}

void CExcelWorkbooks::Remove(CExcelWorkbook* workbook)
{
    const auto it = std::find(m_open.begin(), m_open.end(), workbook);
    if (it == m_open.end()) return;
    m_open.erase(it);
    workbook->Detach();
    workbook->Release();
}

HRESULT CExcelWorkbooks::Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                EXCEPINFO* pExcepInfo, UINT* puArgErr)
{
    return GuardedCall(pExcepInfo, kExcelFailureTexts,
                       [&] { return Dispatch(dispIdMember, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr); });
}

HRESULT CExcelWorkbooks::Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info,
                                  UINT* argErr)
{
    const CDispArgs args(params);
    switch (id) {
    case ExcelDispid::WorkbooksOpen9:
    case ExcelDispid::WorkbooksOpen10:
        if ((flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
        return Open(args, id == ExcelDispid::WorkbooksOpen9 ? 13u : 15u, result, info, argErr);
    case ExcelDispid::WorkbooksCount:
        if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
        if (result != nullptr) {
            VariantInit(result);
            result->vt = VT_I4;
            result->lVal = static_cast<LONG>(m_open.size());
        }
        return S_OK;
    case ExcelDispid::WorkbooksItem: {
        if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
        long index = 0;
        if (args.Count() != 1 || !args.GetLong(0, index)) return DISP_E_TYPEMISMATCH;
        if (index < 1 || static_cast<std::size_t>(index) > m_open.size())
            return ReportError(info, u"Excel", u"Subscript out of range", E_INVALIDARG);
        CExcelWorkbook* wb = m_open[static_cast<std::size_t>(index - 1)];
        wb->AddRef();
        ReturnDispatch(result, wb);
        return S_OK;
    }
    default: return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT CExcelWorkbooks::Open(const CDispArgs& args, UINT maxArgs, VARIANT* result, EXCEPINFO* info, UINT* argErr)
{
    if (args.Count() < 1 || args.Count() > maxArgs) return DISP_E_BADPARAMCOUNT;
    std::u16string path;
    if (args.IsMissing(0)) {
        if (argErr != nullptr) *argErr = args.Count() - 1;  // rgvarg index of the first argument
        return DISP_E_PARAMNOTFOUND;
    }
    if (!args.GetString(0, path)) {
        if (argErr != nullptr) *argErr = args.Count() - 1;
        return DISP_E_TYPEMISMATCH;
    }
    const std::string filePath = WideToAnsi(path);
    std::shared_ptr<Workbook> model;
    ReadError error;
    bool read = false;
    // A workbook read ahead while the previous file was searched, if the
    // file has not changed since.
    std::unique_ptr<ReadAheadResult> ready = CReadAhead::Instance().Take(filePath, true);
    if (ready) {
        read = ready->ok;
        error = ready->error;
        model = std::move(ready->workbook);
    } else {
        model = ReadWorkbookModel(filePath, error);
        read = model != nullptr;
    }
    if (!read) {
        // A reader that gave up because of Stop did not find the file bad.
        platform::ThrowIfStopRequested();
        std::u16string message = u"'" + path + u"' could not be opened: " + Utf8ToUtf16(error.detail);
        return ReportError(info, u"Excel", message, E_FAIL);
    }
    auto data = std::make_shared<ExcelBookData>(std::move(model));
    data->name = BaseName(path);
    auto* wb = new CExcelWorkbook(std::move(data), this);
    m_open.push_back(wb);  // the collection's reference
    wb->AddRef();
    ReturnDispatch(result, wb);
    return S_OK;
}

}  // namespace office
