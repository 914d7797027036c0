#include "report.h"

namespace ReportOutput {

double deliveriesPerSecond(const Report &report)
{
    return report.chatSeconds > 0 ? static_cast<double>(report.deliveries) / report.chatSeconds : 0;
}

double serverCpuMicrosPerDelivery(const Report &report)
{
    if (!report.serverAfterSetup.valid || !report.serverAfterChat.valid || report.deliveries == 0)
        return -1;
    const double cpu = report.serverAfterChat.cpuSeconds - report.serverAfterSetup.cpuSeconds;
    return cpu * 1e6 / static_cast<double>(report.deliveries);
}

void text(const Report &r, std::FILE *out)
{
    std::fprintf(out, "mode %s, clients %u (arrived %u, arrival timeouts %u, connect failures %u)\n",
                 r.mode.c_str(), r.clients, r.arrived, r.arrivalTimeouts, r.connectFailures);
    std::fprintf(out, "setup %.3f s, settle %.3f s%s, chat %.3f s%s\n", r.setupSeconds,
                 r.settleSeconds, r.settled ? "" : " (still busy)", r.chatSeconds,
                 r.stoppedByLimit ? ", STOPPED BY DURATION LIMIT" : "");
    std::fprintf(out, "slowest connect %.3f s, connects that waited for a SYN retry %u\n",
                 r.slowestConnectSeconds, r.retriedConnects);
    std::fprintf(out, "lines sent %llu, complete %llu, fanned-out deliveries %llu (%.0f/s)\n",
                 static_cast<unsigned long long>(r.linesSent),
                 static_cast<unsigned long long>(r.linesComplete),
                 static_cast<unsigned long long>(r.deliveries), deliveriesPerSecond(r));
    std::fprintf(out, "fan-out latency ms: p50 %.3f  p95 %.3f  p99 %.3f  max %.3f  (n=%zu)\n",
                 r.latencyMs.p50, r.latencyMs.p95, r.latencyMs.p99, r.latencyMs.max, r.latencyMs.count);
    std::fprintf(out, "lost %llu, garbled %llu, reordered %llu, duplicated %llu, unexpected closes %u\n",
                 static_cast<unsigned long long>(r.lost), static_cast<unsigned long long>(r.garbled),
                 static_cast<unsigned long long>(r.reordered),
                 static_cast<unsigned long long>(r.duplicated), r.unexpectedCloses);
    if (r.mode == "chat")
        std::fprintf(out, "join notices %llu, leave notices %llu\n",
                     static_cast<unsigned long long>(r.joinNotices),
                     static_cast<unsigned long long>(r.leaveNotices));
    if (r.serverAfterChat.valid)
        std::fprintf(out, "server RSS KiB: before %ld, after setup %ld, after chat %ld, peak %ld; "
                          "CPU per fanned-out line %.2f us\n",
                     r.serverBefore.rssKiB, r.serverAfterSetup.rssKiB, r.serverAfterChat.rssKiB,
                     r.serverAfterChat.peakKiB, serverCpuMicrosPerDelivery(r));
}

void json(const Report &r, std::FILE *out)
{
    std::fprintf(out,
                 "{\"mode\":\"%s\",\"clients\":%u,\"arrived\":%u,\"arrival_timeouts\":%u,"
                 "\"connect_failures\":%u,\"unexpected_closes\":%u,"
                 "\"setup_s\":%.6f,\"slowest_connect_s\":%.6f,\"retried_connects\":%u,\"settle_s\":%.6f,\"settled\":%s,\"chat_s\":%.6f,"
                 "\"stopped_by_limit\":%s,\"lines_sent\":%llu,\"lines_complete\":%llu,"
                 "\"deliveries\":%llu,\"deliveries_per_s\":%.1f,"
                 "\"lost\":%llu,\"garbled\":%llu,\"reordered\":%llu,\"duplicated\":%llu,"
                 "\"join_notices\":%llu,\"leave_notices\":%llu,"
                 "\"latency_ms\":{\"count\":%zu,\"p50\":%.4f,\"p95\":%.4f,\"p99\":%.4f,"
                 "\"max\":%.4f,\"mean\":%.4f}",
                 r.mode.c_str(), r.clients, r.arrived, r.arrivalTimeouts, r.connectFailures,
                 r.unexpectedCloses, r.setupSeconds, r.slowestConnectSeconds, r.retriedConnects,
                 r.settleSeconds, r.settled ? "true" : "false",
                 r.chatSeconds, r.stoppedByLimit ? "true" : "false",
                 static_cast<unsigned long long>(r.linesSent),
                 static_cast<unsigned long long>(r.linesComplete),
                 static_cast<unsigned long long>(r.deliveries), deliveriesPerSecond(r),
                 static_cast<unsigned long long>(r.lost), static_cast<unsigned long long>(r.garbled),
                 static_cast<unsigned long long>(r.reordered),
                 static_cast<unsigned long long>(r.duplicated),
                 static_cast<unsigned long long>(r.joinNotices),
                 static_cast<unsigned long long>(r.leaveNotices), r.latencyMs.count, r.latencyMs.p50,
                 r.latencyMs.p95, r.latencyMs.p99, r.latencyMs.max, r.latencyMs.mean);
    if (r.serverAfterChat.valid)
        std::fprintf(out,
                     ",\"server\":{\"rss_kib_before\":%ld,\"rss_kib_after_setup\":%ld,"
                     "\"rss_kib_after_chat\":%ld,\"rss_kib_peak\":%ld,\"cpu_s_chat\":%.4f,"
                     "\"cpu_us_per_delivery\":%.4f}",
                     r.serverBefore.rssKiB, r.serverAfterSetup.rssKiB, r.serverAfterChat.rssKiB,
                     r.serverAfterChat.peakKiB,
                     r.serverAfterChat.cpuSeconds - r.serverAfterSetup.cpuSeconds,
                     serverCpuMicrosPerDelivery(r));
    std::fprintf(out, "}\n");
}

} // namespace ReportOutput
