// One registry root in memory and its text hive format (see reghive.h).
#include "platform/reghive.h"

#include "platform/codepage.h"

#include "platform/registry.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";

bool IsSpace(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && (IsSpace(s.back()) || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

char FoldChar(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsFolded(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldChar(a[i]) != FoldChar(b[i])) return false;
    return true;
}

bool StartsWithFolded(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && EqualsFolded(s.substr(0, prefix.size()), prefix);
}

// Bytes below 0x20 (tab excepted) and DEL never belong in a hive line: they
// are what binary garbage or a torn write looks like.
bool HasControlChars(std::string_view s)
{
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7F) return true;
    }
    return false;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads 1..maxDigits hex digits at the front of s.
bool ParseHexNumber(std::string_view& s, std::size_t maxDigits, DWORD& out)
{
    std::size_t n = 0;
    DWORD v = 0;
    while (n < s.size() && HexDigit(s[n]) >= 0) {
        if (n == maxDigits) return false;
        v = (v << 4) | static_cast<DWORD>(HexDigit(s[n]));
        ++n;
    }
    if (n == 0) return false;
    s.remove_prefix(n);
    out = v;
    return true;
}

// "text" with \\ and \" escapes, starting at s[0] == '"'. On success s is
// left just behind the closing quote.
bool ParseQuoted(std::string_view& s, std::string& out)
{
    if (s.empty() || s.front() != '"') return false;
    out.clear();
    std::size_t i = 1;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '"') {
            s.remove_prefix(i + 1);
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= s.size()) return false;
            const char e = s[i + 1];
            if (e != '\\' && e != '"') return false;
            out.push_back(e);
            i += 2;
            continue;
        }
        out.push_back(c);
        ++i;
    }
    return false;
}

// Comma separated bytes of a hex: value; spaces around the bytes are
// tolerated because people edit these files by hand.
bool ParseHexList(std::string_view s, std::vector<BYTE>& out)
{
    out.clear();
    s = Trim(s);
    if (s.empty()) return true;
    for (;;) {
        s = Trim(s);
        DWORD b = 0;
        if (!ParseHexNumber(s, 2, b)) return false;
        if (out.size() >= CRegHive::kMaxValueBytes) return false;
        out.push_back(static_cast<BYTE>(b));
        s = Trim(s);
        if (s.empty()) return true;
        if (s.front() != ',') return false;
        s.remove_prefix(1);
        if (Trim(s).empty()) return true;  // a trailing comma, as left by a joined continuation
    }
}

void AppendEscaped(std::string& out, std::string_view s)
{
    out.push_back('"');
    for (char c : s) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
}

// A REG_SZ can be written as "text" only when reading it back gives the
// same bytes: one terminating NUL, nothing a line cannot hold.
bool PrintableString(const std::vector<BYTE>& data)
{
    if (data.empty() || data.back() != 0) return false;
    for (std::size_t i = 0; i + 1 < data.size(); ++i) {
        const BYTE b = data[i];
        if ((b < 0x20 && b != '\t') || b == 0x7F) return false;
    }
    return true;
}

// UTF-16LE hives (as the Windows registry editor saves them) are turned
// into UTF-8; unpaired surrogates make the file count as damaged.
std::string Utf16LeToUtf8(std::string_view in, bool& bad)
{
    if (in.size() % 2 != 0) bad = true;
    std::u16string units(in.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(in[2 * i]) |
                                         (static_cast<unsigned char>(in[2 * i + 1]) << 8));
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            bad = true;
        }
    }
    // Unpaired surrogates become U+FFFD there.
    return Utf16ToUtf8(units);
}

std::string_view AbbreviationOf(std::string_view root)
{
    if (root == "HKEY_CURRENT_USER") return "HKCU";
    if (root == "HKEY_LOCAL_MACHINE") return "HKLM";
    return {};
}

}  // namespace

bool CRegHive::KeyLess::operator()(const std::string& a, const std::string& b) const
{
    // Backslash sorts before every other byte so that a key is followed
    // directly by its own sub-keys in the file.
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(a[i] == '\\' ? 0 : a[i]);
        const auto cb = static_cast<unsigned char>(b[i] == '\\' ? 0 : b[i]);
        if (ca != cb) return ca < cb;
    }
    return a.size() < b.size();
}

