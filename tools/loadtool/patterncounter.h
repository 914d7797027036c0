#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Counts occurrences of a fixed byte pattern in a stream that arrives in
// arbitrary pieces (a join notice may be split over two reads).
class PatternCounter
{
public:
    explicit PatternCounter(std::string pattern) : m_pattern(std::move(pattern)) {}

    void feed(const char *data, std::size_t size);
    std::uint64_t count() const { return m_count; }

private:
    std::string m_pattern;
    std::string m_tail; // the last pattern-size - 1 bytes seen
    std::uint64_t m_count = 0;
};
