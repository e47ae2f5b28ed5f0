// libgsf-backed compound file access (see compoundfile.h).
#include "office/containers/compoundfile.h"

#include "office/text/hugepages.h"
#include "platform/cancellation.h"
#include "platform/lazylibrary.h"

#include <gsf/gsf-infile-impl.h>
#include <gsf/gsf.h>

#include <cstring>

namespace office {

namespace {

// libgsf and the GLib it brings are opened with the first compound file
// (see CompoundFileLibrary): these are its functions the reader calls.
decltype(&::gsf_init) gsf_init = nullptr;
decltype(&::gsf_input_memory_new) gsf_input_memory_new = nullptr;
decltype(&::gsf_infile_msole_new) gsf_infile_msole_new = nullptr;
decltype(&::gsf_infile_child_by_name) gsf_infile_child_by_name = nullptr;
decltype(&::gsf_infile_num_children) gsf_infile_num_children = nullptr;
decltype(&::gsf_infile_name_by_index) gsf_infile_name_by_index = nullptr;
decltype(&::gsf_input_size) gsf_input_size = nullptr;
decltype(&::gsf_input_read) gsf_input_read = nullptr;
decltype(&::g_object_unref) g_object_unref = nullptr;
decltype(&::g_error_free) g_error_free = nullptr;
decltype(&::g_log_set_handler) g_log_set_handler = nullptr;

// libgsf reports damaged containers on standard error itself. The reader
// turns every damage into an error of its own for that file, so these
// messages would only garble the program's log (varnel-find's standard
// error carries exactly the lines the message panel shows).
void QuietLog(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

// Whether every pointer above is set and libgsf is ready; the first call
// does it (all threads wait for it), later ones only answer.
bool LoadGsf()
{
    static const bool loaded = [] {
        platform::LazyLibrary& library = CompoundFileLibrary();
        bool all = true;
        auto look = [&](auto& function, const char* name) { all = library.Look(function, name) && all; };
        look(gsf_init, "gsf_init");
        look(gsf_input_memory_new, "gsf_input_memory_new");
        look(gsf_infile_msole_new, "gsf_infile_msole_new");
        look(gsf_infile_child_by_name, "gsf_infile_child_by_name");
        look(gsf_infile_num_children, "gsf_infile_num_children");
        look(gsf_infile_name_by_index, "gsf_infile_name_by_index");
        look(gsf_input_size, "gsf_input_size");
        look(gsf_input_read, "gsf_input_read");
        // GLib's, found through libgsf, which depends on it.
        look(g_object_unref, "g_object_unref");
        look(g_error_free, "g_error_free");
        look(g_log_set_handler, "g_log_set_handler");
        if (!all) return false;
        gsf_init();
        const auto levels = static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING |
                                                        G_LOG_LEVEL_MESSAGE | G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG);
        for (const char* domain : {"libgsf", "libgsf:msole", "libgsf:zip", "libgsf:utils"})
            g_log_set_handler(domain, levels, QuietLog, nullptr);
        return true;
    }();
    return loaded;
}

// gsf_infile_child_by_name reports a stream it cannot open (a sector chain
// cut short) with g_warning in the default log domain, which the handlers
// above do not catch: one line on standard error per damaged file. The
// class method it wraps hands the reason back instead.
GsfInput* ChildByName(GsfInfile* infile, const std::string& name, std::string* reason)
{
    GError* err = nullptr;
    GsfInput* child =
        G_TYPE_INSTANCE_GET_CLASS(infile, GSF_INFILE_TYPE, GsfInfileClass)->child_by_name(infile, name.c_str(), &err);
    if (err != nullptr) {
        if (reason != nullptr) *reason = err->message;
        g_error_free(err);
        if (child != nullptr) g_object_unref(child);
        return nullptr;
    }
    return child;
}

}  // namespace

bool IsCompoundFile(ByteView bytes)
{
    static const std::uint8_t sig[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    return bytes.size() >= 8 && std::memcmp(bytes.data(), sig, 8) == 0;
}

struct CompoundFile::Impl {
    GsfInput* input = nullptr;
    GsfInfile* infile = nullptr;
    ~Impl()
    {
        if (infile != nullptr) g_object_unref(infile);
        if (input != nullptr) g_object_unref(input);
    }
};

CompoundFile::CompoundFile() : m_impl(std::make_unique<Impl>()) {}

CompoundFile::~CompoundFile() = default;

bool CompoundFile::Open(ByteView bytes, ReadError& error)
{
    if (!IsCompoundFile(bytes)) {
        error = {ReadErrorKind::NotThisFormat, "not a compound file"};
        return false;
    }
    if (!LoadGsf()) {
        const std::string why = CompoundFileLibrary().Error();
        error = {ReadErrorKind::Unreadable, "cannot read compound files: " + CompoundFileLibrary().Name() +
                                                (why.empty() ? " lacks a function" : ": " + why)};
        return false;
    }
    m_impl = std::make_unique<Impl>();
    m_impl->input = gsf_input_memory_new(bytes.data(), static_cast<gsf_off_t>(bytes.size()), FALSE);
    if (m_impl->input == nullptr) {
        error = {ReadErrorKind::TooLarge, "cannot read compound file"};
        return false;
    }
    GError* err = nullptr;
    m_impl->infile = gsf_infile_msole_new(m_impl->input, &err);
    if (m_impl->infile == nullptr) {
        error = {ReadErrorKind::Damaged, "damaged compound file"};
        if (err != nullptr) {
            error.detail += ": ";
            error.detail += err->message;
            g_error_free(err);
        }
        return false;
    }
    return true;
}

bool CompoundFile::HasStream(const std::string& name) const
{
    if (m_impl->infile == nullptr) return false;
    GsfInput* child = ChildByName(m_impl->infile, name, nullptr);
    if (child == nullptr) return false;
    g_object_unref(child);
    return true;
}

bool CompoundFile::StreamSize(const std::string& name, std::uint64_t& size) const
{
    if (m_impl->infile == nullptr) return false;
    GsfInput* child = gsf_infile_child_by_name(m_impl->infile, name.c_str());
    if (child == nullptr) return false;
    const gsf_off_t n = gsf_input_size(child);
    g_object_unref(child);
    if (n < 0) return false;
    size = static_cast<std::uint64_t>(n);
    return true;
}

bool CompoundFile::ReadStream(const std::string& name, std::vector<std::uint8_t>& out, ReadError& error,
                              std::size_t maxBytes) const
{
    out.clear();
    if (m_impl->infile == nullptr) {
        error = {ReadErrorKind::Internal, "compound file not open"};
        return false;
    }
    std::string reason;
    GsfInput* child = ChildByName(m_impl->infile, name, &reason);
    if (child == nullptr) {
        error = {ReadErrorKind::Damaged, reason.empty() ? "stream '" + name + "' is missing"
                                                        : "stream '" + name + "' is damaged (" + reason + ")"};
        return false;
    }
    const gsf_off_t size = gsf_input_size(child);
    if (size < 0 || static_cast<unsigned long long>(size) > maxBytes) {
        g_object_unref(child);
        error = {ReadErrorKind::TooLarge, "stream '" + name + "' is too large"};
        return false;
    }
    const auto total = static_cast<std::size_t>(size);
    ReserveLarge(out, total);
    bool ok = true;
    bool stopped = false;
    std::size_t done = 0;
    // Read in chunks: libgsf serves at most what the sector chain allows,
    // and Stop is looked for between them. The buffer grows by each chunk
    // rather than being filled with zeros all at once first.
    while (done < total) {
        if (platform::IsSearchStopRequested()) {
            stopped = true;
            break;
        }
        const std::size_t chunk = std::min<std::size_t>(total - done, 1u << 20);
        out.resize(done + chunk);
        if (gsf_input_read(child, chunk, out.data() + done) == nullptr) {
            ok = false;
            break;
        }
        done += chunk;
    }
    g_object_unref(child);
    if (stopped) {
        out.clear();
        throw platform::OperationCancelled();
    }
    if (!ok) {
        out.clear();
        error = {ReadErrorKind::Damaged, "stream '" + name + "' is damaged"};
        return false;
    }
    return true;
}

std::vector<std::string> CompoundFile::RootNames() const
{
    std::vector<std::string> names;
    if (m_impl->infile == nullptr) return names;
    const int n = gsf_infile_num_children(m_impl->infile);
    for (int i = 0; i < n && i < 100000; ++i) {
        const char* name = gsf_infile_name_by_index(m_impl->infile, i);
        if (name != nullptr) names.emplace_back(name);
    }
    return names;
}

platform::LazyLibrary& CompoundFileLibrary()
{
    static platform::LazyLibrary library(VARNEL_GSF_SONAME);
    return library;
}

}  // namespace office
