#include "procstats.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {
std::string slurp(const std::string &path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
} // namespace

namespace ProcStats {

long statusKiB(const std::string &status, const char *field)
{
    const std::string key = std::string(field) + ":";
    std::size_t at = 0;
    while ((at = status.find(key, at)) != std::string::npos) {
        if (at == 0 || status[at - 1] == '\n')
            return std::strtol(status.c_str() + at + key.size(), nullptr, 10);
        at += key.size();
    }
    return -1;
}

long long statTicks(const std::string &stat)
{
    const std::size_t paren = stat.rfind(')');
    if (paren == std::string::npos)
        return -1;
    // After the name: state is field 3; utime and stime are fields 14 and 15.
    std::istringstream fields(stat.substr(paren + 1));
    std::string skip;
    for (int field = 3; field < 14; ++field) {
        if (!(fields >> skip))
            return -1;
    }
    long long utime = 0;
    long long stime = 0;
    if (!(fields >> utime >> stime))
        return -1;
    return utime + stime;
}

long long schedstatNs(const std::string &schedstat)
{
    char *end = nullptr;
    const long long ns = std::strtoll(schedstat.c_str(), &end, 10);
    return end == schedstat.c_str() || ns < 0 ? -1 : ns;
}

namespace {
// Every thread's time on a CPU in nanoseconds, -1 where schedstat is missing.
// A thread that ends between listing and reading is left out.
long long threadsNs(const std::string &base)
{
    std::error_code error;
    long long total = 0;
    bool any = false;
    for (const auto &task : std::filesystem::directory_iterator(base + "/task", error)) {
        const long long ns = schedstatNs(slurp(task.path().string() + "/schedstat"));
        if (ns >= 0) {
            total += ns;
            any = true;
        }
    }
    return any && !error ? total : -1;
}
} // namespace

ProcSample read(int pid)
{
    ProcSample sample;
    if (pid <= 0)
        return sample;
    const std::string base = "/proc/" + std::to_string(pid);
    const std::string status = slurp(base + "/status");
    const long long ticks = statTicks(slurp(base + "/stat"));
    sample.rssKiB = statusKiB(status, "VmRSS");
    sample.peakKiB = statusKiB(status, "VmHWM");
    if (sample.rssKiB < 0 || ticks < 0)
        return sample;
    const long long ns = threadsNs(base);
    sample.cpuSeconds = ns >= 0 ? static_cast<double>(ns) * 1e-9
                                : static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
    sample.valid = true;
    return sample;
}

} // namespace ProcStats
