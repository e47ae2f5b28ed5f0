// One registry root held in memory, and its hive file format: the text of a
// registry export ("Windows Registry Editor Version 5.00", [ROOT\key]
// sections, "Name"=dword:/hex:/"text" lines). The parser is written for a
// file a person may have edited or a crash may have cut: every line is
// bounded, a line that does not parse is skipped and counted, and the
// caller learns whether the file was damaged so it can keep a copy before
// writing over it. The writer produces the same format back, so a hive
// survives any number of load/save cycles byte for byte.
#pragma once

#include "platform/wintypes.h"

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct CRegValue {
    std::string name;  // as first written; "" is the key's default value
    DWORD type = 0;
    std::vector<BYTE> data;
};

class CRegHive {
public:
    // Sizes beyond which a hive or one of its parts counts as damaged.
    static constexpr std::size_t kMaxFileBytes = 16u * 1024u * 1024u;
    static constexpr std::size_t kMaxValueBytes = 1024u * 1024u;
    static constexpr std::size_t kMaxLineBytes = 4u * kMaxValueBytes;
    static constexpr std::size_t kMaxKeyPathBytes = 1024;
    static constexpr std::size_t kMaxKeyNameBytes = 255;
    static constexpr std::size_t kMaxValueNameBytes = 16383;

    struct ParseReport {
        bool headerOk = false;
        std::size_t badLines = 0;  // lines skipped because they did not parse
        bool garbage = false;      // NUL bytes, bad encoding or over-size file
        bool Damaged() const { return !headerOk || badLines != 0 || garbage; }
    };

    // rootName is the section prefix this hive answers to, for example
    // "HKEY_CURRENT_USER"; sections of other roots count as damage.
    explicit CRegHive(std::string rootName);

    // Replaces the contents with what can be read from the text. Never
    // throws on bad input; the report says what was wrong with it.
    ParseReport Parse(std::string_view text);
    std::string Serialize() const;

    void Clear() { m_keys.clear(); }

    // Key paths are relative to the root, backslash separated, compared
    // without regard to case. "" is the root itself, which always exists.
    bool KeyExists(std::string_view path) const;
    // Creates the key and any missing parents; false when the path is not a
    // valid key path (see ValidKeyPath).
    bool CreateKey(std::string_view path);
    void DeleteKey(std::string_view path);

    const CRegValue* FindValue(std::string_view keyPath, std::string_view name) const;
    // Creates the key when missing; false when the path or name is invalid.
    bool SetValue(std::string_view keyPath, std::string_view name, DWORD type, const BYTE* data, std::size_t size);
    void DeleteValue(std::string_view keyPath, std::string_view name);

    // A path made of 1..255-byte names without control characters, joined
    // by single backslashes, no longer than kMaxKeyPathBytes. A trailing
    // backslash is tolerated by Canonical(), not here.
    static bool ValidKeyPath(std::string_view path);
    static bool ValidValueName(std::string_view name);
    // Drops one trailing backslash; the empty path stays empty.
    static std::string_view TrimKeyPath(std::string_view path);
    static std::string Fold(std::string_view s);

private:
    struct Key {
        std::string path;  // original spelling
        std::vector<CRegValue> values;
        std::unordered_map<std::string, std::size_t> index;  // folded name -> values[]
    };
    struct KeyLess {
        bool operator()(const std::string& a, const std::string& b) const;
    };

    Key* FindKey(std::string_view path);
    const Key* FindKey(std::string_view path) const;
    Key& EnsureKey(std::string_view path);

    bool ParseSection(std::string_view line, std::string& currentKey, bool& inForeign, bool& haveSection);
    bool ParseValueLine(std::string_view line, const std::string& currentKey);

    std::string m_rootName;
    std::map<std::string, Key, KeyLess> m_keys;  // folded path -> key
};
