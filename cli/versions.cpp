// The versions printed by varnel-find --version (see versions.h). Where a
// library reports its own version at run time, that is the one printed (it
// can differ from the headers built against); the others are named by the
// file the dynamic linker loaded.
#include "cli/versions.h"

#include "office/containers/compoundfile.h"
#include "office/containers/zippackage.h"
#include "office/word/wordforms.h"
#include "platform/lazylibrary.h"

#include <expat.h>
#include <libdeflate.h>
#include <libxml/parser.h>
#include <link.h>
#include <nettle/version.h>
#include <unicode/uversion.h>
#include <zlib.h>
#include <climits>
#include <cstdlib>
#include <cstring>

#ifndef VARNEL_VERSION
#define VARNEL_VERSION "unknown"
#endif

namespace {

// The real file name of the loaded library whose name starts with `stem`
// ("libre2.so." finds libre2.so.9.0.0), or "" when none is loaded.
std::string LoadedFile(const char* stem)
{
    struct Search {
        const char* stem;
        std::string found;
    } search{stem, {}};
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) {
            auto* s = static_cast<Search*>(data);
            if (info->dlpi_name == nullptr || info->dlpi_name[0] == '\0') return 0;
            char* real = ::realpath(info->dlpi_name, nullptr);
            if (real == nullptr) return 0;
            const char* base = std::strrchr(real, '/');
            base = base != nullptr ? base + 1 : real;
            if (std::strncmp(base, s->stem, std::strlen(s->stem)) == 0) s->found = base;
            std::free(real);
            return s->found.empty() ? 0 : 1;
        },
        &search);
    return search.found;
}

}  // namespace

std::string VersionText()
{
    std::string text = "varnel-find " VARNEL_VERSION "\n";
    auto line = [&text](const char* name, const std::string& version) {
        text += std::string(name) + " " + (version.empty() ? std::string("(not loaded)") : version) + "\n";
    };
    UVersionInfo icu;
    u_getVersion(icu);
    char icuText[U_MAX_VERSION_STRING_LENGTH];
    u_versionToString(icu, icuText);
    line("ICU", icuText);
    // libxml2 gives its version as one number: 20914 is 2.9.14.
    const long xml = std::strtol(xmlParserVersion, nullptr, 10);
    line("libxml2",
         std::to_string(xml / 10000) + "." + std::to_string(xml / 100 % 100) + "." + std::to_string(xml % 100));
    const XML_Expat_Version expat = XML_ExpatVersionInfo();
    line("expat", std::to_string(expat.major) + "." + std::to_string(expat.minor) + "." + std::to_string(expat.micro));
    // Opened only when needed: opened here to be asked.
    const char* (*zipVersion)() = nullptr;
    line("libzip", office::ZipLibrary().Look(zipVersion, "zip_libzip_version") ? zipVersion() : "");
    line("zlib", zlibVersion());
    std::string gsf;
    for (const char* part : {"libgsf_major_version", "libgsf_minor_version", "libgsf_micro_version"}) {
        const auto* number = static_cast<const int*>(office::CompoundFileLibrary().Symbol(part));
        if (number == nullptr) break;
        gsf += (gsf.empty() ? "" : ".") + std::to_string(*number);
    }
    line("libgsf", gsf);
    line("nettle", std::to_string(nettle_version_major()) + "." + std::to_string(nettle_version_minor()));
    // These have no version call: their headers' or the loaded file's.
    line("libdeflate", std::string(LIBDEFLATE_VERSION_STRING) + " (headers)");
    line("RE2", LoadedFile("libre2.so."));
    line("uchardet", LoadedFile("libuchardet.so."));
    line("Snowball", office::StemmerLibrary().Load() ? LoadedFile("libstemmer.so.") : "");
    return text;
}
