// The in-place XML scanner (see xmlscanner.h). One pass checks that every
// byte is part of a UTF-8 sequence for a character XML allows; the
// tokenizer then walks the buffer, resolving namespace prefixes against a
// stack of bindings and handing text over as views of the buffer unless an
// entity, a character reference or a carriage return needs decoding.
#include "office/containers/xmlscanner.h"

#include "platform/cancellation.h"
#include "platform/utf8.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace office {

namespace {

constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";
constexpr std::string_view kXmlnsNamespace = "http://www.w3.org/2000/xmlns/";

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Bytes that may continue a name (1) or also start one (2). Bytes from
// 0x80 up belong to characters the validation pass has already found
// well-formed. A table, because names are most of what markup is.
constexpr std::array<std::uint8_t, 256> kNameBytes = [] {
    std::array<std::uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c) {
        const bool start = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
        const bool more = start || (c >= '0' && c <= '9') || c == '-' || c == '.';
        t[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(start ? 2 : more ? 1 : 0);
    }
    return t;
}();

bool IsNameByte(unsigned char c)
{
    return kNameBytes[c] != 0;
}

bool IsNameStartByte(unsigned char c)
{
    return kNameBytes[c] == 2;
}

// Equality of two short names without a library call per comparison.
bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}

bool IsNamespaceDeclaration(std::string_view qname)
{
    return qname.size() >= 5 && qname[0] == 'x' && qname.substr(0, 5) == "xmlns" &&
           (qname.size() == 5 || qname[5] == ':');
}

// XML 1.0 (fifth edition) name characters beyond ASCII: which code points
// may start a name, and which may only continue one.
bool IsNonAsciiNameStart(std::uint32_t cp)
{
    return (cp >= 0xC0 && cp <= 0xD6) || (cp >= 0xD8 && cp <= 0xF6) || (cp >= 0xF8 && cp <= 0x2FF) ||
           (cp >= 0x370 && cp <= 0x37D) || (cp >= 0x37F && cp <= 0x1FFF) || (cp >= 0x200C && cp <= 0x200D) ||
           (cp >= 0x2070 && cp <= 0x218F) || (cp >= 0x2C00 && cp <= 0x2FEF) || (cp >= 0x3001 && cp <= 0xD7FF) ||
           (cp >= 0xF900 && cp <= 0xFDCF) || (cp >= 0xFDF0 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0xEFFFF);
}

bool IsNonAsciiNameChar(std::uint32_t cp)
{
    return IsNonAsciiNameStart(cp) || cp == 0xB7 || (cp >= 0x300 && cp <= 0x36F) || (cp >= 0x203F && cp <= 0x2040);
}

// Checks the non-ASCII characters of a name; the validation pass has
// already made sure the bytes are well-formed UTF-8.
bool NonAsciiNameIsValid(std::string_view name)
{
    const auto* p = reinterpret_cast<const unsigned char*>(name.data());
    const std::size_t n = name.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        const Utf8Step step = DecodeUtf8Step(p + i, n - i);
        if (!step.valid) return false;
        const std::uint32_t cp = step.cp;
        const std::size_t len = step.length;
        if (!(i == 0 ? IsNonAsciiNameStart(cp) : IsNonAsciiNameChar(cp))) return false;
        i += len;
    }
    return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x != y && !(x >= 'A' && x <= 'Z' && x + 32 == y) && !(y >= 'A' && y <= 'Z' && y + 32 == x)) return false;
    }
    return true;
}

// Also asked of character references, which the decode step never sees.
bool IsXmlChar(std::uint32_t cp)
{
    if (cp < 0x20) return cp == 0x9 || cp == 0xA || cp == 0xD;
    if (cp >= 0xD800 && cp <= 0xDFFF) return false;
    if (cp == 0xFFFE || cp == 0xFFFF) return false;
    return cp <= 0x10FFFF;
}

