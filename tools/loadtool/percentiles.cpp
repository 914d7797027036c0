#include "percentiles.h"

#include <algorithm>
#include <cmath>
#include <numeric>

double Percentiles::nearestRank(const std::vector<double> &sorted, double percent)
{
    if (sorted.empty())
        return 0;
    const double rank = std::ceil(percent / 100.0 * static_cast<double>(sorted.size()));
    const std::size_t index = rank < 1 ? 0 : static_cast<std::size_t>(rank) - 1;
    return sorted[std::min(index, sorted.size() - 1)];
}

Percentiles Percentiles::of(std::vector<double> samples)
{
    Percentiles result;
    if (samples.empty())
        return result;
    std::sort(samples.begin(), samples.end());
    result.count = samples.size();
    result.p50 = nearestRank(samples, 50);
    result.p95 = nearestRank(samples, 95);
    result.p99 = nearestRank(samples, 99);
    result.max = samples.back();
    result.mean = std::accumulate(samples.begin(), samples.end(), 0.0) / static_cast<double>(samples.size());
    return result;
}
