#pragma once

#include <cmath>
#include <limits>
#include <optional>

namespace prismbar::detail {

// Nearest whole number, ties to even; nothing for NaN, infinity or a result outside T.
template <typename T>
std::optional<T> roundHalfEven(double v) {
    if (!std::isfinite(v)) {
        return std::nullopt;
    }
    // nearbyint rounds in the current mode; nothing in the process is expected to change it from
    // the default round-to-nearest-even.
    const double r = std::nearbyint(v);
    if (r < double(std::numeric_limits<T>::min()) || r > double(std::numeric_limits<T>::max())) {
        return std::nullopt;
    }
    return static_cast<T>(r);
}

}  // namespace prismbar::detail
