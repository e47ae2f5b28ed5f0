// The per-file memory budget (see readbudget.h).
#include "office/containers/readbudget.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace office {

namespace {

std::string Size(std::uint64_t bytes)
{
    char text[32];
    if (bytes >= std::uint64_t{10} << 20)
        std::snprintf(text, sizeof text, "%llu MB", static_cast<unsigned long long>((bytes + (1u << 19)) >> 20));
    else if (bytes >= 100 * 1024)
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    else std::snprintf(text, sizeof text, "%llu bytes", static_cast<unsigned long long>(bytes));
    return text;
}

}  // namespace

std::uint64_t ReadBudget::DefaultLimit()
{
    // Asked once: every opened file makes a budget, and asking costs a
    // system call.
    static const std::uint64_t limit = [] {
        const long pages = ::sysconf(_SC_PHYS_PAGES);
        const long pageSize = ::sysconf(_SC_PAGESIZE);
        if (pages <= 0 || pageSize <= 0) return kDefaultBytes;
        const std::uint64_t quarter = static_cast<std::uint64_t>(pages) / 4 * static_cast<std::uint64_t>(pageSize);
        return std::min(kDefaultBytes, quarter);
    }();
    return limit;
}

ReadBudget::ReadBudget(std::uint64_t limit) : m_limit(limit) {}

bool ReadBudget::TryCharge(std::uint64_t bytes) noexcept
{
    std::uint64_t used = m_used.load(std::memory_order_relaxed);
    do {
        if (bytes > m_limit - std::min(used, m_limit)) return false;
    } while (!m_used.compare_exchange_weak(used, used + bytes, std::memory_order_relaxed));
    const std::uint64_t now = used + bytes;
    std::uint64_t peak = m_peak.load(std::memory_order_relaxed);
    while (now > peak && !m_peak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
    return true;
}

void ReadBudget::Charge(std::uint64_t bytes, std::string_view what)
{
    if (!TryCharge(bytes)) throw ReadBudgetExceeded(Refusal(bytes, what));
}

void ReadBudget::Release(std::uint64_t bytes) noexcept
{
    m_used.fetch_sub(bytes, std::memory_order_relaxed);
}

std::string ReadBudget::Refusal(std::uint64_t bytes, std::string_view what) const
{
    return "too large: " + std::string(what) + " would take this file past its memory budget of " + Size(m_limit) +
           " (" + Size(Used()) + " in use, " + Size(bytes) + " more needed)";
}

BudgetHold::BudgetHold(BudgetHold&& other) noexcept : m_budget(other.m_budget), m_bytes(std::exchange(other.m_bytes, 0))
{
}

BudgetHold& BudgetHold::operator=(BudgetHold&& other) noexcept
{
    if (this != &other) {
        Reset();
        m_budget = other.m_budget;
        m_bytes = std::exchange(other.m_bytes, 0);
    }
    return *this;
}

bool BudgetHold::TryAdd(std::uint64_t bytes) noexcept
{
    if (m_budget != nullptr && !m_budget->TryCharge(bytes)) return false;
    m_bytes += bytes;
    return true;
}

void BudgetHold::Add(std::uint64_t bytes, std::string_view what)
{
    if (!TryAdd(bytes)) throw ReadBudgetExceeded(m_budget->Refusal(bytes, what));
}

bool BudgetHold::TryCover(std::uint64_t total) noexcept
{
    if (total <= m_bytes) return true;
    const std::uint64_t need = total - m_bytes;
    // A step ahead when the budget has room for it, else only what is needed.
    return TryAdd(std::max(need, kStep)) || TryAdd(need);
}

void BudgetHold::Absorb(BudgetHold& other) noexcept
{
    if (other.m_budget != m_budget) {
        // Not expected; keep the books right all the same.
        other.Reset();
        return;
    }
    m_bytes += std::exchange(other.m_bytes, 0);
}

void BudgetHold::ShrinkTo(std::uint64_t total) noexcept
{
    if (m_bytes <= total) return;
    if (m_budget != nullptr) m_budget->Release(m_bytes - total);
    m_bytes = total;
}

std::string BudgetHold::Refusal(std::uint64_t total, std::string_view what) const
{
    const std::uint64_t need = total > m_bytes ? total - m_bytes : 0;
    return m_budget != nullptr ? m_budget->Refusal(need, what) : std::string("too large: ") + std::string(what);
}

}  // namespace office