// The offset of the first byte that does not start a well-formed UTF-8
// sequence of an XML character, or npos. ASCII text is passed sixteen or
// eight bytes at a time; everything else goes through the one decode step.
std::size_t FirstBadCharacter(std::string_view s)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
#if defined(__SSE2__)
        // Sixteen bytes at a time: as signed bytes, everything from 0x80 up
        // is negative, so one comparison finds both controls and non-ASCII.
        const __m128i low = _mm_set1_epi8(0x20);
        while (n - i >= 16 &&
               _mm_movemask_epi8(_mm_cmplt_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)), low)) == 0)
            i += 16;
        if (i == n) break;
#endif
        if (i + 8 <= n) {
            std::uint64_t w;
            std::memcpy(&w, p + i, 8);
            // No high bit and no byte below 0x20 (the subtraction borrows
            // into the high bit of such a byte; a false alarm only sends
            // the word down the byte-wise path).
            if (((w | (w - 0x2020202020202020ull)) & 0x8080808080808080ull) == 0) {
                i += 8;
                continue;
            }
        }
        const unsigned char c = p[i];
        if (c < 0x80) {
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return i;
            ++i;
            continue;
        }
        const Utf8Step step = DecodeUtf8Step(p + i, n - i);
        if (!step.valid || !IsXmlChar(step.cp)) return i;
        i += step.length;
    }
    return std::string_view::npos;
}

// FirstBadCharacter a megabyte at a time, with a look at the stop request
// between: a part may be hundreds of megabytes. A chunk ends before a byte
// that begins a character, so no sequence is cut and the answer is that of
// one pass over the whole text.
std::size_t FirstBadCharacterInChunks(std::string_view s)
{
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    std::size_t pos = 0;
    while (pos < s.size()) {
        std::size_t end = std::min(s.size(), pos + kChunk);
        // At most three continuation bytes follow a lead byte; more are bad
        // anyway and are found in this chunk or the next alike.
        for (int k = 0; k < 3 && end < s.size() && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80; ++k) ++end;
        const std::size_t bad = FirstBadCharacter(s.substr(pos, end - pos));
        if (bad != std::string_view::npos) return pos + bad;
        pos = end;
        if (pos < s.size()) platform::ThrowIfStopRequested();
    }
    return std::string_view::npos;
}

class Scan {
public:
    Scan(std::string_view doc, std::size_t maxDepth, XmlScanSink& sink) : m_doc(doc), m_maxDepth(maxDepth), m_sink(sink)
    {
        m_bindings.push_back({"xml", kXmlNamespace});
    }

    bool Run(std::string& error);

private:
    struct Binding {
        std::string_view prefix;  // empty for the default namespace
        std::string_view uri;
    };
    struct Open {
        std::string_view qname;
        XmlName name;
        std::size_t bindingsMark;
    };
    struct RawAttribute {
        std::string_view qname;
        std::string_view raw;  // as written, between the quotes
        std::size_t valueAt;   // decoded value in m_values
        std::size_t valueSize;
    };

    bool Fail(const char* what)
    {
        if (m_error.empty()) {
            const std::size_t at = std::min(m_pos, m_doc.size());
            const auto line = 1 + std::count(m_doc.begin(), m_doc.begin() + static_cast<std::ptrdiff_t>(at), '\n');
            m_error = std::string("malformed XML: ") + what + " at line " + std::to_string(line);
        }
        return false;
    }
    bool AtEnd() const { return m_pos >= m_doc.size(); }
    bool LookingAt(std::string_view s) const { return m_doc.compare(m_pos, s.size(), s) == 0; }
    void SkipSpace()
    {
        while (m_pos < m_doc.size() && IsSpace(m_doc[m_pos])) ++m_pos;
    }

