// The compiled find texts of one Word application (see FindPlan in
// wordfind.h): a searcher asks every document for the same keywords and the
// same clearing passes, so each is made ready once per run, not once per
// document and call. Bounded; used by one thread at a time.
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

private:
    // More than the searcher's 256 keywords and the clearing passes; past
    // it the cache starts again rather than grow.
    static constexpr std::size_t kMaxPlans = 1024;
    std::unordered_map<std::u16string, std::shared_ptr<FindPlan>> m_plans;
};

}  // namespace office