CRegHive::CRegHive(std::string rootName) : m_rootName(std::move(rootName)) {}

std::string CRegHive::Fold(std::string_view s)
{
    std::string out(s);
    for (char& c : out) c = FoldChar(c);
    return out;
}

std::string_view CRegHive::TrimKeyPath(std::string_view path)
{
    if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    return path;
}

bool CRegHive::ValidKeyPath(std::string_view path)
{
    if (path.size() > kMaxKeyPathBytes) return false;
    if (path.empty()) return true;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find('\\', start);
        const std::string_view name =
            path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (name.empty() || name.size() > kMaxKeyNameBytes || HasControlChars(name)) return false;
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

bool CRegHive::ValidValueName(std::string_view name)
{
    if (name.size() > kMaxValueNameBytes) return false;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) return false;
    }
    return true;
}

CRegHive::Key* CRegHive::FindKey(std::string_view path)
{
    auto it = m_keys.find(Fold(path));
    return it == m_keys.end() ? nullptr : &it->second;
}

const CRegHive::Key* CRegHive::FindKey(std::string_view path) const
{
    auto it = m_keys.find(Fold(path));
    return it == m_keys.end() ? nullptr : &it->second;
}

CRegHive::Key& CRegHive::EnsureKey(std::string_view path)
{
    // Parents first, so that every key in the map has all its ancestors.
    std::size_t pos = 0;
    Key* key = nullptr;
    for (;;) {
        const std::size_t end = path.find('\\', pos);
        const std::string_view prefix = path.substr(0, end);
        auto [it, inserted] = m_keys.try_emplace(Fold(prefix));
        if (inserted) it->second.path = std::string(prefix);
        key = &it->second;
        if (end == std::string_view::npos) break;
        pos = end + 1;
    }
    return *key;
}

bool CRegHive::KeyExists(std::string_view path) const
{
    path = TrimKeyPath(path);
    return path.empty() || FindKey(path) != nullptr;
}

bool CRegHive::CreateKey(std::string_view path)
{
    path = TrimKeyPath(path);
    if (!ValidKeyPath(path)) return false;
    if (path.empty()) {
        m_keys.try_emplace(std::string());
        return true;
    }
    EnsureKey(path);
    return true;
}

void CRegHive::DeleteKey(std::string_view path)
{
    path = TrimKeyPath(path);
    const std::string folded = Fold(path);
    const std::string childPrefix = folded.empty() ? std::string() : folded + "\\";
    for (auto it = m_keys.begin(); it != m_keys.end();) {
        if (it->first == folded || it->first.starts_with(childPrefix)) it = m_keys.erase(it);
        else ++it;
    }
}

const CRegValue* CRegHive::FindValue(std::string_view keyPath, std::string_view name) const
{
    const Key* key = FindKey(TrimKeyPath(keyPath));
    if (key == nullptr) return nullptr;
    auto it = key->index.find(Fold(name));
    return it == key->index.end() ? nullptr : &key->values[it->second];
}

bool CRegHive::SetValue(std::string_view keyPath, std::string_view name, DWORD type, const BYTE* data, std::size_t size)
{
    keyPath = TrimKeyPath(keyPath);
    if (!ValidKeyPath(keyPath) || !ValidValueName(name) || size > kMaxValueBytes || (data == nullptr && size != 0))
        return false;
    Key& key = keyPath.empty() ? m_keys.try_emplace(std::string()).first->second : EnsureKey(keyPath);
    const std::string folded = Fold(name);
    auto it = key.index.find(folded);
    CRegValue* value = nullptr;
    if (it == key.index.end()) {
        key.index.emplace(folded, key.values.size());
        key.values.emplace_back();
        value = &key.values.back();
        value->name = std::string(name);
    } else {
        value = &key.values[it->second];
    }
    value->type = type;
    value->data.assign(data, data + size);
    return true;
}

