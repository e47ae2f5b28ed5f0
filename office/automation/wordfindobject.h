// Word's Find object of a selection: Execute runs one search over the whole
// document (or a replacement in memory).
//
// A searcher calls Execute over and over with the same few argument lists
// (the clearing passes, then a keyword), and the same lists in the same
// order in every document: the application remembers every list seen
// (FindCallMemo) with what it decoded to and the compiled find text, and
// the order the last document's calls came in. A call that comes where the
// same list came last time costs a comparison of its arguments; any other
// known list a look-up and a comparison.
#pragma once

#include "office/automation/findcallmemo.h"
#include "office/word/findplancache.h"
#include "office/word/worddocument.h"
#include "platform/oleauto.h"

#include <memory>
#include <vector>

namespace office {

class CWordFindObject : public CDispatchObject {
public:
    // `plans` may be null: every find text is then compiled for its call.
    // Without `calls` the object remembers the lists of its own calls only.
    CWordFindObject(std::shared_ptr<WordDocument> document, std::shared_ptr<FindPlanCache> plans = nullptr,
                    std::shared_ptr<FindCallMemo> calls = nullptr);

    ~CWordFindObject() override;

    HRESULT Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

private:
    HRESULT Execute(DISPPARAMS* params, VARIANT* result, EXCEPINFO* info, UINT* argErr);
    // Decodes and checks the arguments; S_OK with `out` filled, or the
    // failure to report.
    HRESULT Decode(DISPPARAMS* params, EXCEPINFO* info, UINT* argErr, PreparedFind& out);

    std::shared_ptr<WordDocument> m_document;
    std::shared_ptr<FindPlanCache> m_plans;
    std::shared_ptr<FindCallMemo> m_calls;
    // The lists of this object's calls so far, for the memo's sequence.
    std::vector<const FindCallMemo::Entry*> m_sequence;
    std::uint64_t m_generation = 0;
};

}  // namespace office
