// The documents one "Word.Application" has open. The application, its
// Documents collections and every open document share it; a document only
// knows it weakly, so closing after the application is gone is harmless.
// The session holds one reference on each open document until it is closed
// or the application quits, and the find texts compiled for any of them.
#pragma once

#include "office/automation/findcallmemo.h"
#include "office/word/findplancache.h"
#include "office/word/worddocument.h"
#include "platform/oleauto.h"

#include <memory>
#include <utility>
#include <vector>

namespace office {

class CWordSession {
public:
    CWordSession() = default;
    ~CWordSession();
    CWordSession(const CWordSession&) = delete;
    CWordSession& operator=(const CWordSession&) = delete;

    // Takes a reference on `object`.
    void Add(IDispatch* object, std::shared_ptr<WordDocument> model);
    // Drops the session's reference; false when it was not open.
    bool Remove(IDispatch* object);
    // The document opened last that is still open, or null.
    std::shared_ptr<WordDocument> ActiveDocument() const;
    std::size_t Count() const { return m_open.size(); }
    void CloseAll();
    // Shared with the Find objects, which may outlive the application.
    const std::shared_ptr<FindPlanCache>& Plans() const { return m_plans; }
    const std::shared_ptr<FindCallMemo>& Calls() const { return m_calls; }

private:
    std::shared_ptr<FindPlanCache> m_plans = std::make_shared<FindPlanCache>();
    std::shared_ptr<FindCallMemo> m_calls = std::make_shared<FindCallMemo>();
    std::vector<std::pair<IDispatch*, std::shared_ptr<WordDocument>>> m_open;
};

}  // namespace office
