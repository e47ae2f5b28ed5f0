// The texts of a sheet's cells joined into one, each text followed by a
// separator, so that looking for a piece of text in a whole sheet is one
// pass over contiguous memory instead of a visit to every cell's text.
//
// Most sheets hold numbers and Latin-1 words only; their joined text keeps
// one byte a unit, which halves both the memory it takes and what every
// search has to read. The first unit that does not fit (or a U+0000, which
// the narrow form uses as its separator) turns the whole text to UTF-16.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace office {

class SheetText {
public:
    // A search text prepared once for the many searches of one Find.
    struct Needle {
        explicit Needle(std::u16string_view units);
        std::u16string wide;
        std::string narrow;
        bool narrowable = false;  // every unit fits the narrow form
    };

    // The separator of the UTF-16 form; a needle holding it may match
    // across the end of a cell's texts.
    static constexpr char16_t kWideSeparator = 0xFFFF;

    // Starts joining the texts of up to `cells` cells, about `units`
    // units in all; past `limit` units the joined text is dropped.
    void Start(std::size_t cells, std::size_t units, std::size_t limit);
    // Begins the next cell; the texts added next are its texts.
    void NextCell();
    enum class Added { Yes, NeedsPreparing, OverLimit };
    // How a text is taken: as it stands (a text already in the form
    // searched), or only when it is ASCII, as it stands or lowered, which
    // is then all its preparing; any other text is left out and
    // NeedsPreparing returned, for the caller to add its prepared form.
    enum class As { Prepared, Ascii, AsciiLowered };
    // Adds one text of the current cell. OverLimit: the joined text was
    // dropped and stays empty.
    Added Add(std::u16string_view text, As as);
    // Ends joining; from now on the text can be searched.
    void Finish();

    bool Ready() const { return m_ready; }
    std::size_t Units() const { return m_size; }

    // The first cell in [first, end) whose joined texts hold `needle`, in
    // row order: the cell in whose texts a hit begins. A hit may run on
    // into the next cell's texts only when the needle holds the separator.
    std::optional<std::size_t> FindCell(const Needle& needle, std::size_t first, std::size_t end) const;

    // How often the rarest unit of `run` turned up in a sample of the
    // joined text: a rough measure of how many cells hold the run.
    std::size_t Frequency(std::u16string_view run) const;

private:
    void Drop();
    void Widen();
    // Makes room for `more` units after the ones in use.
    void Grow(std::size_t more);

    std::string m_narrow;   // sized ahead; m_size units are in use
    std::u16string m_wide;  // the same, once a unit did not fit
    bool m_isWide = false;
    bool m_open = false;  // between Start and Finish, unless dropped
    bool m_ready = false;
    std::size_t m_size = 0;
    std::size_t m_limit = 0;
    std::vector<std::uint32_t> m_starts;        // where each cell's texts begin
    std::array<std::uint32_t, 129> m_sample{};  // ASCII units, then all others
};

}  // namespace office
