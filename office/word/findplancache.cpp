// Compiled find texts kept across documents (see findplancache.h).
#include "office/word/findplancache.h"

namespace office {

std::shared_ptr<FindPlan> FindPlanCache::Get(std::u16string_view findText, const FindOptions& options)
{
    std::u16string key;
    key.reserve(findText.size() + 1);
    key.push_back(static_cast<char16_t>(u'0' + (options.matchCase ? 1 : 0) + (options.matchWholeWord ? 2 : 0) +
                                        (options.matchWildcards ? 4 : 0) + (options.matchSoundsLike ? 8 : 0) +
                                        (options.matchAllWordForms ? 16 : 0)));
    key += findText;
    const auto it = m_plans.find(key);
    if (it != m_plans.end()) return it->second;
    if (m_plans.size() >= kMaxPlans) m_plans.clear();
    auto plan = CompileFind(findText, options);
    m_plans.emplace(std::move(key), plan);
    return plan;
}

}  // namespace office
