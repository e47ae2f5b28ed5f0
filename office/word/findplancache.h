// The compiled find texts of one Word application (see FindPlan in
// wordfind.h): a searcher asks every document for the same keywords and the
// same clearing passes, so each is made ready once per run, not once per
// document and call. The same goes for whole calls: what a call's arguments
// came to is kept under an encoding of them (the caller's own), so a call
// seen in an earlier document is not decoded again. Bounded; used by one
// thread at a time.
#pragma once

#include "office/word/wordfind.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace office {

// What one call's arguments came to.
struct PreparedFind {
    std::shared_ptr<FindPlan> plan;
    ReplaceMode replace = ReplaceMode::None;
    std::u16string replaceWith;
};

class FindPlanCache {
public:
    std::shared_ptr<FindPlan> Get(std::u16string_view findText, const FindOptions& options);
    std::size_t Size() const { return m_plans.size(); }

    // The call remembered under `encoded`, or null.
    std::shared_ptr<const PreparedFind> Call(std::u16string_view encoded) const;
    void RememberCall(std::u16string_view encoded, std::shared_ptr<const PreparedFind> call);

private:
    struct Hash {
        using is_transparent = void;
        // The length and the start (where the find text of a call
        // stands) tell calls apart well enough; equal keys are compared
        // whole.
        std::size_t operator()(std::u16string_view s) const
        {
            return std::hash<std::u16string_view>{}(s.substr(0, 32)) ^ (s.size() * 0x9E3779B97F4A7C15u);
        }
    };
    static constexpr std::size_t kMaxCalls = 1024;
    std::unordered_map<std::u16string, std::shared_ptr<const PreparedFind>, Hash, std::equal_to<>> m_calls;

    // More than the searcher's 256 keywords and the clearing passes; past
    // it the cache starts again rather than grow.
    static constexpr std::size_t kMaxPlans = 1024;
    std::unordered_map<std::u16string, std::shared_ptr<FindPlan>> m_plans;
};

}  // namespace office
