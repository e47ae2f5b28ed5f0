// Web page sniffing and decoding (see htmlpage.h).
#include "office/containers/htmlpage.h"

#include "office/text/textdecode.h"
#include "platform/cancellation.h"
#include "platform/utf8.h"

#include <strings.h>
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>

namespace office {

namespace {

// How far into the file the charset declaration and the markup are looked
// for, as browsers do.
constexpr std::size_t kSniffBytes = 4096;

std::string LowerAscii(ByteView bytes, std::size_t limit, bool dropZeros)
{
    // Every page is sniffed: written through a pointer, not pushed back.
    const std::size_t n = std::min(bytes.size(), limit);
    std::string s(n, '\0');
    char* w = s.data();
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = bytes[i];
        *w = static_cast<char>(b + (static_cast<std::uint8_t>(b - 'A') < 26 ? 'a' - 'A' : 0));
        w += b != 0 || !dropZeros;
    }
    s.resize(static_cast<std::size_t>(w - s.data()));
    return s;
}

bool IsUtf8Label(const char* charset)
{
    return strcasecmp(charset, "UTF-8") == 0 || strcasecmp(charset, "UTF8") == 0;
}

bool IsHtmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

}  // namespace

bool LooksLikeHtml(ByteView bytes)
{
    const char* bomCharset = nullptr;
    const std::size_t bom = DetectBom(bytes, bomCharset);
    const bool wide = bomCharset != nullptr && bomCharset[4] == '1';  // UTF-16
    // Most files asked about are text: the first byte that is not white
    // space (nor a zero of UTF-16) answers before anything is copied.
    const std::size_t sniffEnd = std::min(bytes.size(), bom + kSniffBytes);
    std::size_t first = bom;
    while (first < sniffEnd && ((bytes[first] == 0 && wide) || IsHtmlSpace(static_cast<char>(bytes[first])))) ++first;
    if (first >= sniffEnd || bytes[first] != '<') return false;
    const std::string head = LowerAscii(bytes.subspan(bom), kSniffBytes, wide);
    std::size_t i = 0;
    while (i < head.size() && IsHtmlSpace(head[i])) ++i;
    if (i >= head.size() || head[i] != '<') return false;
    for (const char* marker : {"<!doctype html", "<html", "<head", "<body", "<title"}) {
        if (head.find(marker) != std::string::npos) return true;
    }
    return false;
}

std::string DeclaredHtmlCharset(ByteView bytes)
{
    // Every <meta ...> tag: charset="x" or content="text/html; charset=x".
    // Every page is sniffed: only the meta tags are copied (lower-cased).
    const std::size_t limit = std::min(bytes.size(), kSniffBytes);
    const char* const head = reinterpret_cast<const char*>(bytes.data());
    std::size_t pos = 0;
    while (pos < limit) {
        const void* open = std::memchr(head + pos, '<', limit - pos);
        if (open == nullptr) break;
        pos = static_cast<std::size_t>(static_cast<const char*>(open) - head);
        if (limit - pos < 5 || LowerAscii(bytes.subspan(pos + 1, 4), 4, false) != "meta") {
            ++pos;
            continue;
        }
        const void* close = std::memchr(head + pos, '>', limit - pos);
        const std::size_t end = close == nullptr ? limit
                                                 : static_cast<std::size_t>(static_cast<const char*>(close) - head);
        const std::string tag = LowerAscii(bytes.subspan(pos, end - pos), end - pos, false);
        pos += 5;
        const std::size_t at = tag.find("charset");
        if (at == std::string::npos) continue;
        std::size_t i = at + 7;
        while (i < tag.size() && IsHtmlSpace(tag[i])) ++i;
        if (i >= tag.size() || tag[i] != '=') continue;
        ++i;
        while (i < tag.size() && (IsHtmlSpace(tag[i]) || tag[i] == '"' || tag[i] == '\'')) ++i;
        std::string name;
        while (i < tag.size() && name.size() < 40 &&
               (std::isalnum(static_cast<unsigned char>(tag[i])) || tag[i] == '-' || tag[i] == '_' || tag[i] == ':' ||
                tag[i] == '.')) {
            name.push_back(tag[i++]);
        }
        if (!name.empty()) return name;
    }
    return {};
}

