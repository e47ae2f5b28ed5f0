// Link tables of BIFF8 formulas (see bifflinks.h).
#include "office/excel/bifflinks.h"

#include "office/excel/biffrecords.h"

#include <algorithm>
#include <iterator>

namespace office {

using biff::U16;

void BiffLinks::AddSupBook(ByteView b)
{
    if (b.size() < 4 || m_supBooks.size() >= kMaxEntries) return;
    // The name length field doubles as a marker for this workbook itself
    // and for add-in functions.
    const std::uint16_t marker = U16(b.data() + 2);
    SupBook book;
    book.kind = marker == 0x0401 ? SupBook::Kind::Self : marker == 0x3A01 ? SupBook::Kind::AddIn : SupBook::Kind::Other;
    m_supBooks.push_back(std::move(book));
}

void BiffLinks::AddExternName(ByteView b)
{
    if (m_supBooks.empty() || b.size() < 7 || m_supBooks.back().names.size() >= kMaxEntries) return;
    std::size_t pos = 6;  // past the option flags and 4 bytes that vary by kind
    std::u16string name;
    biff::ReadUnicodeString(b, pos, 1, name);
    m_supBooks.back().names.push_back(std::move(name));
}

void BiffLinks::AddExternSheet(ByteView b)
{
    if (b.size() < 2) return;
    const std::size_t count = std::min<std::size_t>(U16(b.data()), (b.size() - 2) / 6);
    for (std::size_t i = 0; i < count && m_externSheets.size() < kMaxEntries; ++i) {
        const std::uint8_t* p = b.data() + 2 + i * 6;
        m_externSheets.push_back({U16(p), U16(p + 2), U16(p + 4)});
    }
}

void BiffLinks::AddName(ByteView b)
{
    if (m_names.size() < kMaxEntries) m_names.push_back(ReadName(b));
}

void BiffLinks::SetSheetNames(std::vector<std::u16string> names)
{
    m_sheetNames = std::move(names);
    m_quoted.clear();
}

// A NAME record's name as a formula writes it; empty when unreadable,
// which still keeps the later names at their index.
BiffLinks::DefinedName BiffLinks::ReadName(ByteView b)
{
    static constexpr const char16_t* kBuiltinNames[] = {
        u"Consolidate_Area", u"Auto_Open",       u"Auto_Close",   u"Extract",         u"Database",
        u"Criteria",         u"Print_Area",      u"Print_Titles", u"Recorder",        u"Data_Form",
        u"Auto_Activate",    u"Auto_Deactivate", u"Sheet_Title",  u"_FilterDatabase",
    };
    DefinedName out;
    if (b.size() < 15) return out;
    const std::uint16_t flags = U16(b.data());
    const std::size_t count = b[3];
    out.sheet = U16(b.data() + 8);
    const bool wide = (b[14] & 1) != 0;
    if (count == 0 || b.size() - 15 < count * (wide ? 2 : 1)) return out;
    std::u16string name;
    for (std::size_t i = 0; i < count; ++i)
        name.push_back(wide ? static_cast<char16_t>(U16(b.data() + 15 + 2 * i)) : b[15 + i]);
    if ((flags & 0x20) != 0) {
        // A built-in name is stored as a one-character code.
        if (name[0] < std::size(kBuiltinNames)) out.name = kBuiltinNames[name[0]];
        return out;
    }
    out.name = std::move(name);
    return out;
}

const std::u16string& BiffLinks::QuotedSheet(std::size_t index) const
{
    if (m_quoted.size() != m_sheetNames.size()) m_quoted.assign(m_sheetNames.size(), std::nullopt);
    auto& quoted = m_quoted[index];
    if (!quoted) quoted = BiffFormulaDecoder::QuoteSheetName(m_sheetNames[index]);
    return *quoted;
}

std::optional<std::u16string> BiffLinks::SheetRef(std::uint16_t ixti) const
{
    if (ixti >= m_externSheets.size()) return std::nullopt;
    const ExternSheet& entry = m_externSheets[ixti];
    if (entry.book >= m_supBooks.size() || m_supBooks[entry.book].kind != SupBook::Kind::Self) return std::nullopt;
    if (entry.firstSheet >= m_sheetNames.size() || entry.lastSheet >= m_sheetNames.size()) return std::nullopt;
    if (entry.firstSheet == entry.lastSheet) return QuotedSheet(entry.firstSheet);
    return BiffFormulaDecoder::QuoteSheetRange(m_sheetNames[entry.firstSheet], m_sheetNames[entry.lastSheet]);
}

std::u16string BiffLinks::Name(std::uint16_t index) const
{
    if (index == 0 || index > m_names.size()) return {};
    const DefinedName& n = m_names[index - 1u];
    if (n.name.empty() || n.sheet == 0 || n.sheet - 1u == m_current) return n.name;
    if (n.sheet - 1u < m_sheetNames.size()) return QuotedSheet(n.sheet - 1u) + u"!" + n.name;
    return {};
}

std::u16string BiffLinks::ExternName(std::uint16_t ixti, std::uint16_t index) const
{
    if (ixti >= m_externSheets.size() || index == 0) return {};
    const ExternSheet& entry = m_externSheets[ixti];
    if (entry.book >= m_supBooks.size()) return {};
    const SupBook& book = m_supBooks[entry.book];
    switch (book.kind) {
    case SupBook::Kind::AddIn: return index <= book.names.size() ? book.names[index - 1u] : std::u16string();
    case SupBook::Kind::Self: {
        // Through this workbook's own SUPBOOK, ptgNameX means a NAME of
        // workbook scope.
        if (index > m_names.size()) return {};
        const DefinedName& n = m_names[index - 1u];
        return n.sheet == 0 ? n.name : std::u16string();
    }
    case SupBook::Kind::Other: break;
    }
    return {};
}

}  // namespace office