void CRegHive::DeleteValue(std::string_view keyPath, std::string_view name)
{
    Key* key = FindKey(TrimKeyPath(keyPath));
    if (key == nullptr) return;
    auto it = key->index.find(Fold(name));
    if (it == key->index.end()) return;
    key->values.erase(key->values.begin() + static_cast<std::ptrdiff_t>(it->second));
    key->index.clear();
    for (std::size_t i = 0; i < key->values.size(); ++i) key->index.emplace(Fold(key->values[i].name), i);
}

bool CRegHive::ParseSection(std::string_view line, std::string& currentKey, bool& inForeign, bool& haveSection)
{
    if (line.size() < 2 || line.back() != ']') return false;
    std::string_view inner = line.substr(1, line.size() - 2);
    bool remove = false;
    if (!inner.empty() && inner.front() == '-') {
        remove = true;
        inner.remove_prefix(1);
    }
    const std::size_t sep = inner.find('\\');
    const std::string_view root = inner.substr(0, sep);
    const std::string_view path =
        TrimKeyPath(sep == std::string_view::npos ? std::string_view() : inner.substr(sep + 1));
    const std::string_view abbreviation = AbbreviationOf(m_rootName);
    const bool ours = EqualsFolded(root, m_rootName) || (!abbreviation.empty() && EqualsFolded(root, abbreviation));
    haveSection = true;
    if (!ours || !ValidKeyPath(path)) {
        // Values below a section we cannot place are skipped as well.
        inForeign = true;
        return false;
    }
    inForeign = false;
    if (remove) {
        DeleteKey(path);
        inForeign = true;  // values under a deleted key have nowhere to go
        return true;
    }
    CreateKey(path);
    currentKey = std::string(path);
    return true;
}

bool CRegHive::ParseValueLine(std::string_view line, const std::string& currentKey)
{
    std::string name;
    if (line.front() == '@') {
        line.remove_prefix(1);
    } else if (!ParseQuoted(line, name)) {
        return false;
    }
    line = Trim(line);
    if (line.empty() || line.front() != '=') return false;
    line = Trim(line.substr(1));
    if (!ValidValueName(name)) return false;

    if (line == "-") {
        DeleteValue(currentKey, name);
        return true;
    }
    if (!line.empty() && line.front() == '"') {
        std::string text;
        if (!ParseQuoted(line, text) || !Trim(line).empty()) return false;
        std::vector<BYTE> data(text.begin(), text.end());
        data.push_back(0);
        return SetValue(currentKey, name, REG_SZ, data.data(), data.size());
    }
    if (StartsWithFolded(line, "dword:")) {
        line.remove_prefix(6);
        DWORD v = 0;
        if (!ParseHexNumber(line, 8, v) || !Trim(line).empty()) return false;
        const BYTE data[4] = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16),
                              static_cast<BYTE>(v >> 24)};
        return SetValue(currentKey, name, REG_DWORD, data, 4);
    }
    if (StartsWithFolded(line, "hex")) {
        line.remove_prefix(3);
        DWORD type = REG_BINARY;
        if (!line.empty() && line.front() == '(') {
            line.remove_prefix(1);
            if (!ParseHexNumber(line, 8, type) || line.empty() || line.front() != ')') return false;
            line.remove_prefix(1);
        }
        if (line.empty() || line.front() != ':') return false;
        std::vector<BYTE> data;
        if (!ParseHexList(line.substr(1), data)) return false;
        return SetValue(currentKey, name, type, data.data(), data.size());
    }
    return false;
}

