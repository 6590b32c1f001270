#pragma once
#include <cmath>
#include <cstdint>

namespace kx {

/// Nearest integer with halves going to the even neighbour (banker's rounding),
/// which is what every stored conversion of the components relies on.
inline int64_t Round(double x)
{
    return static_cast<int64_t>(std::nearbyint(x));
}

} // namespace kx
