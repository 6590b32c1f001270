#pragma once
#include <chrono>
#include <cmath>
#include <cstdint>

namespace kx {

/// The components count media time in three units: 100-ns ticks (durations,
/// player positions), milliseconds (timers, play pointers) and seconds as
/// doubles (marks, editing positions). These types name them, so a value
/// converts with std::chrono instead of a factor written at the call.
using MediaTime = std::chrono::duration<int64_t, std::ratio<1, 10'000'000>>;
/// Seconds as a double, the unit of marks and editing positions.
using DoubleSeconds = std::chrono::duration<double>;

/// Rounded to the nearest tick.
inline MediaTime ToMediaTime(DoubleSeconds seconds)
{
    return MediaTime(static_cast<int64_t>(std::llround(seconds.count() * 1e7)));
}
/// A raw 100-ns count, as the components' integer settings hold it.
inline MediaTime MediaTimeFromTicks(int64_t ticks) { return MediaTime(ticks); }
/// Exact up to the double's precision.
constexpr DoubleSeconds ToSeconds(MediaTime time) { return std::chrono::duration_cast<DoubleSeconds>(time); }
/// The seconds as a plain double.
constexpr double SecondsOf(MediaTime time) { return ToSeconds(time).count(); }
/// Truncated toward zero, as the components' own conversions are.
constexpr std::chrono::milliseconds ToMilliseconds(MediaTime time)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(time);
}

} // namespace kx
