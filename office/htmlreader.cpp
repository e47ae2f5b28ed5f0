// Web page text extraction on libxml2 (see htmlreader.h).
#include "office/htmlreader.h"

#include "office/textreader.h"
#include "platform/codepage.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <mutex>

namespace office {

namespace {

// How far into the file the charset declaration and the markup are looked
// for, as browsers do.
constexpr std::size_t kSniffBytes = 4096;

std::string LowerAscii(ByteView bytes, std::size_t limit, bool dropZeros)
{
    std::string s;
    const std::size_t n = std::min(bytes.size(), limit);
    s.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = bytes[i];
        if (b == 0 && dropZeros) continue;
        s.push_back(b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : static_cast<char>(b));
    }
    return s;
}

bool IsHtmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool EqualsName(const xmlChar* name, const char* what)
{
    return name != nullptr && std::strcmp(reinterpret_cast<const char*>(name), what) == 0;
}

bool IsOneOf(const xmlChar* name, std::initializer_list<const char*> names)
{
    for (const char* n : names) {
        if (EqualsName(name, n)) return true;
    }
    return false;
}

bool IsBlock(const xmlChar* name)
{
    return IsOneOf(name, {"p", "div", "h1", "h2", "h3", "h4", "h5", "h6", "li", "ul", "ol", "dl", "dt", "dd",
                          "table", "blockquote", "pre", "section", "article", "header", "footer", "nav",
                          "aside", "main", "form", "fieldset", "address", "hr", "figure", "figcaption",
                          "caption", "center", "body", "html", "legend", "details", "summary", "tbody",
                          "thead", "tfoot", "option", "textarea", "menu", "dir", "listing", "xmp"});
}

// Elements whose content no browser shows as text.
bool IsHidden(xmlNode* node)
{
    if (IsOneOf(node->name, {"script", "style", "noscript", "template", "object", "applet", "embed",
                             "iframe", "select", "map", "svg", "math", "noembed", "noframes"})) {
        return true;
    }
    return xmlHasProp(node, reinterpret_cast<const xmlChar*>("hidden")) != nullptr;
}

// Collects the visible text with a browser's white-space rules.
class TextBuilder {
public:
    explicit TextBuilder(std::u16string& out) : m_out(out) {}

    void Text(std::u16string_view text, bool preformatted)
    {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char16_t c = text[i];
            if (preformatted) {
                if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') continue;
                m_out.push_back(c == u'\n' || c == u'\r' ? u'\r' : WordCharacter(c));
                m_pendingSpace = false;
                continue;
            }
            if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f') {
                m_pendingSpace = true;
                continue;
            }
            if (m_pendingSpace && !AtLineStart()) m_out.push_back(u' ');
            m_pendingSpace = false;
            m_out.push_back(WordCharacter(c));
        }
    }

    void Mark(char16_t mark)
    {
        m_pendingSpace = false;
        // A cell ends its last paragraph itself, as in Word.
        if (mark == 0x0007 && !m_out.empty() && m_out.back() == u'\r') m_out.pop_back();
        m_out.push_back(mark);
    }

    void EndParagraph()
    {
        m_pendingSpace = false;
        if (AtLineStart()) return;
        m_out.push_back(u'\r');
    }

private:
    // A soft hyphen (&shy;) is Word's optional hyphen, in preformatted text too.
    static char16_t WordCharacter(char16_t c) { return c == 0x00AD ? char16_t{0x001F} : c; }

    bool AtLineStart() const
    {
        if (m_out.empty()) return true;
        const char16_t last = m_out.back();
        return last == u'\r' || last == 0x000B || last == 0x0007;
    }

    std::u16string& m_out;
    bool m_pendingSpace = false;
};

// Walks the tree without recursion (the parser's depth limit aside, a
// hostile page cannot exhaust the stack here).
void ExtractText(xmlNode* root, std::u16string& body, std::u16string& title)
{
    TextBuilder text(body);
    TextBuilder titleText(title);
    bool haveTitle = false;
    int pre = 0;
    xmlNode* node = root;
    auto leave = [&](xmlNode* n) {
        if (n->type != XML_ELEMENT_NODE) return;
        if (IsOneOf(n->name, {"pre", "textarea", "listing", "xmp", "plaintext"})) --pre;
        if (IsOneOf(n->name, {"td", "th"})) text.Mark(0x0007);
        else if (EqualsName(n->name, "tr")) text.Mark(0x0007);
        else if (IsBlock(n->name)) text.EndParagraph();
    };
    while (node != nullptr) {
        bool descend = false;
        switch (node->type) {
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
            if (node->content != nullptr) {
                text.Text(Utf8ToUtf16(reinterpret_cast<const char*>(node->content)), pre > 0);
            }
            break;
        case XML_ELEMENT_NODE:
            if (EqualsName(node->name, "title")) {
                if (!haveTitle) {
                    xmlChar* content = xmlNodeGetContent(node);
                    if (content != nullptr) {
                        titleText.Text(Utf8ToUtf16(reinterpret_cast<const char*>(content)), false);
                        xmlFree(content);
                    }
                    haveTitle = true;
                }
            } else if (EqualsName(node->name, "br")) {
                text.Mark(0x000B);
            } else if (!IsHidden(node)) {
                if (IsBlock(node->name)) text.EndParagraph();
                if (IsOneOf(node->name, {"pre", "textarea", "listing", "xmp", "plaintext"})) ++pre;
                descend = node->children != nullptr;
                if (!descend) leave(node);
            }
            break;
        default:
            // Comments, processing instructions, doctypes: nothing to read.
            break;
        }
        if (descend) {
            node = node->children;
            continue;
        }
        // Next sibling, or climb, leaving every finished element.
        while (node != nullptr && node != root && node->next == nullptr) {
            node = node->parent;
            if (node != nullptr) leave(node);
        }
        if (node == nullptr || node == root) break;
        node = node->next;
    }
    text.EndParagraph();
}

