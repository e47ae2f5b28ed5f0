// The table of unit foldings (see unitfolds.h).
#include "office/text/unitfolds.h"

#include "office/text/casefold.h"

#include <unicode/utf16.h>

#include <string>
#include <string_view>

namespace office {

void UnitFolds::Fill(std::size_t block)
{
    const std::lock_guard lock(m_filling);
    if (m_ready[block].load(std::memory_order_relaxed) != 0) return;
    std::array<std::uint64_t, 4> toOne{};
    std::u16string folded;
    for (std::uint32_t c = static_cast<std::uint32_t>(block << 8); c < ((block + 1) << 8); ++c) {
        const auto unit = static_cast<char16_t>(c);
        if (U16_IS_SURROGATE(unit)) continue;
        folded.clear();
        AppendFullCaseFold(std::u16string_view(&unit, 1), folded);
        if (folded.size() != 1) continue;
        m_fold[c] = folded[0];
        toOne[(c >> 6) & 3] |= std::uint64_t{1} << (c & 63);
    }
    for (std::size_t w = 0; w < 4; ++w) m_toOne[block * 4 + w].store(toOne[w], std::memory_order_release);
    m_ready[block].store(1, std::memory_order_release);
}

}  // namespace office