    bool XmlDeclaration();
    bool Misc(bool prolog, bool& sawMore);
    bool Duplicates(std::vector<std::pair<std::string_view, std::string_view>>& names);
    bool RawDuplicates();
    bool Comment();
    bool ProcessingInstruction();
    bool ScanName(std::string_view& name);
    bool StartTag();
    bool EndTag();
    bool Content(std::string_view text);
    bool CData();
    bool Reference(std::size_t& i, std::string_view text, std::string& out);
    bool AttributeValue(std::string_view raw, std::string& out);
    bool Resolve(std::string_view qname, bool isElement, XmlName& name);
    bool Deliver(std::string_view piece)
    {
        if (!piece.empty()) m_sink.Text(piece);
        return !m_sink.Stopped();
    }

    std::string_view m_doc;
    std::size_t m_pos = 0;
    std::size_t m_maxDepth;
    XmlScanSink& m_sink;
    std::string m_error;
    std::vector<Binding> m_bindings;
    std::vector<Open> m_open;
    std::vector<RawAttribute> m_raw;
    std::vector<XmlAttribute> m_attributes;
    std::vector<std::pair<std::string_view, std::string_view>> m_names;  // for the duplicate check
    std::string m_values;            // decoded attribute values of one tag, each zero-terminated
    std::string m_decoded;           // decoded text
    std::deque<std::string> m_uris;  // namespace URIs that needed decoding, kept to the end
    // Prefixes resolved lately, each valid while the bindings have the size
    // they had then: bindings change only by pushing or popping, and a push
    // clears the cache, so an equal size means the same bindings.
    struct CachedPrefix {
        std::string_view prefix;
        std::string_view uri;
        std::size_t size = SIZE_MAX;
    };
    std::array<CachedPrefix, 4> m_cache{};
    std::size_t m_cacheNext = 0;
};

bool Scan::Run(std::string& error)
{
    const std::size_t bad = FirstBadCharacterInChunks(m_doc);
    if (bad != std::string_view::npos) {
        m_pos = bad;
        Fail("not well-formed (invalid token)");
        error = m_error;
        return false;
    }
    if (LookingAt("\xEF\xBB\xBF")) m_pos = 3;
    bool ok = true;
    if (LookingAt("<?xml") && m_pos + 5 < m_doc.size() && IsSpace(m_doc[m_pos + 5])) ok = XmlDeclaration();
    bool root = false;
    if (ok) ok = Misc(true, root);
    if (ok && !root) ok = Fail("no element found");
    // The document element and its content.
    platform::StopCheck stop;
    while (ok && !m_open.empty()) {
        if (m_sink.Stopped()) return false;
        stop();
        if (AtEnd()) {
            ok = Fail("unclosed token");
            break;
        }
        if (m_doc[m_pos] != '<') {
            const std::size_t lt = m_doc.find('<', m_pos);
            const std::size_t end = lt == std::string_view::npos ? m_doc.size() : lt;
            const std::string_view text = m_doc.substr(m_pos, end - m_pos);
            ok = Content(text);
            if (ok) m_pos = end;
            continue;
        }
        const char next = m_pos + 1 < m_doc.size() ? m_doc[m_pos + 1] : '\0';
        if (next == '/') {
            ok = EndTag();
        } else if (next == '!') {
            if (LookingAt("<!--")) ok = Comment();
            else if (LookingAt("<![CDATA[")) ok = CData();
            else ok = Fail("syntax error");
        } else if (next == '?') {
            ok = ProcessingInstruction();
        } else {
            ok = StartTag();
        }
    }
    if (ok && m_sink.Stopped()) return false;
    // Only comments, processing instructions and white space may follow.
    bool again = false;
    if (ok) ok = Misc(false, again);
    if (ok && again) ok = Fail("junk after document element");
    if (m_sink.Stopped()) return false;
    if (!ok) error = m_error;
    return ok;
}

