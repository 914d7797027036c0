#include "token.h"

#include <charconv>
#include <cstring>

namespace {
// A small generator seeded from both numbers: a changed digit in either one
// yields a different padding, so a corrupted number does not validate.
class Padding
{
public:
    explicit Padding(Token token) : m_state(token.sender * 0x9E3779B1u ^ token.seq * 0x85EBCA77u) {}
    char next()
    {
        m_state = m_state * 1664525u + 1013904223u;
        return static_cast<char>('a' + (m_state >> 24) % 26u);
    }

private:
    std::uint32_t m_state;
};

bool parseNumber(const char *&p, const char *end, std::uint32_t &value)
{
    if (p == end || *p < '0' || *p > '9')
        return false;
    const auto [next, error] = std::from_chars(p, end, value);
    if (error != std::errc{})
        return false;
    p = next;
    return true;
}
} // namespace

namespace TokenFormat {

std::string makeLine(Token token, std::size_t lineBytes)
{
    if (lineBytes < MinLineBytes || lineBytes > MaxLineBytes)
        return {};
    std::string line = Opening + std::to_string(token.sender) + ':' + std::to_string(token.seq) + ':';
    const std::size_t padding = lineBytes - line.size() - 1;
    Padding pattern(token);
    for (std::size_t i = 0; i < padding; ++i)
        line += pattern.next();
    line += Closing;
    return line;
}

bool parseLine(const char *line, std::size_t size, std::size_t lineBytes, Token &out)
{
    if (size != lineBytes || std::memcmp(line, Opening, OpeningBytes) != 0 || line[size - 1] != Closing)
        return false;
    const char *p = line + OpeningBytes;
    const char *end = line + size - 1;
    Token token;
    if (!parseNumber(p, end, token.sender) || p == end || *p++ != ':')
        return false;
    if (!parseNumber(p, end, token.seq) || p == end || *p++ != ':')
        return false;
    Padding pattern(token);
    for (; p != end; ++p) {
        if (*p != pattern.next())
            return false;
    }
    out = token;
    return true;
}

} // namespace TokenFormat

void TokenScanner::feed(const char *data, std::size_t size, std::vector<Token> &out)
{
    m_pending.append(data, size);
    scan(out);
}

void TokenScanner::scan(std::vector<Token> &out)
{
    using namespace TokenFormat;
    std::size_t pos = 0;
    const std::size_t size = m_pending.size();
    while (pos < size) {
        const std::size_t start = m_pending.find('<', pos);
        if (start == std::string::npos) {
            pos = size;
            break;
        }
        // Not enough bytes yet to tell whether this is a token: keep them.
        const std::size_t have = size - start;
        if (have < OpeningBytes) {
            if (m_pending.compare(start, have, Opening, have) == 0) {
                pos = start;
                break;
            }
            pos = start + 1;
            continue;
        }
        if (m_pending.compare(start, OpeningBytes, Opening) != 0) {
            pos = start + 1;
            continue;
        }
        // A token ends at the first '>' or is cut by the next '<' (another
        // sender's line run into a broken one).
        const std::size_t stop = m_pending.find_first_of("<>", start + 1);
        if (stop == std::string::npos) {
            if (have <= m_lineBytes) {
                pos = start;
                break;
            }
            ++m_garbled;
            pos = start + 1;
            continue;
        }
        if (m_pending[stop] == '<') {
            ++m_garbled;
            pos = stop;
            continue;
        }
        Token token;
        if (parseLine(m_pending.data() + start, stop - start + 1, m_lineBytes, token))
            out.push_back(token);
        else
            ++m_garbled;
        pos = stop + 1;
    }
    m_pending.erase(0, pos);
}

void TokenScanner::finish()
{
    if (m_pending.find(TokenFormat::Opening) != std::string::npos)
        ++m_garbled;
    m_pending.clear();
}
