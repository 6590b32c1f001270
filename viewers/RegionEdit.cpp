#include "RegionEdit.h"

#include <algorithm>

namespace kx {

std::optional<RegionPress> PressRegion(const PeakViewModel& model, const PeakRegionSet& set, int x)
{
    if (set.Empty())
        return std::nullopt;
    const RegionHit hit = HitTestRegions(model, set, x);
    if (hit.Part == RegionPart::None)
        return std::nullopt;
    RegionPress press;
    press.Hit = hit;
    press.X = x;
    if (hit.Part == RegionPart::Point) {
        const PeakPoint* p = set.FindPoint(hit.Id);
        press.StartPeak = press.EndPeak = RegionPeakAt(model, p->Time);
        press.Editable = p->Editable;
    } else {
        const PeakRegion* r = set.FindRegion(hit.Id);
        press.StartPeak = RegionPeakAt(model, r->Start);
        press.EndPeak = RegionPeakAt(model, r->End);
        press.Editable = r->Editable;
    }
    return press;
}

std::optional<RegionTimes> DragRegion(const PeakViewModel& model, const PeakRegionSet& set, RegionPress& press, int x)
{
    if (x != press.X)
        press.Moved = true;
    if (!press.Editable || !press.Moved)
        return std::nullopt;
    const auto seconds = [&model](int64_t peak) { return RegionSecondsAtPeak(model, peak); };
    // The records in view end where the peaks do.
    const int64_t at = model.PeakAtColumn(x);
    const int64_t last = std::max(model.PeakCount(), press.EndPeak);
    if (press.Hit.Part == RegionPart::Point) {
        if (!set.FindPoint(press.Hit.Id))
            return std::nullopt;
        const double t = seconds(std::clamp<int64_t>(at, 0, last));
        return RegionTimes{t, t};
    }
    const PeakRegion* r = set.FindRegion(press.Hit.Id);
    if (!r)
        return std::nullopt;
    switch (press.Hit.Part) {
    case RegionPart::StartEdge:
        return RegionTimes{seconds(std::clamp<int64_t>(at, 0, std::max<int64_t>(0, press.EndPeak - 1))), r->End};
    case RegionPart::EndEdge:
        return RegionTimes{r->Start,
                           seconds(std::clamp<int64_t>(at, press.StartPeak + 1, std::max(last, press.StartPeak + 1)))};
    case RegionPart::Body: {
        const int64_t delta =
            std::clamp<int64_t>(at - model.PeakAtColumn(press.X), -press.StartPeak, last - press.EndPeak);
        return RegionTimes{seconds(press.StartPeak + delta), seconds(press.EndPeak + delta)};
    }
    case RegionPart::Point:
    case RegionPart::None: break;
    }
    return std::nullopt;
}

RegionHit EditableSelection(const PeakRegionSet& set, const QString& region, const QString& point)
{
    if (const PeakRegion* r = set.FindRegion(region); r && r->Editable)
        return {RegionPart::Body, r->Id};
    if (const PeakPoint* p = set.FindPoint(point); p && p->Editable)
        return {RegionPart::Point, p->Id};
    return {};
}

std::optional<RegionTimes> NudgeRegion(const PeakViewModel& model, const PeakRegionSet& set, const RegionHit& item,
                                       int64_t records)
{
    if (item.Part == RegionPart::Point) {
        const PeakPoint* p = set.FindPoint(item.Id);
        if (!p)
            return std::nullopt;
        const double t = RegionSecondsAtPeak(model, std::max<int64_t>(0, RegionPeakAt(model, p->Time) + records));
        return RegionTimes{t, t};
    }
    const PeakRegion* r = item.Part == RegionPart::None ? nullptr : set.FindRegion(item.Id);
    if (!r)
        return std::nullopt;
    const int64_t start = RegionPeakAt(model, r->Start), end = RegionPeakAt(model, r->End);
    const int64_t d = std::max(records, -start);
    return RegionTimes{RegionSecondsAtPeak(model, start + d), RegionSecondsAtPeak(model, end + d)};
}

std::optional<Qt::CursorShape> RegionCursorShape(const PeakViewModel& model, const PeakRegionSet& set, int x)
{
    if (set.Empty())
        return std::nullopt;
    const RegionHit hit = HitTestRegions(model, set, x);
    const PeakRegion* r = hit.Part == RegionPart::Body ? set.FindRegion(hit.Id) : nullptr;
    const PeakPoint* p = hit.Part == RegionPart::Point ? set.FindPoint(hit.Id) : nullptr;
    if (hit.Part == RegionPart::StartEdge || hit.Part == RegionPart::EndEdge || (p && p->Editable))
        return Qt::SizeHorCursor;
    if (r && r->Editable)
        return Qt::OpenHandCursor;
    return std::nullopt;
}

} // namespace kx