bool Scan::XmlDeclaration()
{
    const std::size_t end = m_doc.find("?>", m_pos);
    if (end == std::string_view::npos) return Fail("unclosed token");
    std::string_view decl = m_doc.substr(m_pos + 5, end - m_pos - 5);
    // version, then optionally encoding, then optionally standalone.
    static constexpr std::string_view kNames[] = {"version", "encoding", "standalone"};
    std::size_t next = 0;
    bool first = true;
    for (;;) {
        std::size_t i = 0;
        while (i < decl.size() && IsSpace(decl[i])) ++i;
        if (i == decl.size()) break;
        if (i == 0) return Fail("XML declaration not well-formed");
        decl.remove_prefix(i);
        std::size_t k = next;
        while (k < 3 && decl.substr(0, kNames[k].size()) != kNames[k]) ++k;
        if (k == 3 || (first && k != 0)) return Fail("XML declaration not well-formed");
        decl.remove_prefix(kNames[k].size());
        i = 0;
        while (i < decl.size() && IsSpace(decl[i])) ++i;
        if (i == decl.size() || decl[i] != '=') return Fail("XML declaration not well-formed");
        ++i;
        while (i < decl.size() && IsSpace(decl[i])) ++i;
        if (i == decl.size() || (decl[i] != '"' && decl[i] != '\'')) return Fail("XML declaration not well-formed");
        const std::size_t close = decl.find(decl[i], i + 1);
        if (close == std::string_view::npos) return Fail("XML declaration not well-formed");
        const std::string_view value = decl.substr(i + 1, close - i - 1);
        if (value.empty() || (k == 2 && value != "yes" && value != "no"))
            return Fail("XML declaration not well-formed");
        if (k == 0 && std::find_if(value.begin(), value.end(), [](char v) {
                          return !((v >= 'a' && v <= 'z') || (v >= 'A' && v <= 'Z') || (v >= '0' && v <= '9') ||
                                   v == '.' || v == '_' || v == '-');
                      }) != value.end())
            return Fail("XML declaration not well-formed");
        decl.remove_prefix(close + 1);
        next = k + 1;
        first = false;
    }
    if (first) return Fail("XML declaration not well-formed");
    m_pos = end + 2;
    return true;
}

// White space, comments and processing instructions outside the document
// element. In the prolog it goes on to read the document element's start
// tag; `sawMore` tells whether anything else came before the end.
bool Scan::Misc(bool prolog, bool& sawMore)
{
    sawMore = false;
    for (;;) {
        SkipSpace();
        if (AtEnd()) return true;
        if (LookingAt("<!--")) {
            if (!Comment()) return false;
            continue;
        }
        if (LookingAt("<?")) {
            if (!ProcessingInstruction()) return false;
            continue;
        }
        if (prolog && LookingAt("<!DOCTYPE")) {
            m_error = "XML document type declarations are not allowed";
            return false;
        }
        sawMore = true;
        if (!prolog) return true;
        if (m_doc[m_pos] == '<' && m_pos + 1 < m_doc.size() &&
            IsNameStartByte(static_cast<unsigned char>(m_doc[m_pos + 1])))
            return StartTag();
        return Fail("syntax error");
    }
}

bool Scan::Comment()
{
    const std::size_t dashes = m_doc.find("--", m_pos + 4);
    if (dashes == std::string_view::npos) return Fail("unclosed token");
    if (dashes + 2 >= m_doc.size() || m_doc[dashes + 2] != '>') return Fail("not well-formed (invalid token)");
    m_pos = dashes + 3;
    return true;
}

bool Scan::ProcessingInstruction()
{
    m_pos += 2;
    std::string_view target;
    if (!ScanName(target)) return false;
    if (EqualsNoCase(target, "xml")) return Fail("XML or text declaration not at start of entity");
    // With namespaces, a target is a name without a prefix.
    if (target.find(':') != std::string_view::npos) return Fail("not well-formed (invalid token)");
    const std::size_t end = m_doc.find("?>", m_pos);
    if (end == std::string_view::npos) return Fail("unclosed token");
    if (end != m_pos && !IsSpace(m_doc[m_pos])) return Fail("not well-formed (invalid token)");
    m_pos = end + 2;
    return true;
}

