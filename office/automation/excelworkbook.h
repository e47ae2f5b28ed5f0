// The built-in Excel's Workbook object: one opened workbook, its Worksheets
// collection and Close. Also the state that the objects of one workbook
// share: the model and the find engine with its case-folding cache.
#pragma once

#include "office/excel/rangefind.h"
#include "office/excel/workbook.h"
#include "platform/oleauto.h"

#include <memory>
#include <string>

namespace office {

class CExcelWorkbooks;

struct ExcelBookData {
    explicit ExcelBookData(std::shared_ptr<Workbook> model) : book(model), finder(model) {}
    std::shared_ptr<const Workbook> book;
    RangeFinder finder;
    std::u16string name;
};

// Puts `object` (one reference, handed over) into `result`, or releases it
// when the caller wants no result.
void ReturnDispatch(VARIANT* result, IDispatch* object);
// True for a property read (Excel also answers a get made as a method call).
inline bool IsGet(WORD flags)
{
    return (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) != 0;
}
inline bool IsPut(WORD flags)
{
    return (flags & DISPATCH_PROPERTYPUT) != 0;
}
// What the built-in Excel reports when a call fails by an exception.
inline constexpr CServerFailureTexts kExcelFailureTexts{u"Excel", u"Not enough memory.", u"Internal error.",
                                                        E_UNEXPECTED};

class CExcelWorkbook : public CDispatchObject {
public:
    CExcelWorkbook(std::shared_ptr<ExcelBookData> data, CExcelWorkbooks* owner);

    HRESULT Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    // The collection lets go of the workbook (Quit, or the collection ends).
    void Detach() { m_owner = nullptr; }
    const std::shared_ptr<ExcelBookData>& Data() const { return m_data; }

private:
    HRESULT Dispatch(DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* info);
    std::shared_ptr<ExcelBookData> m_data;
    CExcelWorkbooks* m_owner;
};

}  // namespace office
