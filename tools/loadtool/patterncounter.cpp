#include "patterncounter.h"

void PatternCounter::feed(const char *data, std::size_t size)
{
    if (m_pattern.empty())
        return;
    std::string window = m_tail;
    window.append(data, size);
    for (std::size_t at = window.find(m_pattern); at != std::string::npos;
         at = window.find(m_pattern, at + m_pattern.size()))
        ++m_count;
    const std::size_t keep = m_pattern.size() - 1;
    m_tail = window.size() > keep ? window.substr(window.size() - keep) : window;
}