bool Scan::ScanName(std::string_view& name)
{
    const std::size_t start = m_pos;
    const std::size_t n = m_doc.size();
    const char* const d = m_doc.data();
    if (start >= n || !IsNameStartByte(static_cast<unsigned char>(d[start])))
        return Fail("not well-formed (invalid token)");
    std::size_t i = start;
    bool ascii = true;
    while (i < n && IsNameByte(static_cast<unsigned char>(d[i]))) {
        ascii = ascii && static_cast<unsigned char>(d[i]) < 0x80;
        ++i;
    }
    m_pos = i;
    name = std::string_view(d + start, i - start);
    if (!ascii && !NonAsciiNameIsValid(name)) {
        m_pos = start;
        return Fail("not well-formed (invalid token)");
    }
    return true;
}

bool Scan::Resolve(std::string_view qname, bool isElement, XmlName& name)
{
    std::size_t colon = 0;
    while (colon < qname.size() && qname[colon] != ':') ++colon;
    std::string_view prefix;
    std::string_view local = qname;
    if (colon < qname.size()) {
        prefix = qname.substr(0, colon);
        local = qname.substr(colon + 1);
        bool second = false;
        for (const char c : local) second = second || c == ':';
        if (prefix.empty() || local.empty() || second || !IsNameStartByte(static_cast<unsigned char>(local.front())))
            return Fail("not well-formed (invalid token)");
    }
    name.local = local;
    name.ns = {};
    if (prefix.empty() && !isElement) return true;
    // Most names of a part use a handful of prefixes: remember the last
    // few answers until the bindings change.
    for (const CachedPrefix& c : m_cache) {
        if (c.size == m_bindings.size() && SameName(c.prefix, prefix)) {
            name.ns = c.uri;
            return true;
        }
    }
    for (auto it = m_bindings.rbegin(); it != m_bindings.rend(); ++it) {
        if (SameName(it->prefix, prefix)) {
            name.ns = it->uri;
            m_cache[m_cacheNext] = {prefix, it->uri, m_bindings.size()};
            m_cacheNext = (m_cacheNext + 1) % m_cache.size();
            return true;
        }
    }
    return prefix.empty() ? true : Fail("unbound prefix");
}

