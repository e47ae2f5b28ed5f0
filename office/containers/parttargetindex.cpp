// Relationship targets looked up by their own length (see parttargetindex.h).
#include "office/containers/parttargetindex.h"

#include "office/containers/zippackage.h"
#include "platform/cancellation.h"

#include <algorithm>
#include <charconv>

namespace office {

namespace {

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lowered(std::string_view s)
{
    std::string out(s);
    for (char& c : out) c = AsciiLower(c);
    return out;
}

// The folder of a part, split as ResolvePartTarget splits it: empty
// segments dropped, "." and ".." kept as they are written.
std::vector<std::string> FolderSegments(std::string_view part)
{
    std::vector<std::string> segments;
    while (!part.empty() && part.front() == '/') part.remove_prefix(1);
    const auto slash = part.rfind('/');
    if (slash == std::string_view::npos) return segments;
    const std::string_view folder = part.substr(0, slash);
    std::size_t start = 0;
    while (start <= folder.size()) {
        const auto end = std::min(folder.find('/', start), folder.size());
        if (end > start) segments.emplace_back(folder.substr(start, end - start));
        start = end + 1;
    }
    return segments;
}

// "<shared>:<rest>": how many of the folder's leading segments a name keeps,
// then the rest of it. No rest segment is empty, so the form is unique.
void MakeKey(std::size_t shared, const std::vector<std::string_view>& rest, std::string& key)
{
    key.clear();
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, shared).ptr;
    key.append(digits, end);
    key.push_back(':');
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (i != 0) key.push_back('/');
        key.append(rest[i]);
    }
}

}  // namespace

PartTargetIndex::PartTargetIndex(const std::vector<std::string>& entries, std::string_view sourcePart)
    : m_entries(entries)
{
    m_exact.segments = FolderSegments(sourcePart);
    for (const std::string& segment : m_exact.segments) m_folded.segments.push_back(Lowered(segment));
    platform::StopCheck stop(1024);
    std::string key;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        stop();
        // The first entry of a name wins, as in the package's own lookup.
        if (EntryKey(m_exact, entries[i], key)) m_exact.entries.emplace(key, i);
        if (EntryKey(m_folded, Lowered(entries[i]), key)) m_folded.entries.emplace(key, i);
    }
}

bool PartTargetIndex::EntryKey(const Folder& folder, std::string_view name, std::string& key)
{
    // A resolved target never has an empty segment, nor "." or ".." past
    // the folder's own segments.
    if (name.empty()) return false;
    std::vector<std::string_view> rest;
    std::size_t shared = 0;
    std::size_t start = 0;
    while (start <= name.size()) {
        const auto end = std::min(name.find('/', start), name.size());
        const std::string_view segment = name.substr(start, end - start);
        start = end + 1;
        if (segment.empty()) return false;
        if (rest.empty() && shared < folder.segments.size() && segment == folder.segments[shared]) {
            ++shared;
            continue;
        }
        if (segment == "." || segment == "..") return false;
        rest.push_back(segment);
    }
    MakeKey(shared, rest, key);
    return true;
}

bool PartTargetIndex::TargetKey(const Folder& folder, std::string_view decoded, std::string& key)
{
    // The name is the folder's first `shared` segments, then `m_rest`; a
    // segment that would follow the shared ones and equals the folder's
    // next one is taken as shared instead, the same form EntryKey gives.
    std::size_t shared = decoded.front() == '/' ? 0 : folder.segments.size();
    m_rest.clear();
    std::size_t start = 0;
    while (start <= decoded.size()) {
        const auto end = std::min(decoded.find('/', start), decoded.size());
        const std::string_view segment = decoded.substr(start, end - start);
        start = end + 1;
        if (segment.empty() || segment == ".") continue;
        if (segment == "..") {
            if (!m_rest.empty()) m_rest.pop_back();
            else if (shared > 0) --shared;
            else return false;
            continue;
        }
        if (m_rest.empty() && shared < folder.segments.size() && segment == folder.segments[shared]) {
            ++shared;
            continue;
        }
        m_rest.push_back(segment);
    }
    if (shared == 0 && m_rest.empty()) return false;
    MakeKey(shared, m_rest, key);
    return true;
}

std::size_t PartTargetIndex::Find(std::string_view target)
{
    if (!DecodePartTarget(target, m_decoded) || !TargetKey(m_exact, m_decoded, m_key)) return npos;
    const auto exact = m_exact.entries.find(m_key);
    if (exact != m_exact.entries.end()) return exact->second;
    m_lowered = Lowered(m_decoded);
    if (!TargetKey(m_folded, m_lowered, m_key)) return npos;
    const auto folded = m_folded.entries.find(m_key);
    return folded != m_folded.entries.end() ? folded->second : npos;
}

std::size_t PartTargetIndex::EntryNamed(std::string_view partName) const
{
    while (!partName.empty() && partName.front() == '/') partName.remove_prefix(1);
    std::size_t folded = npos;
    const std::string lowered = Lowered(partName);
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i] == partName) return i;
        if (folded == npos && m_entries[i].size() == lowered.size() && Lowered(m_entries[i]) == lowered) folded = i;
    }
    return folded;
}

}  // namespace office
