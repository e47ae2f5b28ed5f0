// The link tables of a BIFF8 workbook's globals that formula tokens point
// into: SUPBOOK (which workbook), EXTERNNAME (add-in function names),
// EXTERNSHEET (a book and a range of its sheets) and NAME (defined names,
// some scoped to one sheet). The records are kept as read, and an entry is
// turned into formula text only when a token asks for it.
//
// A hostile file lists tens of thousands of EXTERNSHEET entries, names and
// sheets at a few bytes each. Anything laid out per entry and per name, or
// per sheet and per name, would grow with the product of two such counts;
// here every table grows with its own records only, and each lookup costs
// the length of the text it returns.
#pragma once

#include "office/excel/biffformula.h"
#include "office/text/byteview.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace office {

class BiffLinks : public BiffFormulaLinks {
public:
    // Caps on each table; an entry costs bytes of the stream, these only
    // stop a crafted file from growing a table without end.
    static constexpr std::size_t kMaxEntries = 65536;

    // The bodies of the globals' records, in stream order.
    void AddSupBook(ByteView body);
    void AddExternName(ByteView body);
    void AddExternSheet(ByteView body);
    void AddName(ByteView body);

    // The names of the BOUNDSHEET records, in their order.
    void SetSheetNames(std::vector<std::u16string> names);
    // The sheet (BOUNDSHEET index) whose formulas are being read: a name
    // scoped to it is written bare, one scoped to another sheet with that
    // sheet's name.
    void SetCurrentSheet(std::size_t index) { m_current = index; }

    std::optional<std::u16string> SheetRef(std::uint16_t ixti) const override;
    std::u16string Name(std::uint16_t index) const override;
    std::u16string ExternName(std::uint16_t ixti, std::uint16_t index) const override;

private:
    struct SupBook {
        enum class Kind : std::uint8_t { Self, AddIn, Other };
        Kind kind = Kind::Other;
        std::vector<std::u16string> names;
    };
    struct ExternSheet {
        std::uint16_t book = 0;
        std::uint16_t firstSheet = 0;
        std::uint16_t lastSheet = 0;
    };
    struct DefinedName {
        std::u16string name;
        std::uint16_t sheet = 0;  // 1-based BOUNDSHEET index of its scope, 0 for the workbook
    };

    static DefinedName ReadName(ByteView body);
    // A sheet's name as a formula writes it, quoted once on first use.
    const std::u16string& QuotedSheet(std::size_t index) const;

    std::vector<SupBook> m_supBooks;
    std::vector<ExternSheet> m_externSheets;
    std::vector<DefinedName> m_names;
    std::vector<std::u16string> m_sheetNames;
    mutable std::vector<std::optional<std::u16string>> m_quoted;
    std::size_t m_current = 0;
};

}  // namespace office