bool Scan::AttributeValue(std::string_view raw, std::string& out)
{
    const auto special = [](char c) { return c == '&' || c == '<' || c == '\t' || c == '\n' || c == '\r'; };
    const auto first = std::find_if(raw.begin(), raw.end(), special);
    out.append(raw.begin(), first);
    // Attribute-value normalisation: white space characters become spaces,
    // a CR LF pair one space.
    for (auto i = static_cast<std::size_t>(first - raw.begin()); i < raw.size(); ++i) {
        const char c = raw[i];
        if (c == '<') return Fail("not well-formed (invalid token)");
        if (c == '&') {
            if (!Reference(i, raw, out)) return false;
        } else if (c == '\r') {
            out.push_back(' ');
            if (i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
        } else if (c == '\t' || c == '\n') {
            out.push_back(' ');
        } else {
            out.push_back(c);
        }
    }
    return true;
}

bool Scan::RawDuplicates()
{
    if (m_raw.size() <= 16) {
        for (std::size_t i = 0; i < m_raw.size(); ++i)
            for (std::size_t j = i + 1; j < m_raw.size(); ++j)
                if (SameName(m_raw[i].qname, m_raw[j].qname)) return true;
        return false;
    }
    m_names.clear();
    for (const RawAttribute& a : m_raw) m_names.emplace_back(std::string_view{}, a.qname);
    return Duplicates(m_names);
}

// True when two of the names are equal. Few attributes are compared
// pairwise; a hostile tag with thousands is sorted instead.
bool Scan::Duplicates(std::vector<std::pair<std::string_view, std::string_view>>& names)
{
    if (names.size() <= 16) {
        for (std::size_t i = 0; i < names.size(); ++i)
            for (std::size_t j = i + 1; j < names.size(); ++j)
                if (names[i] == names[j]) return true;
        return false;
    }
    std::sort(names.begin(), names.end());
    return std::adjacent_find(names.begin(), names.end()) != names.end();
}

// Decodes the reference starting at text[i] ('&') into `out`; leaves i on
// its ';'.
bool Scan::Reference(std::size_t& i, std::string_view text, std::string& out)
{
    const std::size_t semi = text.find(';', i + 1);
    if (semi == std::string_view::npos) return Fail("not well-formed (invalid token)");
    const std::string_view ref = text.substr(i + 1, semi - i - 1);
    i = semi;
    if (ref == "lt") out.push_back('<');
    else if (ref == "gt") out.push_back('>');
    else if (ref == "amp") out.push_back('&');
    else if (ref == "quot") out.push_back('"');
    else if (ref == "apos") out.push_back('\'');
    else if (ref.size() >= 2 && ref[0] == '#') {
        const bool hex = ref[1] == 'x';
        std::string_view digits = ref.substr(hex ? 2 : 1);
        if (digits.empty()) return Fail("not well-formed (invalid token)");
        std::uint32_t cp = 0;
        for (const char c : digits) {
            std::uint32_t d = 0;
            if (c >= '0' && c <= '9') d = static_cast<std::uint32_t>(c - '0');
            else if (hex && c >= 'a' && c <= 'f') d = static_cast<std::uint32_t>(c - 'a' + 10);
            else if (hex && c >= 'A' && c <= 'F') d = static_cast<std::uint32_t>(c - 'A' + 10);
            else return Fail("not well-formed (invalid token)");
            cp = cp * (hex ? 16u : 10u) + d;
            if (cp > 0x10FFFF) return Fail("reference to invalid character number");
        }
        if (!IsXmlChar(cp)) return Fail("reference to invalid character number");
        AppendUtf8(out, cp);
    } else {
        if (ref.empty()) return Fail("not well-formed (invalid token)");
        return Fail("undefined entity");
    }
    return true;
}

bool Scan::StartTag()
{
    if (m_open.size() > m_maxDepth) return Fail("nesting too deep");
    ++m_pos;
    std::string_view qname;
    if (!ScanName(qname)) return false;
    m_raw.clear();
    m_values.clear();
    bool empty = false;
    for (;;) {
        const std::size_t before = m_pos;
        SkipSpace();
        if (AtEnd()) return Fail("unclosed token");
        const char c = m_doc[m_pos];
        if (c == '>') {
            ++m_pos;
            break;
        }
        if (c == '/') {
            if (m_pos + 1 >= m_doc.size() || m_doc[m_pos + 1] != '>') return Fail("not well-formed (invalid token)");
            m_pos += 2;
            empty = true;
            break;
        }
        if (m_pos == before) return Fail("not well-formed (invalid token)");
        RawAttribute a{};
        if (!ScanName(a.qname)) return false;
        SkipSpace();
        if (AtEnd() || m_doc[m_pos] != '=') return Fail("not well-formed (invalid token)");
        ++m_pos;
        SkipSpace();
        if (AtEnd() || (m_doc[m_pos] != '"' && m_doc[m_pos] != '\'')) return Fail("not well-formed (invalid token)");
        const std::size_t close = m_doc.find(m_doc[m_pos], m_pos + 1);
        if (close == std::string_view::npos) return Fail("unclosed token");
        a.raw = m_doc.substr(m_pos + 1, close - m_pos - 1);
        a.valueAt = m_values.size();
        if (!AttributeValue(a.raw, m_values)) return false;
        a.valueSize = m_values.size() - a.valueAt;
        m_values.append(1, '\0');
        m_pos = close + 1;
        m_raw.push_back(a);
    }

    // Namespace declarations first: they apply to this very tag.
    const std::size_t mark = m_bindings.size();
    for (const RawAttribute& a : m_raw) {
        if (!IsNamespaceDeclaration(a.qname)) continue;
        const bool isDefault = a.qname.size() == 5;
        std::string_view uri(m_values.data() + a.valueAt, a.valueSize);
        const std::string_view prefix = isDefault ? std::string_view{} : a.qname.substr(6);
        if (!isDefault && (prefix.empty() || prefix.find(':') != std::string_view::npos ||
                           !IsNameStartByte(static_cast<unsigned char>(prefix.front()))))
            return Fail("not well-formed (invalid token)");
        if (!isDefault && uri.empty()) return Fail("unbound prefix");
        // A namespace name is a URI, which has no spaces (expat, which
        // joins names to URIs with one, refuses them too).
        if (uri.find(' ') != std::string_view::npos) return Fail("syntax error");
        if (prefix == "xmlns" || (prefix == "xml") != (uri == kXmlNamespace) || uri == kXmlnsNamespace)
            return Fail("reserved prefix (xml) must not be undeclared or bound to another namespace name");
        if (uri != a.raw) {
            m_uris.emplace_back(uri);
            uri = m_uris.back();
        } else {
            uri = a.raw;
        }
        m_bindings.push_back({prefix, uri});
        m_cache.fill(CachedPrefix{});
    }
    Open open{qname, {}, mark};
    if (!Resolve(qname, true, open.name)) return false;
    m_attributes.clear();
    bool prefixed = false;
    for (const RawAttribute& a : m_raw) {
        if (IsNamespaceDeclaration(a.qname)) continue;
        XmlAttribute attr{{}, m_values.data() + a.valueAt, a.valueSize};
        if (!Resolve(a.qname, false, attr.name)) return false;
        prefixed = prefixed || !attr.name.ns.empty();
        m_attributes.push_back(attr);
    }
    // Two attributes may not share a name, nor (through two prefixes
    // bound to one namespace) a namespace and local name.
    if (m_raw.size() > 1 && RawDuplicates()) return Fail("duplicate attribute");
    if (prefixed && m_attributes.size() > 1) {
        m_names.clear();
        for (const XmlAttribute& a : m_attributes) m_names.emplace_back(a.name.ns, a.name.local);
        if (Duplicates(m_names)) return Fail("duplicate attribute");
    }
    m_open.push_back(open);
    m_sink.Start(open.name, XmlAttributes(m_attributes.data(), m_attributes.size()));
    if (m_sink.Stopped()) return false;
    if (empty) {
        m_sink.End(open.name);
        if (m_sink.Stopped()) return false;
        if (m_bindings.size() != mark) m_bindings.resize(mark);
        m_open.pop_back();
    }
    return true;
}

bool Scan::EndTag()
{
    m_pos += 2;
    std::string_view qname;
    // Nearly always the name is the open element's, followed by '>': check
    // that directly; anything else is read as a name to report it.
    const std::size_t rest = m_doc.size() - m_pos;
    if (!m_open.empty() && rest > m_open.back().qname.size() && m_doc[m_pos + m_open.back().qname.size()] == '>' &&
        SameName(m_doc.substr(m_pos, m_open.back().qname.size()), m_open.back().qname)) {
        qname = m_open.back().qname;
        m_pos += qname.size();
    } else if (!ScanName(qname)) {
        return false;
    }
    SkipSpace();
    if (AtEnd() || m_doc[m_pos] != '>') return Fail("not well-formed (invalid token)");
    ++m_pos;
    if (m_open.empty() || !SameName(m_open.back().qname, qname)) return Fail("mismatched tag");
    const Open open = m_open.back();
    m_sink.End(open.name);
    if (m_sink.Stopped()) return false;
    if (m_bindings.size() != open.bindingsMark) m_bindings.resize(open.bindingsMark);
    m_open.pop_back();
    return true;
}

bool Scan::Content(std::string_view text)
{
    // The common case: nothing to decode, the text goes over as it stands.
    const char* p = text.data();
    const std::size_t n = text.size();
    bool plain = true;
    bool bracket = false;
    if (n <= 32) {
        // Short texts (cell values, numbers) in one pass, not three calls.
        for (std::size_t i = 0; i < n; ++i) {
            const char c = p[i];
            plain = plain && c != '&' && c != '\r';
            bracket = bracket || c == ']';
        }
    } else {
        // Long texts (a document's paragraphs): one pass for all three
        // bytes that need a closer look.
        std::size_t i = 0;
#if defined(__SSE2__)
        const __m128i amp = _mm_set1_epi8('&');
        const __m128i cr = _mm_set1_epi8('\r');
        const __m128i rb = _mm_set1_epi8(']');
        for (; i + 16 <= n; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const __m128i hit =
                _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, amp), _mm_cmpeq_epi8(v, cr)), _mm_cmpeq_epi8(v, rb));
            if (_mm_movemask_epi8(hit) != 0) break;
        }
