// Per-thread COM entry counting (see olethread.h).
#include "platform/olethread.h"

namespace {

// Entries of the calling thread: CoInitialize/OleInitialize calls not yet
// balanced, plus one for AfxOleInit.
thread_local long t_comEntries = 0;

// AfxOleInit's entry lasts for the rest of the thread, as the framework's
// lasts for the rest of the application; it is dropped when the thread ends.
struct CAfxOleEntry {
    bool active = false;
    ~CAfxOleEntry()
    {
        if (active && t_comEntries > 0) --t_comEntries;
    }
};
thread_local CAfxOleEntry t_afxEntry;

}  // namespace

HRESULT CoInitialize(void*)
{
    return t_comEntries++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    if (t_comEntries > 0) --t_comEntries;
}

HRESULT OleInitialize(void* reserved)
{
    return CoInitialize(reserved);
}

void OleUninitialize()
{
    CoUninitialize();
}

BOOL AfxOleInit()
{
    if (!t_afxEntry.active) {
        if (FAILED(CoInitialize(nullptr))) return FALSE;
        t_afxEntry.active = true;
    }
    return TRUE;
}

bool IsComInitialized()
{
    return t_comEntries > 0;
}
