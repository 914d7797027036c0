#pragma once

#include "percentiles.h"
#include "procstats.h"

#include <cstdint>
#include <cstdio>
#include <string>

// Everything one run measured.
struct Report
{
    std::string mode;
    std::uint32_t clients = 0;
    std::uint32_t arrived = 0;       // clients that finished their arrival
    std::uint32_t arrivalTimeouts = 0;
    std::uint32_t connectFailures = 0;
    std::uint32_t unexpectedCloses = 0;
    double setupSeconds = 0;         // connect, nicknames / registration
    double slowestConnectSeconds = 0; // one TCP connect, start to completion
    std::uint32_t retriedConnects = 0; // connects slow enough to have waited for a SYN retry
    double settleSeconds = 0;        // waiting for the arrival traffic to end
    bool settled = false;
    double chatSeconds = 0;
    std::uint64_t linesSent = 0;
    std::uint64_t linesComplete = 0; // reached every other client in time
    std::uint64_t deliveries = 0;    // fanned-out lines: one line at one other client
    std::uint64_t lost = 0;
    std::uint64_t garbled = 0;
    std::uint64_t reordered = 0;
    std::uint64_t duplicated = 0;
    std::uint64_t joinNotices = 0;   // chat mode: join and leave notices received
    std::uint64_t leaveNotices = 0;
    Percentiles latencyMs;           // fan-out completion
    bool stoppedByLimit = false;
    ProcSample serverBefore;         // before the first connection
    ProcSample serverAfterSetup;
    ProcSample serverAfterChat;
};

namespace ReportOutput {
void text(const Report &report, std::FILE *out);
void json(const Report &report, std::FILE *out);
double deliveriesPerSecond(const Report &report);
// CPU seconds the server spent in the chat phase per fanned-out line, in µs.
double serverCpuMicrosPerDelivery(const Report &report);
} // namespace ReportOutput
