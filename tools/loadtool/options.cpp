#include "options.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string_view>

bool isLoopbackAddress(const std::string &host)
{
    in_addr v4{};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    in6_addr v6{};
    if (inet_pton(AF_INET6, host.c_str(), &v6) == 1)
        return IN6_IS_ADDR_LOOPBACK(&v6);
    return false;
}

namespace {
template<typename T>
bool parseInteger(std::string_view text, T low, T high, T &out)
{
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < low || value > high)
        return false;
    out = value;
    return true;
}

bool parseReal(const std::string &text, double low, double high, double &out)
{
    char *end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(value >= low && value <= high))
        return false;
    out = value;
    return true;
}

bool parsePorts(std::string_view list, std::array<std::uint16_t, 4> &out)
{
    std::array<std::uint16_t, 4> ports{};
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const std::size_t comma = list.find(',');
        if ((comma == std::string_view::npos) != (i + 1 == ports.size()))
            return false;
        if (!parseInteger<std::uint16_t>(list.substr(0, comma), 1, 65535, ports[i]))
            return false;
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    }
    out = ports;
    return true;
}

bool parseChannels(std::string_view list, unsigned &out)
{
    unsigned bits = 0;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view name = list.substr(0, comma);
        if (name == "message")
            bits |= ChannelBit::Message;
        else if (name == "roster")
            bits |= ChannelBit::Roster;
        else if (name == "join")
            bits |= ChannelBit::Join;
        else if (name == "leave")
            bits |= ChannelBit::Leave;
        else if (name == "all")
            bits |= ChannelBit::All;
        else
            return false;
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    }
    if (bits == 0)
        return false;
    out = bits;
    return true;
}
} // namespace

bool parseOptions(int argc, const char *const *argv, Options &options, std::string &error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view name = argv[i];
        if (name == "--json") {
            options.json = true;
            continue;
        }
        if (name == "--burst") {
            options.burst = true;
            continue;
        }
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        if (i + 1 >= argc) {
            error = std::string(name) + ": missing value (or unknown option)";
            return false;
        }
        const std::string value = argv[++i];
        bool ok = false;
        if (name == "--host") {
            options.host = value;
            ok = isLoopbackAddress(value);
            if (!ok) {
                error = "--host " + value + ": only loopback addresses (127.0.0.0/8, ::1) are allowed";
                return false;
            }
        } else if (name == "--port") {
            ok = parseInteger<std::uint16_t>(value, 1, 65535, options.ircPort);
        } else if (name == "--chat-ports") {
            ok = parsePorts(value, options.chatPorts);
        } else if (name == "--clients") {
            ok = parseInteger<std::uint32_t>(value, 2, OptionLimits::MaxClients, options.clients);
        } else if (name == "--rounds") {
            ok = parseInteger<std::uint32_t>(value, 1, OptionLimits::MaxRounds, options.rounds);
        } else if (name == "--channels") {
            ok = parseChannels(value, options.channels);
        } else if (name == "--mode") {
            ok = value == "chat" || value == "irc" || value == "flood";
            options.mode = value == "irc"     ? LoadMode::Irc
                           : value == "flood" ? LoadMode::Flood
                                              : LoadMode::Chat;
        } else if (name == "--rate") {
            ok = parseReal(value, 0, 100000, options.rate);
        } else if (name == "--duration-limit") {
            ok = parseReal(value, 0.1, OptionLimits::MaxDuration, options.durationLimit);
        } else if (name == "--round-timeout") {
            ok = parseReal(value, 0.01, OptionLimits::MaxDuration, options.roundTimeout);
        } else if (name == "--arrival-timeout") {
            ok = parseReal(value, 0.01, OptionLimits::MaxDuration, options.arrivalTimeout);
        } else if (name == "--line-bytes") {
            ok = parseInteger<std::size_t>(value, 32, 4096, options.lineBytes);
        } else if (name == "--flood-seconds") {
            ok = parseReal(value, 0.1, OptionLimits::MaxDuration, options.floodSeconds);
        } else if (name == "--reader-share") {
            ok = parseReal(value, 0.001, 1, options.readerShare);
        } else if (name == "--server-pid") {
            ok = parseInteger<int>(value, 1, 1 << 30, options.serverPid);
        } else {
            error = "unknown option " + std::string(name);
            return false;
        }
        if (!ok) {
            error = "bad value for " + std::string(name) + ": " + value;
            return false;
        }
    }
    return true;
}

const char *usageText()
{
    return "usage: loadtool [options]\n"
           "  --host ADDR            loopback address of the server (default 127.0.0.1)\n"
           "  --mode chat|irc|flood  our four-channel chat server, an IRC server, or one\n"
           "                         flooder and clients-1 slower readers on our message port\n"
           "  --port P               IRC port (default 6667); chat ports are fixed\n"
           "  --chat-ports M,R,J,L   chat ports (default the server's fixed ones)\n"
           "  --clients N            simulated clients (default 10)\n"
           "  --rounds R             rate 0: lines in all; rate > 0: lines per client (200)\n"
           "  --channels LIST        chat mode: message,roster,join,leave (default all)\n"
           "  --rate L               lines per second per client; 0 = one round at a time\n"
           "  --duration-limit S     hard stop of the whole run in seconds (default 120)\n"
           "  --round-timeout S      how long one line may take to reach all (default 5)\n"
           "  --arrival-timeout S    how long one client may take to arrive (default 30)\n"
           "  --line-bytes B         bytes per chat line, 32..4096 (default 64)\n"
           "  --flood-seconds S      flood mode: length of each of its two phases (10)\n"
           "  --reader-share F       flood mode: readers' pace as a share of the flood (0.1)\n"
           "  --server-pid PID       report the server's RSS and CPU from /proc\n"
           "  --burst                all clients connect at once and arrive together\n"
           "  --json                 one JSON object instead of the text report\n";
}
