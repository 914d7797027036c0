// loadtool: fan-out load for our chat server or an IRC server, on loopback only.
#include "floodrun.h"
#include "loadrun.h"
#include "options.h"
#include "report.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "loadtool: %s\n%s", error.c_str(), usageText());
        return 2;
    }
    if (options.help) {
        std::fputs(usageText(), stdout);
        return 0;
    }
    // A peer that goes away must not kill the tool; send() reports it.
    std::signal(SIGPIPE, SIG_IGN);

    if (options.mode == LoadMode::Flood) {
        FloodReport flood;
        if (!runFlood(options, flood, error)) {
            std::fprintf(stderr, "loadtool: %s\n", error.c_str());
            return 1;
        }
        printFlood(flood, stdout);
        return 0;
    }

    Report report;
    LoadRun run(options);
    if (!run.run(report, error)) {
        std::fprintf(stderr, "loadtool: %s\n", error.c_str());
        return 1;
    }
    if (options.json)
        ReportOutput::json(report, stdout);
    else
        ReportOutput::text(report, stdout);
    // Nothing got through at all: say so in the exit code for scripts.
    return report.arrived >= 2 ? 0 : 3;
}
