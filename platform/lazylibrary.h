// A shared library opened on first use instead of at start-up. Every
// library the program links is mapped and relocated before main runs, for
// every search, whether the search needs it or not: libzip (with the
// cryptography library it brings) and the Snowball stemmer took about a
// fifth of varnel-find's start-up, for .docx/.xlsx files and "all word
// forms" only, and libgsf (with GLib) another fifth, for .doc and .xls
// files only. Their users open them through this instead, by the name the
// build linked against (its soname), and look their functions up by name.
#pragma once

#include <mutex>
#include <string>

namespace platform {

class LazyLibrary {
public:
    explicit LazyLibrary(std::string soname) : m_soname(std::move(soname)) {}
    LazyLibrary(const LazyLibrary&) = delete;
    LazyLibrary& operator=(const LazyLibrary&) = delete;

    // Opens it the first time (any thread; later calls wait for the first).
    // False when it cannot be opened; Error() then says why.
    bool Load();
    // The address of `name`, or null when the library or the name is
    // missing. Loads the library.
    void* Symbol(const char* name);
    // Sets `function` (a pointer to a function of the library's) to the
    // library's `name`; false when it is missing.
    template <class Pointer>
    bool Look(Pointer& function, const char* name)
    {
        function = reinterpret_cast<Pointer>(Symbol(name));
        return function != nullptr;
    }
    const std::string& Name() const { return m_soname; }
    std::string Error();

private:
    std::string m_soname;
    std::once_flag m_once;
    void* m_handle = nullptr;
    std::string m_error;
};

}  // namespace platform
