#pragma once
// Editing regions and points with a pointer and keys: what a press takes,
// where a drag or a nudge puts it. No widget: the peak viewer and the Qt Quick view both call it.
#include <Qt>
#include <cstdint>
#include <optional>

#include "PeakRegions.h"
#include "PeakViewModel.h"
#include "RegionPaint.h"

namespace kx {

/// A press on a region or point: what it took, where, and the item's records
/// then (edges as record indexes on the snapping grid).
struct RegionPress {
    RegionHit Hit;           ///< the item and the part of it pressed
    int X = 0;               ///< client column of the press
    int64_t StartPeak = 0;   ///< record of the region's start (a point's time)
    int64_t EndPeak = 0;     ///< record of the region's end (a point's time)
    bool Editable = false;   ///< whether dragging moves it
    bool Moved = false;      ///< the pointer left the press column since
};

/// The press at client column x; nothing when no region or point lies there.
std::optional<RegionPress> PressRegion(const PeakViewModel& model, const PeakRegionSet& set, int x);

/// New times of a dragged item: a region's start and end, a point's time in both.
struct RegionTimes {
    double Start = 0;  ///< seconds
    double End = 0;    ///< seconds
};
/// Where the pressed item goes with the pointer at client column x: dragged
/// edges land on record starts, a dragged inside keeps the region's length
/// within the file. Nothing while the item stays (fixed, not yet moved or
/// gone); marks the press moved once x leaves the press column.
std::optional<RegionTimes> DragRegion(const PeakViewModel& model, const PeakRegionSet& set, RegionPress& press, int x);

/// What keys act on: the selected region when it is editable, else the
/// selected point when it is (Part Body or Point); Part None otherwise.
RegionHit EditableSelection(const PeakRegionSet& set, const QString& region, const QString& point);
/// Where moving `item` (a region's Body or a Point) by `records` records puts
/// it on the snapping grid, its start kept at 0 or later; nothing when it is gone.
std::optional<RegionTimes> NudgeRegion(const PeakViewModel& model, const PeakRegionSet& set, const RegionHit& item,
                                       int64_t records);

/// The pointer shape over client column x: a resize arrow over what can be
/// dragged sideways, an open hand inside an editable region; nothing elsewhere.
std::optional<Qt::CursorShape> RegionCursorShape(const PeakViewModel& model, const PeakRegionSet& set, int x);

} // namespace kx
