// The automation exception family (see oleexception.h).
#include "platform/oleexception.h"

#include "platform/codepage.h"

#include <cstdio>
#include <cstring>

// ---- CException -------------------------------------------------------

namespace {

// The block most recently handed out by CException::operator new on this
// thread. The base constructor, which runs next for that block, claims it;
// a stack object never has that address.
thread_local void* t_lastHeapException = nullptr;

}  // namespace

void* CException::operator new(std::size_t size)
{
    void* block = ::operator new(size);
    t_lastHeapException = block;
    return block;
}

void CException::operator delete(void* block) noexcept
{
    ::operator delete(block);
}

CException::CException(bool autoDelete) : m_bAutoDelete(autoDelete), m_bOnHeap(this == t_lastHeapException)
{
    if (m_bOnHeap) t_lastHeapException = nullptr;
}

CException::~CException() = default;

void CException::Delete()
{
    if (m_bAutoDelete && m_bOnHeap) delete this;
}

std::string CException::GetErrorMessage() const
{
    return {};
}

bool CException::GetErrorMessage(char* buffer, UINT maxChars, UINT* helpContext) const
{
    if (helpContext != nullptr) *helpContext = 0;
    if (buffer == nullptr || maxChars == 0) return false;
    const std::string text = GetErrorMessage();
    const std::size_t n = text.size() < maxChars - 1 ? text.size() : maxChars - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return !text.empty();
}

// ---- COleException ----------------------------------------------------

COleException::COleException(SCODE sc) : m_sc(sc) {}

COleException::~COleException() = default;

std::string COleException::GetErrorMessage() const
{
    char text[64];
    std::snprintf(text, sizeof text, "OLE error 0x%08X", static_cast<unsigned>(static_cast<std::uint32_t>(m_sc)));
    return text;
}

SCODE COleException::Process(const CException* e)
{
    if (e == nullptr) return S_OK;
    if (const auto* ole = dynamic_cast<const COleException*>(e)) return ole->m_sc;
    if (const auto* disp = dynamic_cast<const COleDispatchException*>(e))
        return disp->m_scError != 0 ? disp->m_scError : DISP_E_EXCEPTION;
    return E_UNEXPECTED;
}

// ---- COleDispatchException --------------------------------------------

COleDispatchException::COleDispatchException(const char* description, UINT helpId, WORD wCode)
    : m_wCode(wCode), m_strDescription(description != nullptr ? description : ""), m_dwHelpContext(helpId), m_scError(0)
{
}

COleDispatchException::~COleDispatchException() = default;

std::string COleDispatchException::GetErrorMessage() const
{
    return m_strDescription;
}

// ---- Throw helpers ----------------------------------------------------

void AfxThrowOleException(SCODE sc)
{
    throw new COleException(sc);
}

void ThrowInvokeFailure(HRESULT hr, EXCEPINFO* info)
{
    if (hr != DISP_E_EXCEPTION || info == nullptr) {
        if (info != nullptr) {
            SysFreeString(info->bstrSource);
            SysFreeString(info->bstrDescription);
            SysFreeString(info->bstrHelpFile);
            info->bstrSource = info->bstrDescription = info->bstrHelpFile = nullptr;
        }
        AfxThrowOleException(hr);
    }
    // Copy everything out first, free the strings, then throw: a throw that
    // left the BSTRs behind would leak them on every failed call.
    COleDispatchException* e = nullptr;
    try {
        e = new COleDispatchException(WideToAnsi(BstrView(info->bstrDescription)).c_str(), info->dwHelpContext,
                                      info->wCode);
        e->m_strSource = WideToAnsi(BstrView(info->bstrSource));
        e->m_strHelpFile = WideToAnsi(BstrView(info->bstrHelpFile));
        e->m_scError = info->scode;
    } catch (...) {
        delete e;
        e = nullptr;
    }
    SysFreeString(info->bstrSource);
    SysFreeString(info->bstrDescription);
    SysFreeString(info->bstrHelpFile);
    info->bstrSource = info->bstrDescription = info->bstrHelpFile = nullptr;
    if (e == nullptr) AfxThrowOleException(E_OUTOFMEMORY);
    throw e;
}
