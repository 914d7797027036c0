#pragma once

#include <string>

// Resident memory and CPU time of another process, read from /proc.
struct ProcSample
{
    bool valid = false;
    long rssKiB = 0;   // VmRSS
    long peakKiB = 0;  // VmHWM
    // Time on a CPU, every thread's: exact (the scheduler's own count) where
    // the kernel keeps it, else utime + stime in 10 ms clock ticks, which
    // made short runs read as 0 and put a tick's worth of noise on longer ones.
    double cpuSeconds = 0;
};

namespace ProcStats {
ProcSample read(int pid);
// The parsers, apart, so they can be checked on captured text. -1 when absent.
long statusKiB(const std::string &status, const char *field);
// utime + stime in clock ticks; -1 when the line is malformed. The command
// name in parentheses may itself hold blanks and ')'.
long long statTicks(const std::string &stat);
// The first field of a /proc/.../schedstat line: nanoseconds on a CPU.
long long schedstatNs(const std::string &schedstat);
} // namespace ProcStats
