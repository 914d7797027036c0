#pragma once

#include "options.h"

#include <cstdio>
#include <string>

// One flooder and slower readers on the message channel. The flooder sends a
// pattern as fast as its socket takes it and reads its own echo; every reader
// checks that it gets the flood whole and in order. First the readers take
// everything (the flooder's rate with readers that keep up), then each reads
// at readerShare of that rate: a server that makes the sender pay slows the
// flooder to what the readers take and drops nobody.
struct FloodPhase
{
    double seconds = 0;
    double floodMBps = 0;     // what the flooder handed to its socket
    double echoMBps = 0;      // what came back to it
    double slowestMBps = 0;   // readers' intake
    double fastestMBps = 0;
    int readersDropped = 0;   // connections the server ended
    long long wrongBytes = 0; // bytes out of order, at readers or the flooder
    long long firstWrong = -1; // where a stream first went wrong
    long serverRssKiB = 0;    // at the end of the phase, with --server-pid
};

struct FloodReport
{
    int readers = 0;
    double readerMBps = 0; // the readers' pace in the second phase
    FloodPhase keepingUp;
    FloodPhase settling; // readers slow, the kernel's buffers filling
    FloodPhase slowReaders;
};

// False (with error) when the clients could not connect.
bool runFlood(const Options &options, FloodReport &report, std::string &error);
void printFlood(const FloodReport &report, std::FILE *out);
