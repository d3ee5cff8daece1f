#pragma once

#include <algorithm>
#include <vector>

namespace koravel::bench {

// The middle value (the upper one of an even count), 0 for none: the figure every bench
// reports over its rounds, so one noisy round moves nothing.
inline double Median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

}  // namespace koravel::bench
