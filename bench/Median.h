#pragma once

#include <algorithm>
#include <vector>

// The middle sample (the upper one of an even count); `whenEmpty` when nothing was measured.
inline double median(std::vector<double> samples, double whenEmpty = 0)
{
    if (samples.empty())
        return whenEmpty;
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}