#endif
        for (; i < n; ++i) {
            const char c = p[i];
            plain = plain && c != '&' && c != '\r';
            bracket = bracket || c == ']';
        }
    }
    if (bracket && text.find("]]>") != std::string_view::npos) {
        m_pos += text.find("]]>");
        return Fail("sequence ']]>' not allowed in content");
    }
    if (plain) return Deliver(text);
    m_decoded.clear();
    const std::size_t at = m_pos;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = p[i];
        if (c == '&') {
            m_pos = at + i;
            if (!Reference(i, text, m_decoded)) return false;
        } else if (c == '\r') {
            m_decoded.push_back('\n');
            if (i + 1 < n && p[i + 1] == '\n') ++i;
        } else {
            m_decoded.push_back(c);
        }
    }
    m_pos = at;
    return Deliver(m_decoded);
}

bool Scan::CData()
{
    const std::size_t start = m_pos + 9;
    const std::size_t end = m_doc.find("]]>", start);
    if (end == std::string_view::npos) return Fail("unclosed CDATA section");
    const std::string_view text = m_doc.substr(start, end - start);
    m_pos = end + 3;
    if (text.find('\r') == std::string_view::npos) return Deliver(text);
    m_decoded.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            m_decoded.push_back(text[i]);
            continue;
        }
        m_decoded.push_back('\n');
        if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    }
    return Deliver(m_decoded);
}

}  // namespace

