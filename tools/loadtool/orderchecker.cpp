#include "orderchecker.h"

OrderChecker::Verdict OrderChecker::accept(Token token, std::uint32_t sentSoFar)
{
    if (token.sender >= m_next.size() || token.seq >= sentSoFar) {
        ++m_impossible;
        return Verdict::Impossible;
    }
    std::uint32_t &next = m_next[token.sender];
    if (token.seq >= next) {
        for (std::uint32_t skipped = next; skipped < token.seq; ++skipped)
            m_missing.emplace(token.sender, skipped);
        next = token.seq + 1;
        return Verdict::InOrder;
    }
    if (m_missing.erase({token.sender, token.seq}) == 1) {
        ++m_reordered;
        return Verdict::Reordered;
    }
    ++m_duplicated;
    return Verdict::Duplicated;
}

std::uint64_t OrderChecker::lost(std::uint32_t sender, std::uint32_t sent) const
{
    if (sender >= m_next.size())
        return sent;
    const std::uint32_t next = m_next[sender];
    const auto first = m_missing.lower_bound({sender, 0});
    const auto last = m_missing.lower_bound({sender + 1, 0});
    std::uint64_t gaps = 0;
    for (auto it = first; it != last && it->second < sent; ++it)
        ++gaps;
    return gaps + (sent > next ? sent - next : 0);
}