void InitLibxml()
{
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

}  // namespace

bool LooksLikeHtml(ByteView bytes)
{
    const char* bomCharset = nullptr;
    const std::size_t bom = DetectBom(bytes, bomCharset);
    const bool wide = bomCharset != nullptr && bomCharset[4] == '1';  // UTF-16
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
    const std::string head = LowerAscii(bytes, kSniffBytes, false);
    std::size_t pos = 0;
    // Every <meta ...> tag: charset="x" or content="text/html; charset=x".
    while ((pos = head.find("<meta", pos)) != std::string::npos) {
        const std::size_t end = head.find('>', pos);
        const std::string tag = head.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
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
               (std::isalnum(static_cast<unsigned char>(tag[i])) || tag[i] == '-' || tag[i] == '_' ||
                tag[i] == ':' || tag[i] == '.')) {
            name.push_back(tag[i++]);
        }
        if (!name.empty()) return name;
    }
    return {};
}

bool ReadHtml(ByteView bytes, WordContent& out, std::string& error)
{
    const char* charset = nullptr;
    const std::size_t bom = DetectBom(bytes, charset);
    const ByteView body = bytes.subspan(bom);
    std::string chosen;
    // A page saved as UTF-16 without a mark: its zero bytes tell the order
    // (its declaration, if any, cannot be read as ASCII).
    if (charset == nullptr && !body.empty() && std::memchr(body.data(), 0, body.size()) != nullptr) {
        charset = Utf16ByZeros(body);
    }
    if (charset == nullptr) {
        chosen = DeclaredHtmlCharset(body);
        // A page that declares UTF-16 but has no mark is read as the bytes say.
        if (chosen.rfind("utf-16", 0) == 0) chosen.clear();
        // Browsers read these labels as Windows-1252.
        if (chosen == "iso-8859-1" || chosen == "latin1" || chosen == "us-ascii" || chosen == "ascii" ||
            chosen == "iso8859-1" || chosen == "l1") {
            chosen = "windows-1252";
        }
        if (chosen.empty()) chosen = IsValidUtf8(body) ? "UTF-8" : GuessLegacyCharset(body);
        charset = chosen.c_str();
    }
    std::u16string wide;
    if (!DecodeCharset(body, charset, wide)) {
        // An unknown declared charset: fall back to what the bytes say.
        const std::string guess = IsValidUtf8(body) ? "UTF-8" : GuessLegacyCharset(body);
        if (!DecodeCharset(body, guess.c_str(), wide)) {
            error = "cannot decode the web page";
            return false;
        }
    }
    if (std::find(wide.begin(), wide.end(), u'\0') != wide.end()) {
        error = "binary data in a web page";
        return false;
    }
    const std::string utf8 = Utf16ToUtf8(wide);
    if (utf8.size() > static_cast<std::size_t>(INT_MAX)) {
        error = "web page too large";
        return false;
    }
    InitLibxml();
    // The bytes are UTF-8 now: the page's own declaration must not make the
    // parser decode them again.
    const int options = HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_IGNORE_ENC;
    htmlDocPtr doc = htmlReadMemory(utf8.data(), static_cast<int>(utf8.size()), nullptr, "UTF-8", options);
    if (doc == nullptr) {
        error = "cannot parse the web page";
        return false;
    }
    std::u16string text;
    std::u16string title;
    xmlNode* root = xmlDocGetRootElement(doc);
    if (root != nullptr) ExtractText(root, text, title);
    xmlFreeDoc(doc);
    // The title's own builder ended it with a paragraph mark; keep a bare title.
    if (!title.empty() && title.back() == u'\r') title.pop_back();
    out.stories.clear();
    out.stories.push_back({StoryKind::Main, std::move(text)});
    if (!title.empty()) out.stories.push_back({StoryKind::Title, std::move(title)});
    return true;
}

}  // namespace office
