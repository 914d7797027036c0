#pragma once

#include <array>
#include <cstdint>

// Fixed ports of the four channels, the one place they are written. Plain C++
// so that the load tool's engine, which links no Qt, takes them from here too.
namespace ChannelPort {
inline constexpr std::uint16_t Message = 10420;
inline constexpr std::uint16_t Roster = 4201;
inline constexpr std::uint16_t Join = 10082;
inline constexpr std::uint16_t Leave = 10081;

// In the order clients number the channels: message, roster, join, leave.
inline constexpr std::array<std::uint16_t, 4> All = {Message, Roster, Join, Leave};
} // namespace ChannelPort
