#pragma once

#include <string>

// Resident memory and CPU time of another process, read from /proc.
struct ProcSample
{
    bool valid = false;
    long rssKiB = 0;   // VmRSS
    long peakKiB = 0;  // VmHWM
    // Time on a CPU, every thread's: the scheduler's own count in nanoseconds
    // where the kernel keeps it, else utime + stime in 10 ms clock ticks,
    // too coarse for a short run (N = 10 reads as 0). Threads that end
    // between two samples take their time with them.
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
