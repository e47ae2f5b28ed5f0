// The built-in Excel's Range object: a rectangle of one sheet (all cells
// for Worksheet.Cells, one cell for what Find returns), with Find, Row,
// Column, Value and Text.
#pragma once

#include "office/automation/excelworkbook.h"

namespace office {

class CExcelRange : public CDispatchObject {
public:
    // Excel's constants for Find's arguments.
    static constexpr long xlFormulas = -4123;
    static constexpr long xlValues = -4163;
    static constexpr long xlComments = -4144;
    static constexpr long xlWhole = 1;
    static constexpr long xlPart = 2;
    static constexpr long xlByRows = 1;
    static constexpr long xlByColumns = 2;
    static constexpr long xlNext = 1;
    static constexpr long xlPrevious = 2;

    CExcelRange(std::shared_ptr<ExcelBookData> data, std::size_t sheet, const CellArea& area)
        : m_data(std::move(data)), m_sheet(sheet), m_area(area)
    {
    }

    HRESULT Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    const CellArea& Area() const { return m_area; }

private:
    HRESULT Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info, UINT* argErr);
    HRESULT Find(const CDispArgs& args, VARIANT* result, EXCEPINFO* info, UINT* argErr);
    const Cell* TopLeftCell() const;

    std::shared_ptr<ExcelBookData> m_data;
    std::size_t m_sheet;
    CellArea m_area;
};

}  // namespace office
