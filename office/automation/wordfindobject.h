// Word's Find object of a selection: Execute runs one search over the whole
// document (or a replacement in memory).
//
// A searcher calls Execute over and over with the same few argument lists
// (the clearing passes, then a keyword): the object remembers the last few
// lists as passed, with what they decoded to and the compiled find text, so
// a repeated call costs a comparison of its arguments.
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

    // One argument list as passed: each argument's type and value (a
    // string's units apart), by-reference values looked through.
    struct RawCall {
        UINT count = 0;
        std::array<VARTYPE, kMaxArgs> types{};
        std::array<std::uint64_t, kMaxArgs> values{};
        std::array<std::u16string, kMaxArgs> texts;
    };
    struct Decoded {
        bool used = false;
        RawCall raw;
        std::shared_ptr<FindPlan> plan;
        ReplaceMode replace = ReplaceMode::None;
        std::u16string replaceWith;
    };

    HRESULT Execute(DISPPARAMS* params, VARIANT* result, EXCEPINFO* info, UINT* argErr);
    // Decodes and checks the arguments; S_OK with `out` filled, or the
    // failure to report.
    HRESULT Decode(DISPPARAMS* params, EXCEPINFO* info, UINT* argErr, Decoded& out);
    static bool ReadRaw(const DISPPARAMS* params, RawCall& out);
    static bool SameCall(const RawCall& a, const DISPPARAMS* params);

    std::shared_ptr<WordDocument> m_document;
    std::shared_ptr<FindPlanCache> m_plans;
    std::array<Decoded, 4> m_recent;
    std::size_t m_nextSlot = 0;
};

}  // namespace office
