// Reader selection by content, and by name for web pages (see wordloader.h).
#include "office/word/wordloader.h"

#include "office/containers/compoundfile.h"
#include "office/containers/filebytes.h"
#include "office/containers/ooxmldecrypt.h"
#include "office/word/docfib.h"
#include "office/word/docreader.h"
#include "office/word/docxreader.h"
#include "office/word/htmlreader.h"
#include "office/word/rtfreader.h"
#include "office/word/textreader.h"

#include <cstring>
#include <memory>
#include <vector>

namespace office {

namespace {

bool StartsWith(ByteView bytes, const char* prefix)
{
    const std::size_t n = std::strlen(prefix);
    return bytes.size() >= n && std::memcmp(bytes.data(), prefix, n) == 0;
}

// Word 1.x and 2.0 for Windows wrote a flat file, not a compound file: its
// header starts with the signature 0xA59B or 0xA5DB and a format number
// below Word 6's. Read as text it would be refused as binary data, which
// tells the user nothing about what the file is.
bool IsEarlyWordForWindows(ByteView bytes)
{
    if (bytes.size() < 4 || bytes[1] != 0xA5 || (bytes[0] != 0x9B && bytes[0] != 0xDB)) return false;
    const unsigned nFib = static_cast<unsigned>(bytes[2]) | static_cast<unsigned>(bytes[3]) << 8;
    return nFib < kFirstWord6Fib;
}

}  // namespace

WordFileName WordFileNameOf(std::string_view path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos) return WordFileName::Any;
    const std::string_view ext = name.substr(dot + 1);
    static constexpr std::string_view kWeb = "htm";
    if (ext.size() < kWeb.size()) return WordFileName::Any;
    for (std::size_t i = 0; i < kWeb.size(); ++i) {
        const char c = ext[i] >= 'A' && ext[i] <= 'Z' ? static_cast<char>(ext[i] - 'A' + 'a') : ext[i];
        if (c != kWeb[i]) return WordFileName::Any;
    }
    return WordFileName::WebPage;
}

bool LoadWordContent(ByteView bytes, WordContent& out, ReadError& error, WordFileName name, ReadBudget* budget)
{
    out.stories.clear();
    std::unique_ptr<ReadBudget> own;
    if (budget == nullptr) budget = (own = std::make_unique<ReadBudget>()).get();
    try {
        if (IsCompoundFile(bytes)) {
            // An Office Open XML document saved with a password is a
            // compound file holding the encrypted package; the default
            // password Office tries on its own may be the one.
            std::vector<std::uint8_t> package;
            BudgetHold held(budget);
            switch (OpenEncryptedPackage(bytes, kDefaultOfficePassword, package, held, error)) {
            case EncryptedPackageState::None: return ReadWordBinary(bytes, out, error, budget);
            case EncryptedPackageState::Decrypted:
                return ReadDocx(ByteView(package.data(), package.size()), out, error, budget);
            case EncryptedPackageState::Protected:
                error = {ReadErrorKind::Encrypted, "the document is encrypted (password protected)"};
                return false;
            case EncryptedPackageState::Damaged: return false;
            }
            return false;
        }
        // A local file header, or the end record of an empty archive.
        if (StartsWith(bytes, "PK\x03\x04") || StartsWith(bytes, "PK\x05\x06"))
            return ReadDocx(bytes, out, error, budget);
        if (StartsWith(bytes, "{\\rtf")) return ReadRtf(bytes, out, error);
        if (IsEarlyWordForWindows(bytes)) {
            error = {ReadErrorKind::UnsupportedVersion, kOldWordRefusal};
            return false;
        }
        if (name == WordFileName::WebPage || LooksLikeHtml(bytes)) return ReadHtml(bytes, out, error);
        return ReadText(bytes, out, error, budget);
    } catch (const ReadBudgetExceeded& e) {
        out.stories.clear();
        error = {ReadErrorKind::TooLarge, e.what()};
        return false;
    }
}

bool LoadWordFile(const std::string& path, WordContent& out, ReadError& error, ReadBudget* budget)
{
    std::vector<std::uint8_t> bytes;
    if (!ReadFileBytes(path, bytes, error)) return false;
    return LoadWordContent(ByteView(bytes.data(), bytes.size()), out, error, WordFileNameOf(path), budget);
}

std::shared_ptr<WordDocument> ReadWordDocument(const std::string& path, ReadError& error)
{
    WordContent content;
    ReadBudget budget;
    if (!LoadWordFile(path, content, error, &budget)) return nullptr;
    return std::make_shared<WordDocument>(std::move(content));
}

}  // namespace office
