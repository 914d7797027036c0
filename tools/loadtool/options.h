#pragma once

#include "wire/channelports.h"

#include <array>
#include <cstdint>
#include <string>

// Which channels of our chat server a client takes part in (bit set).
namespace ChannelBit {
inline constexpr unsigned Message = 1u << 0;
inline constexpr unsigned Roster = 1u << 1;
inline constexpr unsigned Join = 1u << 2;
inline constexpr unsigned Leave = 1u << 3;
inline constexpr unsigned All = Message | Roster | Join | Leave;
} // namespace ChannelBit

enum class LoadMode { Chat, Irc, Flood };

struct Options
{
    std::string host = "127.0.0.1";
    std::uint16_t ircPort = 6667;
    // Our server's fixed ports: message, roster, join, leave. Changeable only
    // to reach a test instance while the real ports are busy.
    std::array<std::uint16_t, 4> chatPorts = ChannelPort::All;
    std::uint32_t clients = 10;
    std::uint32_t rounds = 200;
    unsigned channels = ChannelBit::All;
    LoadMode mode = LoadMode::Chat;
    double rate = 0; // lines per second per client; 0 = one round at a time
    double durationLimit = 120; // seconds, hard stop of the whole run
    double roundTimeout = 5; // seconds a line may take to reach everyone
    double arrivalTimeout = 30; // seconds one client may take to arrive
    std::size_t lineBytes = 64;
    // Flood mode: how long each phase lasts, and the readers' pace in the
    // second one as a share of the flood's rate in the first.
    double floodSeconds = 10;
    double readerShare = 0.1;
    int serverPid = 0;
    // All clients connect at once, as a lab does when the bell rings, instead
    // of a few connects in flight.
    bool burst = false;
    bool json = false;
    bool help = false;
};

namespace OptionLimits {
inline constexpr std::uint32_t MaxClients = 5000;
inline constexpr std::uint32_t MaxRounds = 10'000'000;
inline constexpr double MaxDuration = 3600;
} // namespace OptionLimits

// Only numeric loopback addresses: 127.0.0.0/8 and ::1. A load test never
// leaves this machine, so names (which could resolve anywhere) are refused.
bool isLoopbackAddress(const std::string &host);

// Fills `options` from the command line; on a bad argument returns false and
// says why in `error`.
bool parseOptions(int argc, const char *const *argv, Options &options, std::string &error);

const char *usageText();