bool XmlScanner::Handles(std::string_view document)
{
    if (document.size() >= 2) {
        const auto b0 = static_cast<unsigned char>(document[0]);
        const auto b1 = static_cast<unsigned char>(document[1]);
        if ((b0 == 0xFE && b1 == 0xFF) || (b0 == 0xFF && b1 == 0xFE) || b0 == 0 || b1 == 0) return false;
    }
    if (document.substr(0, 3) == "\xEF\xBB\xBF") document.remove_prefix(3);
    if (document.substr(0, 5) != "<?xml") return true;
    const std::size_t end = document.find("?>");
    if (end == std::string_view::npos || end > 1024) return false;
    const std::string_view decl = document.substr(0, end);
    const std::size_t at = decl.find("encoding");
    if (at == std::string_view::npos) return true;
    std::size_t i = at + 8;
    while (i < decl.size() && IsSpace(decl[i])) ++i;
    if (i >= decl.size() || decl[i] != '=') return false;
    ++i;
    while (i < decl.size() && IsSpace(decl[i])) ++i;
    if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\'')) return false;
    const std::size_t close = decl.find(decl[i], i + 1);
    if (close == std::string_view::npos) return false;
    return EqualsNoCase(decl.substr(i + 1, close - i - 1), "UTF-8");
}

bool XmlScanner::Scan(std::string_view document, std::size_t maxDepth, XmlScanSink& sink, std::string& error)
{
    class Scan scan(document, maxDepth, sink);
    return scan.Run(error);
}

}  // namespace office
