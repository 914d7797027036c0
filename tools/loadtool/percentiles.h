#pragma once

#include <cstddef>
#include <vector>

// Latency summary by the nearest-rank method: the p-th percentile is the
// smallest sample with at least p % of all samples at or below it.
struct Percentiles
{
    std::size_t count = 0;
    double p50 = 0;
    double p95 = 0;
    double p99 = 0;
    double max = 0;
    double mean = 0;

    // All zero for no samples. Takes a copy: it sorts.
    static Percentiles of(std::vector<double> samples);
    static double nearestRank(const std::vector<double> &sorted, double percent);
};
