#pragma once

#include "token.h"

#include <cstdint>
#include <set>
#include <utility>
#include <vector>

// What one receiver saw of every sender's numbered lines. Each sender numbers
// its lines 0, 1, 2, ...; a line arriving after a later one of the same sender
// is reordered, one never arriving is lost, one arriving twice is duplicated.
class OrderChecker
{
public:
    enum class Verdict { InOrder, Reordered, Duplicated, Impossible };

    explicit OrderChecker(std::uint32_t senders) : m_next(senders, 0) {}

    // `sentSoFar` is how many lines the sender had sent: a line numbered past
    // it, or from an unknown sender, cannot be genuine (Impossible).
    Verdict accept(Token token, std::uint32_t sentSoFar);

    // Lines never seen from `sender`, given that it sent `sent` lines.
    std::uint64_t lost(std::uint32_t sender, std::uint32_t sent) const;
    std::uint64_t reordered() const { return m_reordered; }
    std::uint64_t duplicated() const { return m_duplicated; }
    std::uint64_t impossible() const { return m_impossible; }

private:
    std::vector<std::uint32_t> m_next;
    // Gaps: lines skipped over that may still come late.
    std::set<std::pair<std::uint32_t, std::uint32_t>> m_missing;
    std::uint64_t m_reordered = 0;
    std::uint64_t m_duplicated = 0;
    std::uint64_t m_impossible = 0;
};
