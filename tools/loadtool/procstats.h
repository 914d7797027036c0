#pragma once

#include <string>

// Resident memory and CPU time of another process, read from /proc.
struct ProcSample
{
    bool valid = false;
    long rssKiB = 0;   // VmRSS
    long peakKiB = 0;  // VmHWM
    double cpuSeconds = 0; // utime + stime
};

namespace ProcStats {
ProcSample read(int pid);
// The parsers, apart, so they can be checked on captured text. -1 when absent.
long statusKiB(const std::string &status, const char *field);
// utime + stime in clock ticks; -1 when the line is malformed. The command
// name in parentheses may itself hold blanks and ')'.
long long statTicks(const std::string &stat);
} // namespace ProcStats