namespace {

// The charset a page's declaration makes it read with, as browsers read
// it; "" when it declares none that counts.
std::string DeclarationRead(ByteView body)
{
    std::string chosen = DeclaredHtmlCharset(body);
    // A page that declares UTF-16 but has no mark is read as the bytes say.
    if (chosen.rfind("utf-16", 0) == 0) chosen.clear();
    // Browsers read these labels as Windows-1252.
    if (chosen == "iso-8859-1" || chosen == "latin1" || chosen == "us-ascii" || chosen == "ascii" ||
        chosen == "iso8859-1" || chosen == "l1") {
        chosen = "windows-1252";
    }
    return chosen;
}

}  // namespace

bool ReadAsUtf8WhenValid(ByteView bytes, ByteView& body)
{
    const char* charset = nullptr;
    body = bytes.subspan(DetectBom(bytes, charset));
    if (!body.empty() && std::memchr(body.data(), 0, body.size()) != nullptr) return false;
    if (charset != nullptr) return IsUtf8Label(charset);
    const std::string chosen = DeclarationRead(body);
    return chosen.empty() || IsUtf8Label(chosen.c_str());
}

bool DecodeHtmlPage(ByteView bytes, const HtmlDecoding& how, std::string& converted, std::string_view& markup,
                    ReadError& error)
{
    const char* charset = nullptr;
    const std::size_t bom = DetectBom(bytes, charset);
    const ByteView body = bytes.subspan(bom);
    std::string chosen;
    // A page saved as UTF-16 without a mark: its zero bytes tell the order
    // (its declaration, if any, cannot be read as ASCII).
    const bool hasZero = !body.empty() && std::memchr(body.data(), 0, body.size()) != nullptr;
    if (charset == nullptr && hasZero) charset = Utf16ByZeros(body);
    int utf8State = -1;  // whether the bytes are valid UTF-8, found out once
    auto validUtf8 = [&] {
        if (utf8State < 0) utf8State = IsValidUtf8(AsChars(body)) ? 1 : 0;
        return utf8State == 1;
    };
    auto fallback = [&] {
        if (validUtf8()) return std::string("UTF-8");
        return how.guessLegacy ? GuessLegacyCharset(body) : std::string("windows-1252");
    };
    if (charset == nullptr) {
        chosen = DeclarationRead(body);
        if (chosen.empty()) chosen = fallback();
        charset = chosen.c_str();
    }
    // The steps before the parser each run once over the whole page; a stop
    // request is looked at between them, and then as the page is parsed.
    platform::ThrowIfStopRequested();
    converted.clear();
    if (IsUtf8Label(charset) && !hasZero && validUtf8()) {
        // Already what the parser reads: no copy at all.
        markup = std::string_view(reinterpret_cast<const char*>(body.data()), body.size());
        return true;
    }
    // At most one UTF-16 unit a byte, and three bytes of UTF-8 a unit.
    const std::uint64_t before = how.hold != nullptr ? how.hold->Bytes() : 0;
    const auto room = [&](std::uint64_t bytesMore) {
        if (how.hold == nullptr || how.hold->TryCover(before + bytesMore)) return true;
        error = {ReadErrorKind::TooLarge, how.hold->Refusal(before + bytesMore, "the decoded text of the web page")};
        return false;
    };
    if (!room(2 * std::uint64_t{body.size()})) return false;
    std::u16string wide;
    if (!DecodeCharset(body, charset, wide)) {
        // An unknown declared charset: fall back to what the bytes say.
        if (!DecodeCharset(body, fallback().c_str(), wide)) {
            error = {ReadErrorKind::NotThisFormat, "cannot decode the web page"};
            return false;
        }
    }
    if (std::find(wide.begin(), wide.end(), u'\0') != wide.end()) {
        if (!how.zerosAsSpaces) {
            error = {ReadErrorKind::NotThisFormat, "binary data in a web page"};
            return false;
        }
        std::replace(wide.begin(), wide.end(), u'\0', u' ');
    }
    platform::ThrowIfStopRequested();
    if (!room(2 * std::uint64_t{wide.size()} + 3 * std::uint64_t{wide.size()})) return false;
    converted = Utf16ToUtf8(wide);
    std::u16string().swap(wide);
    if (how.hold != nullptr) how.hold->ShrinkTo(before + converted.size());
    markup = converted;
    return true;
}

}  // namespace office
