// Word's Find object of a selection: Execute runs one search over the whole
// document (or a replacement in memory).
#pragma once

#include "office/word/worddocument.h"
#include "platform/oleauto.h"

#include <memory>

namespace office {

class CWordFindObject : public CDispatchObject {
public:
    explicit CWordFindObject(std::shared_ptr<WordDocument> document);

    HRESULT Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

private:
    HRESULT Execute(DISPPARAMS* params, VARIANT* result, EXCEPINFO* info, UINT* argErr);

    std::shared_ptr<WordDocument> m_document;
};

}  // namespace office
