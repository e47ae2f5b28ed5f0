// Word's Selection of the active document; all the searcher asks of it is
// its Find object.
#pragma once

#include "office/automation/findcallmemo.h"
#include "office/word/findplancache.h"
#include "office/word/worddocument.h"
#include "platform/oleauto.h"

#include <memory>

namespace office {

class CWordSelection : public CDispatchObject {
public:
    CWordSelection(std::shared_ptr<WordDocument> document, std::shared_ptr<FindPlanCache> plans,
                   std::shared_ptr<FindCallMemo> calls);

    HRESULT Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

private:
    std::shared_ptr<WordDocument> m_document;
    std::shared_ptr<FindPlanCache> m_plans;
    std::shared_ptr<FindCallMemo> m_calls;
};

}  // namespace office
