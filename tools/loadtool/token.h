#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One chat line of the load tool: "<T:sender:seq:padding>", exactly
// `lineBytes` long. The wire has no framing, so lines are found again by
// scanning the byte stream for "<T:"; the padding is a pattern derived from
// sender and seq, so a dropped, doubled or altered byte anywhere in the line
// makes it fail validation instead of passing as a shorter line.
struct Token
{
    std::uint32_t sender = 0;
    std::uint32_t seq = 0;
};

namespace TokenFormat {
inline constexpr char Opening[] = "<T:";
inline constexpr std::size_t OpeningBytes = sizeof(Opening) - 1;
inline constexpr char Closing = '>';
inline constexpr std::size_t DefaultLineBytes = 64;
// Room for "<T:" + two 10-digit numbers + two ':' + '>' and some padding.
inline constexpr std::size_t MinLineBytes = 32;
inline constexpr std::size_t MaxLineBytes = 4096;

// Empty when `lineBytes` is out of range.
std::string makeLine(Token token, std::size_t lineBytes);
// True when `line` is exactly what makeLine would produce for its numbers.
bool parseLine(const char *line, std::size_t size, std::size_t lineBytes, Token &out);
} // namespace TokenFormat

// Finds tokens in an unframed stream fed in arbitrary pieces. Text that is not
// a token (IRC prefixes, the server's own lines, join notices) is skipped; a
// "<T:" that does not become a valid line within `lineBytes` counts as garbled.
class TokenScanner
{
public:
    explicit TokenScanner(std::size_t lineBytes = TokenFormat::DefaultLineBytes)
        : m_lineBytes(lineBytes)
    {}

    // Appends every complete token found to `out`; keeps an unfinished tail.
    void feed(const char *data, std::size_t size, std::vector<Token> &out);

    std::uint64_t garbled() const { return m_garbled; }
    // A token cut off at the end of the stream is garbled too.
    void finish();

private:
    void scan(std::vector<Token> &out);

    std::size_t m_lineBytes;
    std::string m_pending;
    std::uint64_t m_garbled = 0;
};
