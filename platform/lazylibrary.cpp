// Libraries opened on first use (see lazylibrary.h).
#include "platform/lazylibrary.h"

#include <dlfcn.h>

namespace platform {

bool LazyLibrary::Load()
{
    std::call_once(m_once, [this] {
        // Never closed: its functions may be held anywhere until exit.
        m_handle = ::dlopen(m_soname.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (m_handle == nullptr) {
            const char* why = ::dlerror();
            m_error = why != nullptr ? why : "cannot open " + m_soname;
        }
    });
    return m_handle != nullptr;
}

void* LazyLibrary::Symbol(const char* name)
{
    return Load() ? ::dlsym(m_handle, name) : nullptr;
}

std::string LazyLibrary::Error()
{
    Load();
    return m_error;
}

}  // namespace platform
