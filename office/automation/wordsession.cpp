// Open-document bookkeeping of the built-in Word (see wordsession.h).
#include "office/automation/wordsession.h"

#include <algorithm>

namespace office {

CWordSession::~CWordSession()
{
    CloseAll();
}

void CWordSession::Add(IDispatch* object, std::shared_ptr<WordDocument> model)
{
    m_open.emplace_back(object, std::move(model));
    object->AddRef();
}

bool CWordSession::Remove(IDispatch* object)
{
    const auto it = std::find_if(m_open.begin(), m_open.end(), [object](const auto& e) { return e.first == object; });
    if (it == m_open.end()) return false;
    m_open.erase(it);
    object->Release();
    return true;
}

std::shared_ptr<WordDocument> CWordSession::ActiveDocument() const
{
    return m_open.empty() ? nullptr : m_open.back().second;
}

void CWordSession::CloseAll()
{
    // Released after the list is emptied: a document's destructor may look
    // at the session.
    auto open = std::move(m_open);
    m_open.clear();
    for (auto& entry : open) entry.first->Release();
}

}  // namespace office
