#pragma once
#include <QMetaType>
#include <cstdint>
#include <functional>

#include "platform/TimeUnits.h"

class QObject;

namespace kx {

/// States shared by the audio player, the video panel and the transport bar.
enum TPlayerState {
    psError, psClosed, psRendering, psStop, psPause, psPlay, psFF, psFR, psSeeking,
    psReversePlay, psRootMenu, psTitleMenu, psChapterMenu
};

/// Speed step: -4..-1 slower, 0 normal or paused, 1..4 faster.
using TSpeedType = int8_t;

/// What a transport bar asks its owner to do.
enum TControlOption {
    coGoToStart, coFastRewind, coStepBack, coStop, coPlayReverse, coPause, coPlay,
    coStepForward, coFastForward, coGoToEnd
};

/// A player's state changed to State.
using TOnStateChangeEvent = std::function<void(QObject* Sender, TPlayerState State)>;
/// Time is the media position in 100-nanosecond units.
using TTimeUpdate = std::function<void(QObject* Sender, int64_t Time)>;

/// 100-nanosecond units per second.
constexpr int64_t kUnitsPerSecond = 10000000;
static_assert(MediaTime::period::den == kUnitsPerSecond, "player times are MediaTime ticks");

} // namespace kx

// Signal arguments that may cross threads in queued connections.
Q_DECLARE_METATYPE(kx::TPlayerState)
Q_DECLARE_METATYPE(kx::TControlOption)
