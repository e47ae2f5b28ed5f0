// Range object of the built-in Excel (see excelrange.h).
#include "office/automation/excelrange.h"

#include "office/excel/cellformat.h"
#include "platform/exceldispids.h"

#include <algorithm>

namespace office {

namespace {

// The search text: Excel accepts a number or a Boolean for What as well and
// looks for the text it would show.
bool WhatText(const CDispArgs& args, std::u16string& out)
{
    const VARIANT* v = args.At(0);
    if (v == nullptr || args.IsMissing(0)) return false;
    if (args.GetString(0, out)) return true;
    if ((v->vt & VT_TYPEMASK) == VT_BOOL) {
        bool b = false;
        if (!args.GetBool(0, b)) return false;
        out = b ? u"TRUE" : u"FALSE";
        return true;
    }
    if ((v->vt & VT_TYPEMASK) == VT_R8) {
        out = FormatGeneral((v->vt & VT_BYREF) != 0 ? *v->pdblVal : v->dblVal);
        return true;
    }
    long n = 0;
    if (!args.GetLong(0, n)) return false;
    out = FormatGeneral(static_cast<double>(n));
    return true;
}

}  // namespace

HRESULT CExcelRange::Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                            EXCEPINFO* pExcepInfo, UINT* puArgErr)
{
    return GuardedCall(pExcepInfo, kExcelFailureTexts,
                       [&] { return Dispatch(dispIdMember, wFlags, pDispParams, pVarResult, pExcepInfo, puArgErr); });
}

const Cell* CExcelRange::TopLeftCell() const
{
    const auto& cells = m_data->book->sheets[m_sheet].cells;
    const auto it = std::lower_bound(cells.begin(), cells.end(), m_area, [](const Cell& c, const CellArea& a) {
        return c.row != a.firstRow ? c.row < a.firstRow : c.column < a.firstColumn;
    });
    if (it == cells.end() || it->row != m_area.firstRow || it->column != m_area.firstColumn) return nullptr;
    return &*it;
}

HRESULT CExcelRange::Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info, UINT* argErr)
{
    const CDispArgs args(params);
    switch (id) {
    case ExcelDispid::RangeFind:
        if ((flags & DISPATCH_METHOD) == 0) return DISP_E_MEMBERNOTFOUND;
        return Find(args, result, info, argErr);
    case ExcelDispid::RangeRow:
    case ExcelDispid::RangeColumn:
        if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
        if (result != nullptr) {
            VariantInit(result);
            result->vt = VT_I4;
            result->lVal = static_cast<LONG>((id == ExcelDispid::RangeRow ? m_area.firstRow : m_area.firstColumn) + 1);
        }
        return S_OK;
    case ExcelDispid::RangeValue:
    case ExcelDispid::RangeText: {
        // The value or shown text of the range's first cell.
        if (!IsGet(flags)) return DISP_E_MEMBERNOTFOUND;
        if (result == nullptr) return S_OK;
        VariantInit(result);
        const Cell* cell = TopLeftCell();
        if (cell == nullptr) {
            if (id == ExcelDispid::RangeText) {
                result->vt = VT_BSTR;
                result->bstrVal = SysAllocStringFrom(u"");
            }
            return S_OK;
        }
        const Workbook& book = *m_data->book;
        if (id == ExcelDispid::RangeText || cell->kind == CellKind::Text) {
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocStringFrom(book.Text(cell->shown));
        } else if (cell->kind == CellKind::Boolean) {
            result->vt = VT_BOOL;
            result->boolVal = cell->number != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        } else if (cell->kind == CellKind::Error) {
            // Excel's CVErr values: 2000 + the error code.
            result->vt = VT_ERROR;
            result->scode = static_cast<SCODE>(0x800A07D0 + static_cast<unsigned>(cell->number));
        } else {
            result->vt = VT_R8;
            result->dblVal = cell->number;
        }
        return S_OK;
    }
    default: return DISP_E_MEMBERNOTFOUND;
    }
}