CRegHive::ParseReport CRegHive::Parse(std::string_view input)
{
    ParseReport report;
    m_keys.clear();

    if (input.size() > kMaxFileBytes) {
        report.garbage = true;
        return report;
    }
    std::string converted;
    if (input.size() >= 2 && static_cast<unsigned char>(input[0]) == 0xFF &&
        static_cast<unsigned char>(input[1]) == 0xFE) {
        converted = Utf16LeToUtf8(input.substr(2), report.garbage);
        input = converted;
    } else if (input.size() >= 3 && input.substr(0, 3) == "\xEF\xBB\xBF") {
        input.remove_prefix(3);
    }
    if (Trim(input).find_first_not_of("\r\n \t") == std::string_view::npos) {
        report.headerOk = true;  // an empty file is an empty hive, not damage
        return report;
    }

    bool sawFirstLine = false;
    bool haveSection = false;
    bool inForeign = false;
    std::string currentKey;
    std::string logical;
    std::size_t pos = 0;
    while (pos < input.size()) {
        std::size_t end = input.find('\n', pos);
        if (end == std::string_view::npos) end = input.size();
        std::string_view physical = input.substr(pos, end - pos);
        pos = end + 1;

        if (physical.size() > kMaxLineBytes) {
            ++report.badLines;
            continue;
        }
        std::string_view line = Trim(physical);
        // hex: values may run over several lines, each but the last ending
        // in a backslash after a comma or after the "hex:" prefix.
        while (line.size() >= 2 && line.back() == '\\' &&
               (line[line.size() - 2] == ',' || line[line.size() - 2] == ':') && !line.starts_with("[") &&
               pos < input.size()) {
            std::size_t nextEnd = input.find('\n', pos);
            if (nextEnd == std::string_view::npos) nextEnd = input.size();
            const std::string_view next = Trim(input.substr(pos, nextEnd - pos));
            if (line.size() + next.size() > kMaxLineBytes) break;
            // line may view logical itself: build the join apart from it.
            std::string joined(line.substr(0, line.size() - 1));
            joined.append(next);
            logical.swap(joined);
            pos = nextEnd + 1;
            line = logical;
        }
        if (line.empty() || line.front() == ';') continue;
        if (HasControlChars(line)) {
            report.garbage = true;
            ++report.badLines;
            continue;
        }
        if (!sawFirstLine) {
            sawFirstLine = true;
            if (line == kHeader5 || line == kHeader4) {
                report.headerOk = true;
                continue;
            }
        }
        bool ok = false;
        if (line.front() == '[') {
            ok = ParseSection(line, currentKey, inForeign, haveSection);
        } else if ((line.front() == '"' || line.front() == '@') && haveSection && !inForeign) {
            ok = ParseValueLine(line, currentKey);
        }
        if (!ok) ++report.badLines;
    }
    return report;
}

std::string CRegHive::Serialize() const
{
    std::string out;
    out.append(kHeader5);
    out.append("\n\n");
    for (const auto& [folded, key] : m_keys) {
        if (key.path.empty() && key.values.empty()) continue;
        out.push_back('[');
        out.append(m_rootName);
        if (!key.path.empty()) {
            out.push_back('\\');
            out.append(key.path);
        }
        out.append("]\n");
        for (const CRegValue& v : key.values) {
            const std::size_t lineStart = out.size();
            if (v.name.empty()) out.push_back('@');
            else AppendEscaped(out, v.name);
            out.push_back('=');
            if (v.type == REG_SZ && PrintableString(v.data)) {
                AppendEscaped(out, std::string_view(reinterpret_cast<const char*>(v.data.data()), v.data.size() - 1));
            } else if (v.type == REG_DWORD && v.data.size() == 4) {
                const DWORD d = static_cast<DWORD>(v.data[0]) | (static_cast<DWORD>(v.data[1]) << 8) |
                                (static_cast<DWORD>(v.data[2]) << 16) | (static_cast<DWORD>(v.data[3]) << 24);
                char buf[16];
                std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(d));
                out.append(buf);
            } else {
                char buf[24];
                if (v.type == REG_BINARY) std::snprintf(buf, sizeof buf, "hex:");
                else std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
                out.append(buf);
                std::size_t column = out.size() - lineStart;
                for (std::size_t i = 0; i < v.data.size(); ++i) {
                    std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned>(v.data[i]));
                    out.append(buf);
                    column += 2;
                    if (i + 1 < v.data.size()) {
                        out.push_back(',');
                        ++column;
                        // Lines are wrapped as the registry editor wraps
                        // them, so long values stay readable.
                        if (column >= 76) {
                            out.append("\\\n  ");
                            column = 2;
                        }
                    }
                }
            }
            out.push_back('\n');
        }
        out.push_back('\n');
    }
    return out;
}
