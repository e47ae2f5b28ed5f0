// Word's Find object of a selection: Execute runs one search over the whole
// document (or a replacement in memory).
//
// A searcher calls Execute over and over with the same few argument lists
// (the clearing passes, then a keyword), and the same lists in every
// document: the object remembers the last few lists as passed, and the
// application (FindPlanCache) every list seen, with what they decoded to and
// the compiled find text, so a repeated call costs an encoding of its
// arguments and a comparison.
#pragma once

#include "office/word/findplancache.h"
#include "office/word/worddocument.h"
#include "platform/oleauto.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace office {

class CWordFindObject : public CDispatchObject {
public:
    // `plans` may be null: every find text is then compiled for its call.
    CWordFindObject(std::shared_ptr<WordDocument> document, std::shared_ptr<FindPlanCache> plans = nullptr);

    HRESULT Invoke(DISPID dispIdMember, WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                   EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

private:
    static constexpr std::size_t kMaxArgs = 15;

    HRESULT Execute(DISPPARAMS* params, VARIANT* result, EXCEPINFO* info, UINT* argErr);
    // Decodes and checks the arguments; S_OK with `out` filled, or the
    // failure to report.
    HRESULT Decode(DISPPARAMS* params, EXCEPINFO* info, UINT* argErr, PreparedFind& out);
    // The argument list as passed, as one string: each argument's type and
    // value (a string's length and units, a scalar's 64 bits as four units
    // in the machine's order), by-reference values looked through. False
    // for a list that is not remembered.
    static bool Encode(const DISPPARAMS* params, std::u16string& out);
    // Whether the list as passed is the one Encode made `encoded` of.
    static bool Matches(const DISPPARAMS* params, std::u16string_view encoded);
    // Makes `call`, passed as m_encoded, the most recent list.
    const PreparedFind& Remember(std::shared_ptr<const PreparedFind> call);

    std::shared_ptr<WordDocument> m_document;
    std::shared_ptr<FindPlanCache> m_plans;
    struct Recent {
        std::u16string encoded;
        std::shared_ptr<const PreparedFind> call;
    };
    std::array<Recent, 4> m_recent;
    // Slots of m_recent, the most recently used first.
    std::array<std::uint8_t, 4> m_order{0, 1, 2, 3};
    std::u16string m_encoded;
};

}  // namespace office