HRESULT CExcelRange::Find(const CDispArgs& args, VARIANT* result, EXCEPINFO* info, UINT* argErr)
{
    // What, After, LookIn, LookAt, SearchOrder, SearchDirection, MatchCase,
    // MatchByte, and from Excel XP on SearchFormat.
    if (args.Count() < 1 || args.Count() > 9) return DISP_E_BADPARAMCOUNT;
    auto bad = [&](UINT index) {
        if (argErr != nullptr) *argErr = args.Count() - 1 - index;
        return DISP_E_TYPEMISMATCH;
    };
    RangeFindOptions options;
    if (args.IsMissing(0)) {
        if (argErr != nullptr) *argErr = args.Count() - 1;
        return DISP_E_PARAMNOTFOUND;
    }
    if (!WhatText(args, options.what)) return bad(0);

    std::optional<CellPos> after;
    if (!args.IsMissing(1)) {
        const VARIANT* v = args.At(1);
        if ((v->vt & VT_TYPEMASK) != VT_DISPATCH) return bad(1);
        IDispatch* d = (v->vt & VT_BYREF) != 0 ? (v->ppdispVal != nullptr ? *v->ppdispVal : nullptr) : v->pdispVal;
        const auto* range = d != nullptr ? dynamic_cast<const CExcelRange*>(d) : nullptr;
        if (range == nullptr || range->m_data != m_data || range->m_sheet != m_sheet)
            return ReportError(info, u"Excel", u"Find: After must be a cell of the searched range", E_INVALIDARG);
        after = CellPos{range->m_area.firstRow, range->m_area.firstColumn};
    }
    long lookIn = xlFormulas;
    long lookAt = xlPart;
    long order = xlByRows;
    long direction = xlNext;
    bool matchCase = false;
    if (!args.GetLong(2, lookIn, xlFormulas)) return bad(2);
    if (!args.GetLong(3, lookAt, xlPart)) return bad(3);
    if (!args.GetLong(4, order, xlByRows)) return bad(4);
    if (!args.GetLong(5, direction, xlNext)) return bad(5);
    if (!args.GetBool(6, matchCase, false)) return bad(6);
    if (lookIn == xlFormulas) options.lookIn = FindLookIn::Formulas;
    else if (lookIn == xlValues) options.lookIn = FindLookIn::Values;
    else if (lookIn == xlComments) options.lookIn = FindLookIn::Comments;
    else return ReportError(info, u"Excel", u"Find: bad LookIn", E_INVALIDARG);
    if (lookAt == xlWhole) options.lookAt = FindLookAt::Whole;
    else if (lookAt == xlPart) options.lookAt = FindLookAt::Part;
    else return ReportError(info, u"Excel", u"Find: bad LookAt", E_INVALIDARG);
    if (order == xlByColumns) options.order = FindOrder::ByColumns;
    else if (order == xlByRows) options.order = FindOrder::ByRows;
    else return ReportError(info, u"Excel", u"Find: bad SearchOrder", E_INVALIDARG);
    // Callers pass 0 for the direction as well as xlNext; only xlPrevious
    // searches backwards.
    options.direction = direction == xlPrevious ? FindDirection::Previous : FindDirection::Next;
    options.matchCase = matchCase;

    if (after && !m_area.Contains(after->row, after->column))
        return ReportError(info, u"Excel", u"Find: After must be a cell of the searched range", E_INVALIDARG);
    const auto found = m_data->finder.Find(m_sheet, m_area, options, after);
    if (!found) {
        ReturnDispatch(result, nullptr);  // Nothing
        return S_OK;
    }
    CellArea cell{found->row, found->column, found->row, found->column};
    ReturnDispatch(result, new CExcelRange(m_data, m_sheet, cell));
    return S_OK;
}

}  // namespace office
