// Reader selection by content, and by name for web pages (see wordloader.h).
#include "office/word/wordloader.h"

#include "office/containers/compoundfile.h"
#include "office/containers/filebytes.h"
#include "office/containers/htmlpage.h"
#include "office/containers/ooxmldecrypt.h"
#include "office/word/docfib.h"
#include "office/word/docreader.h"
#include "office/word/docxreader.h"
#include "office/word/htmlreader.h"
#include "office/word/rtfreader.h"
#include "office/word/textreader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
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

enum class WordFormat { Compound, Package, Rtf, EarlyWord, WebPage, Text };

// Told by the first bytes alone (and the name), so that a text file is
// known as one before the rest of it is read.
WordFormat FormatOf(ByteView bytes, WordFileName name)
{
    if (IsCompoundFile(bytes)) return WordFormat::Compound;
    // A local file header, or the end record of an empty archive.
    if (StartsWith(bytes, "PK\x03\x04") || StartsWith(bytes, "PK\x05\x06")) return WordFormat::Package;
    if (StartsWith(bytes, "{\\rtf")) return WordFormat::Rtf;
    if (IsEarlyWordForWindows(bytes)) return WordFormat::EarlyWord;
    if (name == WordFileName::WebPage || LooksLikeHtml(bytes)) return WordFormat::WebPage;
    return WordFormat::Text;
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
        switch (FormatOf(bytes, name)) {
        case WordFormat::Compound: {
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
        case WordFormat::Package: return ReadDocx(bytes, out, error, budget);
        case WordFormat::Rtf: return ReadRtf(bytes, out, error);
        case WordFormat::EarlyWord: error = {ReadErrorKind::UnsupportedVersion, kOldWordRefusal}; return false;
        case WordFormat::WebPage: return ReadHtml(bytes, out, error);
        case WordFormat::Text: break;
        }
        return ReadText(bytes, out, error, budget);
    } catch (const ReadBudgetExceeded& e) {
        out.stories.clear();
        error = {ReadErrorKind::TooLarge, e.what()};
        return false;
    }
}

bool LoadWordFile(const std::string& path, WordContent& out, ReadError& error, ReadBudget* budget)
{
    out.stories.clear();
    FileBytesReader file;
    if (!file.Open(path, error)) return false;
    return LoadWordFile(file, path, out, error, budget);
}

bool LoadWordFile(FileBytesReader& file, const std::string& path, WordContent& out, ReadError& error,
                  ReadBudget* budget)
{
    out.stories.clear();
    std::vector<std::uint8_t> bytes;
    const WordFileName name = WordFileNameOf(path);
    // The first piece tells every format but text apart; a text file longer
    // than that is decoded as it is read.
    bytes.reserve(std::min(file.Size(), kTextPieceBytes));
    if (!file.Append(bytes, kTextPieceBytes, error)) return false;
    std::unique_ptr<ReadBudget> own;
    if (!file.AtEnd() && FormatOf(bytes, name) == WordFormat::Text) {
        if (budget == nullptr) budget = (own = std::make_unique<ReadBudget>()).get();
        switch (ReadTextFile(file, bytes, out, error, budget)) {
        case TextFileRead::Read: return true;
        case TextFileRead::Failed: return false;
        case TextFileRead::ReadWhole:
            bytes.clear();
            if (!file.Rewind(error)) return false;
            break;
        }
    }
    try {
        bytes.reserve(file.Size());
    } catch (const std::bad_alloc&) {
        error = {ReadErrorKind::TooLarge, "out of memory"};
        return false;
    }
    if (!file.Append(bytes, file.Size(), error)) return false;
    return LoadWordContent(ByteView(bytes.data(), bytes.size()), out, error, name, budget);
}

std::shared_ptr<WordDocument> ReadWordDocument(const std::string& path, ReadError& error)
{
    FileBytesReader file;
    if (!file.Open(path, error)) return nullptr;
    return ReadWordDocument(file, path, error);
}

std::shared_ptr<WordDocument> ReadWordDocument(FileBytesReader& file, const std::string& path, ReadError& error)
{
    WordContent content;
    ReadBudget budget;
    if (!LoadWordFile(file, path, content, error, &budget)) return nullptr;
    return std::make_shared<WordDocument>(std::move(content));
}

}  // namespace office
