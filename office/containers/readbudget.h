// The memory one opened file may cost while it is read: one budget per
// Documents.Open or Workbooks.Open, shared by every part of the file (the
// inflated parts of a package, the sheets a workbook parses side by side on
// several threads, the text pool, the decoded text of a text file), so that
// a file whose contents grow far beyond its size is refused early with a
// clear reason instead of taking the machine's memory.
//
// What counts is memory that is written, charged before it is: a structure
// that grows charges a step ahead of itself, and a reallocation charges the
// old copy as long as both exist. Address space reserved but never touched
// is not counted. The file's own bytes are not counted either: they have
// their own cap where the file is read (filebytes.h).
//
// Charging is thread-safe and lock-free; a charge that would pass the limit
// is refused whole, so the count never passes the limit.
#pragma once

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace office {

// Thrown by ReadBudget::Charge; what() is the refusal, beginning "too large:".
class ReadBudgetExceeded : public std::runtime_error {
public:
    explicit ReadBudgetExceeded(const std::string& why) : std::runtime_error(why) {}
};

class ReadBudget {
public:
    static constexpr std::uint64_t kDefaultBytes = std::uint64_t{1024} * 1024 * 1024;

    // 1 GB, or a quarter of the machine's physical memory when that is less.
    static std::uint64_t DefaultLimit();

    explicit ReadBudget(std::uint64_t limit = DefaultLimit());
    ReadBudget(const ReadBudget&) = delete;
    ReadBudget& operator=(const ReadBudget&) = delete;

    // Counts `bytes` more; false, counting nothing, when that would pass the
    // limit.
    bool TryCharge(std::uint64_t bytes) noexcept;
    // The same, but throws ReadBudgetExceeded with Refusal(bytes, what).
    void Charge(std::uint64_t bytes, std::string_view what);
    void Release(std::uint64_t bytes) noexcept;

    // "too large: <what> would take this file past its memory budget of
    // L MB (U MB in use, N MB more needed)".
    std::string Refusal(std::uint64_t bytes, std::string_view what) const;

    std::uint64_t Limit() const noexcept { return m_limit; }
    std::uint64_t Used() const noexcept { return m_used.load(std::memory_order_relaxed); }
    // The most ever counted at once.
    std::uint64_t Peak() const noexcept { return m_peak.load(std::memory_order_relaxed); }

private:
    const std::uint64_t m_limit;
    std::atomic<std::uint64_t> m_used{0};
    std::atomic<std::uint64_t> m_peak{0};
};

// Bytes counted against a budget for as long as the hold lives, for one
// buffer or one growing structure of one thread. Without a budget it holds
// nothing and every charge succeeds.
class BudgetHold {
public:
    // Growing structures charge at least this much at a time.
    static constexpr std::uint64_t kStep = std::uint64_t{1} << 20;

    BudgetHold() = default;
    explicit BudgetHold(ReadBudget* budget) : m_budget(budget) {}
    ~BudgetHold() { Reset(); }
    BudgetHold(BudgetHold&& other) noexcept;
    BudgetHold& operator=(BudgetHold&& other) noexcept;
    BudgetHold(const BudgetHold&) = delete;
    BudgetHold& operator=(const BudgetHold&) = delete;

    ReadBudget* Budget() const { return m_budget; }
    std::uint64_t Bytes() const { return m_bytes; }

    // Adds `bytes` to the hold; false (nothing added) when the budget refuses.
    bool TryAdd(std::uint64_t bytes) noexcept;
    void Add(std::uint64_t bytes, std::string_view what);
    // Makes the hold at least `total` bytes, charging a step ahead (at least
    // kStep) so that a structure growing a little at a time asks the budget
    // only once a step. False when the budget refuses.
    bool TryCover(std::uint64_t total) noexcept;
    // Takes over what `other` (a hold on the same budget) has.
    void Absorb(BudgetHold& other) noexcept;
    // Gives back what the hold has beyond `total`.
    void ShrinkTo(std::uint64_t total) noexcept;
    void Reset() noexcept { ShrinkTo(0); }
    // The refusal text for a cover of `total` that failed.
    std::string Refusal(std::uint64_t total, std::string_view what) const;

private:
    ReadBudget* m_budget = nullptr;
    std::uint64_t m_bytes = 0;
};

}  // namespace office
