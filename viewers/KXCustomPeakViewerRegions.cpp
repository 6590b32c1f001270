// The peak viewer's labelled regions and points: the calls that change them,
// their JSON files, and editing them with the mouse and keys.
#include "KXCustomPeakViewer.h"

#include <QFontInfo>
#include <algorithm>

#include "platform/QtInput.h"

namespace kx {

namespace {

void SetError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

} // namespace

// --- the calls -------------------------------------------------------------------

QString TKXCustomPeakViewer::AddRegion(const PeakRegion& region)
{
    const QString id = regions_.AddRegion(region);
    if (id.isEmpty())
        return id;
    Repaint();
    Q_EMIT regionAdded(id);
    return id;
}

QString TKXCustomPeakViewer::AddTimePoint(const PeakPoint& point)
{
    const QString id = regions_.AddPoint(point);
    if (id.isEmpty())
        return id;
    Repaint();
    Q_EMIT pointAdded(id);
    return id;
}

bool TKXCustomPeakViewer::UpdateRegion(const PeakRegion& region)
{
    const PeakRegionSet::Change change = regions_.ChangeRegion(region);
    if (change == PeakRegionSet::Change::Changed) {
        Repaint();
        Q_EMIT regionChanged(region.Id);
    }
    return change != PeakRegionSet::Change::Refused;
}

bool TKXCustomPeakViewer::UpdateTimePoint(const PeakPoint& point)
{
    const PeakRegionSet::Change change = regions_.ChangePoint(point);
    if (change == PeakRegionSet::Change::Changed) {
        Repaint();
        Q_EMIT pointChanged(point.Id);
    }
    return change != PeakRegionSet::Change::Refused;
}

bool TKXCustomPeakViewer::RemoveRegion(const QString& id)
{
    if (!regions_.RemoveRegion(id))
        return false;
    if (selectedRegion_ == id)
        selectedRegion_.clear();
    if (press_ && press_->Hit.Part != RegionPart::Point && press_->Hit.Id == id)
        press_.reset();
    Repaint();
    Q_EMIT regionRemoved(id);
    return true;
}

bool TKXCustomPeakViewer::RemoveTimePoint(const QString& id)
{
    if (!regions_.RemovePoint(id))
        return false;
    if (selectedPoint_ == id)
        selectedPoint_.clear();
    if (press_ && press_->Hit.Part == RegionPart::Point && press_->Hit.Id == id)
        press_.reset();
    Repaint();
    Q_EMIT pointRemoved(id);
    return true;
}

void TKXCustomPeakViewer::ClearRegions()
{
    const PeakRegionSet old = std::exchange(regions_, PeakRegionSet());
    selectedRegion_.clear();
    selectedPoint_.clear();
    press_.reset();
    if (old.Empty())
        return;
    Repaint();
    for (const PeakRegion& r : old.Regions())
        Q_EMIT regionRemoved(r.Id);
    for (const PeakPoint& p : old.Points())
        Q_EMIT pointRemoved(p.Id);
}

bool TKXCustomPeakViewer::LoadRegionsJson(QByteArrayView json, QString* error)
{
    QString why;
    std::optional<PeakRegionSet> set = ParseRegionsJson(json, why);
    if (!set) {
        SetError(error, why);
        return false;
    }
    ReplaceRegions(std::move(*set));
    return true;
}

bool TKXCustomPeakViewer::LoadRegionsFile(const QString& fileName, QString* error)
{
    QString why;
    std::optional<PeakRegionSet> set = ReadRegionsFile(fileName, why);
    if (!set) {
        SetError(error, why);
        return false;
    }
    ReplaceRegions(std::move(*set));
    return true;
}

void TKXCustomPeakViewer::ReplaceRegions(PeakRegionSet&& set)
{
    ClearRegions();
    regions_ = std::move(set);
    Repaint();
    for (const PeakRegion& r : regions_.Regions())
        Q_EMIT regionAdded(r.Id);
    for (const PeakPoint& p : regions_.Points())
        Q_EMIT pointAdded(p.Id);
}

QByteArray TKXCustomPeakViewer::RegionsJson() const
{
    return EncodeRegionsJson(regions_);
}

bool TKXCustomPeakViewer::SaveRegionsFile(const QString& fileName, QString* error) const
{
    QString why;
    if (!WriteRegionsFile(fileName, regions_, {peaksFileName_}, why)) {
        SetError(error, why);
        return false;
    }
    return true;
}

QString TKXCustomPeakViewer::AddRegionFromMark()
{
    if (markEnd_ <= markStart_)
        return {};
    PeakRegion r;
    r.Start = markStart_ / 1000.0;
    r.End = markEnd_ / 1000.0;
    r.Editable = true;
    const QString id = AddRegion(r);
    if (!id.isEmpty())
        Select(id, {});
    return id;
}

// --- editing -----------------------------------------------------------------------

bool TKXCustomPeakViewer::SetRegionTimes(const QString& id, double start, double end)
{
    const PeakRegion* r = regions_.FindRegion(id);
    if (!r)
        return false;
    PeakRegion moved = *r;
    moved.Start = start;
    moved.End = end;
    return UpdateRegion(moved);
}

bool TKXCustomPeakViewer::SetPointTime(const QString& id, double time)
{
    const PeakPoint* p = regions_.FindPoint(id);
    if (!p)
        return false;
    PeakPoint moved = *p;
    moved.Time = time;
    return UpdateTimePoint(moved);
}

void TKXCustomPeakViewer::Select(const QString& region, const QString& point)
{
    if (region == selectedRegion_ && point == selectedPoint_)
        return;
    selectedRegion_ = region;
    selectedPoint_ = point;
    Repaint();
}

void TKXCustomPeakViewer::PaintRegionOverlay()
{
    if (regions_.Empty())
        return;
    RegionPaintStyle style;
    style.Font = font();
    style.LabelPixels = QFontInfo(font()).pixelSize();
    style.SelectedRegion = selectedRegion_;
    style.SelectedPoint = selectedPoint_;
    style.Labels = &labelCache_;
    // Above the time axis, so that point labels stay in view when it is on.
    PaintRegions(buffer_, model_, regions_, style, ClientWidth(), BandHeight());
}

bool TKXCustomPeakViewer::RegionMouseDown(int x)
{
    press_ = PressRegion(model_, regions_, x);
    if (!press_) {
        if (!regions_.Empty())
            Select({}, {});
        return false;
    }
    if (press_->Hit.Part == RegionPart::Point)
        Select({}, press_->Hit.Id);
    else
        Select(press_->Hit.Id, {});
    return press_->Editable;
}

void TKXCustomPeakViewer::ShowRegionCursor(int x)
{
    const std::optional<Qt::CursorShape> shape = RegionCursorShape(model_, regions_, x);
    if (shape) {
        if (!cursorBeforeRegion_)
            cursorBeforeRegion_ = testAttribute(Qt::WA_SetCursor) ? std::optional<QCursor>(cursor()) : std::nullopt;
        setCursor(*shape);
    } else if (cursorBeforeRegion_) {
        // Back to the viewer's own cursor.
        if (*cursorBeforeRegion_)
            setCursor(**cursorBeforeRegion_);
        else
            unsetCursor();
        cursorBeforeRegion_.reset();
    }
}

void TKXCustomPeakViewer::RegionMouseMove(int x)
{
    if (!press_) {
        if (!regions_.Empty() || cursorBeforeRegion_)
            ShowRegionCursor(x);
        return;
    }
    if (const std::optional<RegionTimes> times = DragRegion(model_, regions_, *press_, x))
        MoveRegionItem(RegionHit(press_->Hit), *times);
}

void TKXCustomPeakViewer::RegionMouseUp(int x)
{
    if (!press_)
        return;
    RegionMouseMove(x);
    // A slot may have removed the item meanwhile.
    if (!press_)
        return;
    const RegionPress press = *std::exchange(press_, std::nullopt);
    if (press.Moved)
        return;
    if (press.Hit.Part == RegionPart::Point)
        Q_EMIT pointClicked(press.Hit.Id);
    else
        Q_EMIT regionClicked(press.Hit.Id);
}

void TKXCustomPeakViewer::MoveRegionItem(const RegionHit& item, const RegionTimes& times)
{
    if (item.Part == RegionPart::Point)
        SetPointTime(item.Id, times.Start);
    else
        SetRegionTimes(item.Id, times.Start, times.End);
}

void TKXCustomPeakViewer::NudgeSelected(int64_t records)
{
    const RegionHit item = EditableSelection(regions_, selectedRegion_, selectedPoint_);
    if (const std::optional<RegionTimes> times = NudgeRegion(model_, regions_, item, records))
        MoveRegionItem(item, *times);
}

bool TKXCustomPeakViewer::RegionKey(uint16_t key, TShiftState shift)
{
    if (key == VK_INSERT)
        return regionInsertKey_ && !AddRegionFromMark().isEmpty();
    if (key == VK_DELETE) {
        const RegionHit item = EditableSelection(regions_, selectedRegion_, selectedPoint_);
        if (item.Part == RegionPart::None)
            return false;
        return item.Part == RegionPart::Point ? RemoveTimePoint(item.Id) : RemoveRegion(item.Id);
    }
    // Ctrl+arrows nudge the selection one record, Ctrl+Shift+arrows ten; plain
    // arrows keep stepping the cursor.
    if ((key == VK_LEFT || key == VK_RIGHT) && shift.Contains(ssCtrl) &&
        (!selectedRegion_.isEmpty() || !selectedPoint_.isEmpty())) {
        const int64_t step = shift.Contains(ssShift) ? 10 : 1;
        NudgeSelected(key == VK_LEFT ? -step : step);
        return true;
    }
    return false;
}

} // namespace kx
