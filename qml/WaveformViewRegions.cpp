// WaveformView's labelled regions and points: the calls that change them,
// their JSON, drawing them and editing them with the mouse and keys, as the
// widget viewer does.
#include "WaveformView.h"

#include <QCursor>
#include <QFontInfo>
#include <QGuiApplication>
#include <QHoverEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <utility>

#include "QuickPaths.h"

namespace kx {

namespace {

std::optional<double> NumberOf(const QVariant& v)
{
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: return v.toDouble();
    default: return std::nullopt;
    }
}

// A QML color, or a string QML would take for one ("red", "#ff0000").
std::optional<QColor> ColorOf(const QVariant& v)
{
    QColor c;
    if (v.typeId() == QMetaType::QColor)
        c = v.value<QColor>();
    else if (v.typeId() == QMetaType::QString)
        c = QColor::fromString(v.toString());
    return c.isValid() ? std::optional<QColor>(c) : std::nullopt;
}

// The fields regions and points share; false on an unknown key or a wrong type.
template <typename Item>
bool ApplyCommonField(Item& item, const QString& key, const QVariant& value)
{
    if (key == QLatin1String("color")) {
        const std::optional<QColor> c = ColorOf(value);
        if (c)
            item.Color = *c;
        return c.has_value();
    }
    if (key == QLatin1String("label") && value.typeId() == QMetaType::QString) {
        item.Label = value.toString();
        return true;
    }
    if (key == QLatin1String("editable") && value.typeId() == QMetaType::Bool) {
        item.Editable = value.toBool();
        return true;
    }
    return false;
}

template <typename Item>
QVariantMap CommonMap(const Item& item)
{
    return {{QStringLiteral("id"), item.Id},
            {QStringLiteral("color"), item.Color},
            {QStringLiteral("label"), item.Label},
            {QStringLiteral("editable"), item.Editable}};
}

QVariantMap RegionMap(const PeakRegion& r)
{
    QVariantMap m = CommonMap(r);
    m.insert(QStringLiteral("start"), r.Start);
    m.insert(QStringLiteral("end"), r.End);
    return m;
}

QVariantMap PointMap(const PeakPoint& p)
{
    QVariantMap m = CommonMap(p);
    m.insert(QStringLiteral("time"), p.Time);
    return m;
}

} // namespace

// --- the calls -------------------------------------------------------------------

void WaveformView::RegionsCounted(int regions, int points)
{
    Redraw();
    if (regions != regionCount())
        Q_EMIT regionCountChanged();
    if (points != pointCount())
        Q_EMIT pointCountChanged();
}

QString WaveformView::addRegion(double start, double end, const QColor& color, const QString& label, bool editable,
                                const QString& id)
{
    PeakRegion r;
    r.Id = id;
    r.Start = start;
    r.End = end;
    r.Color = color;
    r.Label = label;
    r.Editable = editable;
    const QString added = regions_.AddRegion(std::move(r));
    if (added.isEmpty())
        return added;
    RegionsCounted(regionCount() - 1, pointCount());
    Q_EMIT regionAdded(added);
    return added;
}

QString WaveformView::addTimePoint(double time, const QColor& color, const QString& label, bool editable,
                                   const QString& id)
{
    PeakPoint p;
    p.Id = id;
    p.Time = time;
    p.Color = color;
    p.Label = label;
    p.Editable = editable;
    const QString added = regions_.AddPoint(std::move(p));
    if (added.isEmpty())
        return added;
    RegionsCounted(regionCount(), pointCount() - 1);
    Q_EMIT pointAdded(added);
    return added;
}

bool WaveformView::ReplaceRegion(const PeakRegion& region)
{
    const PeakRegionSet::Change change = regions_.ChangeRegion(region);
    if (change == PeakRegionSet::Change::Changed) {
        Redraw();
        Q_EMIT regionChanged(region.Id);
    }
    return change != PeakRegionSet::Change::Refused;
}

bool WaveformView::ReplacePoint(const PeakPoint& point)
{
    const PeakRegionSet::Change change = regions_.ChangePoint(point);
    if (change == PeakRegionSet::Change::Changed) {
        Redraw();
        Q_EMIT pointChanged(point.Id);
    }
    return change != PeakRegionSet::Change::Refused;
}

bool WaveformView::updateRegion(const QString& id, const QVariantMap& fields)
{
    const PeakRegion* old = regions_.FindRegion(id);
    if (!old)
        return false;
    PeakRegion r = *old;
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        const bool start = it.key() == QLatin1String("start"), end = it.key() == QLatin1String("end");
        if (start || end) {
            const auto v = NumberOf(it.value());
            if (!v)
                return false;
            (start ? r.Start : r.End) = *v;
        } else if (!ApplyCommonField(r, it.key(), it.value())) {
            return false;
        }
    }
    return ReplaceRegion(r);
}

bool WaveformView::updateTimePoint(const QString& id, const QVariantMap& fields)
{
    const PeakPoint* old = regions_.FindPoint(id);
    if (!old)
        return false;
    PeakPoint p = *old;
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        if (it.key() == QLatin1String("time")) {
            const auto v = NumberOf(it.value());
            if (!v)
                return false;
            p.Time = *v;
        } else if (!ApplyCommonField(p, it.key(), it.value())) {
            return false;
        }
    }
    return ReplacePoint(p);
}

bool WaveformView::removeRegion(const QString& id)
{
    if (!regions_.RemoveRegion(id))
        return false;
    if (press_ && press_->Hit.Part != RegionPart::Point && press_->Hit.Id == id)
        press_.reset();
    if (selectedRegion_ == id)
        Select({}, selectedPoint_);
    RegionsCounted(regionCount() + 1, pointCount());
    Q_EMIT regionRemoved(id);
    return true;
}

bool WaveformView::removeTimePoint(const QString& id)
{
    if (!regions_.RemovePoint(id))
        return false;
    if (press_ && press_->Hit.Part == RegionPart::Point && press_->Hit.Id == id)
        press_.reset();
    if (selectedPoint_ == id)
        Select(selectedRegion_, {});
    RegionsCounted(regionCount(), pointCount() + 1);
    Q_EMIT pointRemoved(id);
    return true;
}

void WaveformView::clearRegions()
{
    const PeakRegionSet old = std::exchange(regions_, PeakRegionSet());
    press_.reset();
    Select({}, {});
    if (old.Empty())
        return;
    RegionsCounted(static_cast<int>(old.Regions().size()), static_cast<int>(old.Points().size()));
    for (const PeakRegion& r : old.Regions())
        Q_EMIT regionRemoved(r.Id);
    for (const PeakPoint& p : old.Points())
        Q_EMIT pointRemoved(p.Id);
}

QVariantMap WaveformView::region(const QString& id) const
{
    const PeakRegion* r = regions_.FindRegion(id);
    return r ? RegionMap(*r) : QVariantMap();
}

QVariantMap WaveformView::point(const QString& id) const
{
    const PeakPoint* p = regions_.FindPoint(id);
    return p ? PointMap(*p) : QVariantMap();
}

QVariantList WaveformView::regions() const
{
    QVariantList list;
    for (const PeakRegion& r : regions_.Regions())
        list.append(RegionMap(r));
    return list;
}

QVariantList WaveformView::points() const
{
    QVariantList list;
    for (const PeakPoint& p : regions_.Points())
        list.append(PointMap(p));
    return list;
}

bool WaveformView::loadRegions(const QString& json)
{
    QString why;
    std::optional<PeakRegionSet> set = ParseRegionsJson(json.toUtf8(), why);
    SetRegionsError(why);
    if (!set)
        return false;
    ReplaceRegions(std::move(*set));
    return true;
}

bool WaveformView::loadRegionsFile(const QString& file)
{
    QString why;
    std::optional<PeakRegionSet> set = ReadRegionsFile(LocalPath(file), why);
    SetRegionsError(why);
    if (!set)
        return false;
    ReplaceRegions(std::move(*set));
    return true;
}

QString WaveformView::regionsJson() const
{
    return QString::fromUtf8(EncodeRegionsJson(regions_));
}

bool WaveformView::saveRegionsFile(const QString& file)
{
    QString why;
    const bool saved = WriteRegionsFile(LocalPath(file), regions_, {LocalPath(source_)}, why);
    SetRegionsError(saved ? QString() : why);
    return saved;
}

void WaveformView::SetRegionsError(const QString& why)
{
    if (why == regionsError_)
        return;
    regionsError_ = why;
    Q_EMIT regionsErrorChanged();
}

void WaveformView::ReplaceRegions(PeakRegionSet&& set)
{
    clearRegions();
    regions_ = std::move(set);
    RegionsCounted(0, 0);
    for (const PeakRegion& r : regions_.Regions())
        Q_EMIT regionAdded(r.Id);
    for (const PeakPoint& p : regions_.Points())
        Q_EMIT pointAdded(p.Id);
}

void WaveformView::setRegionInsertKey(bool value)
{
    if (value == regionInsertKey_)
        return;
    regionInsertKey_ = value;
    Q_EMIT regionInsertKeyChanged();
}

QString WaveformView::addRegionFromMark()
{
    if (markEnd_ <= markStart_)
        return {};
    const QString id = addRegion(markStart_ / 1000.0, markEnd_ / 1000.0, QColor(), QString(), true);
    if (!id.isEmpty())
        Select(id, {});
    return id;
}

void WaveformView::Select(const QString& region, const QString& point)
{
    if (region == selectedRegion_ && point == selectedPoint_)
        return;
    selectedRegion_ = region;
    selectedPoint_ = point;
    Redraw();
    Q_EMIT selectionChanged();
}

// --- drawing -----------------------------------------------------------------------

void WaveformView::SetRegionUnderlay(PeakRenderStyle& style, int w)
{
    if (!regions_.Empty())
        style.Underlay = [this, w](QImage& image, double ratio) {
            PaintRegionFills(image, ratio, model_, regions_, selectedRegion_, w);
        };
}

void WaveformView::PaintRegionOverlay(int w, int h)
{
    if (regions_.Empty())
        return;
    // The font the time axis labels in.
    const QFont font = QGuiApplication::font();
    RegionPaintStyle style;
    style.Font = font;
    style.LabelPixels = QFontInfo(font).pixelSize();
    style.SelectedRegion = selectedRegion_;
    style.SelectedPoint = selectedPoint_;
    style.Labels = &labelCache_;
    PaintRegions(buffer_, model_, regions_, style, w, h);
}

// --- the mouse ---------------------------------------------------------------------

bool WaveformView::RegionPressed(int x)
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

void WaveformView::RegionDragged(int x)
{
    if (!press_)
        return;
    if (const std::optional<RegionTimes> times = DragRegion(model_, regions_, *press_, x))
        MoveRegionItem(RegionHit(press_->Hit), *times);
}

void WaveformView::MoveRegionItem(const RegionHit& item, const RegionTimes& times)
{
    if (item.Part == RegionPart::Point) {
        PeakPoint p = *regions_.FindPoint(item.Id);
        p.Time = times.Start;
        ReplacePoint(p);
    } else {
        PeakRegion r = *regions_.FindRegion(item.Id);
        r.Start = times.Start;
        r.End = times.End;
        ReplaceRegion(r);
    }
}

void WaveformView::RegionReleased(int x)
{
    if (!press_)
        return;
    RegionDragged(x);
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

void WaveformView::ShowRegionCursor(int x)
{
    const std::optional<Qt::CursorShape> shape = RegionCursorShape(model_, regions_, x);
    if (shape) {
        setCursor(QCursor(*shape));
        regionCursor_ = true;
    } else if (regionCursor_) {
        unsetCursor();
        regionCursor_ = false;
    }
}

void WaveformView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const int x = static_cast<int>(event->position().x());
    // An editable region or point under the pointer takes the press instead.
    if (!RegionPressed(x))
        setCursorPosition(static_cast<int32_t>(model_.MsAtColumn(x)));
    // The keys act on what was pressed.
    if (press_)
        forceActiveFocus(Qt::MouseFocusReason);
    event->accept();
}

void WaveformView::mouseMoveEvent(QMouseEvent* event)
{
    RegionDragged(static_cast<int>(event->position().x()));
    event->accept();
}

void WaveformView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        RegionReleased(static_cast<int>(event->position().x()));
    event->accept();
}

void WaveformView::mouseUngrabEvent()
{
    press_.reset();
}

void WaveformView::hoverMoveEvent(QHoverEvent* event)
{
    if (!regions_.Empty() || regionCursor_)
        ShowRegionCursor(static_cast<int>(event->position().x()));
    event->accept();
}

void WaveformView::keyPressEvent(QKeyEvent* event)
{
    const RegionHit item = EditableSelection(regions_, selectedRegion_, selectedPoint_);
    const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    const int key = event->key();
    bool used = false;
    if (key == Qt::Key_Insert) {
        used = regionInsertKey_ && !addRegionFromMark().isEmpty();
    } else if (key == Qt::Key_Delete && item.Part != RegionPart::None) {
        used = item.Part == RegionPart::Point ? removeTimePoint(item.Id) : removeRegion(item.Id);
    } else if ((key == Qt::Key_Left || key == Qt::Key_Right) && ctrl && item.Part != RegionPart::None) {
        const int64_t step = event->modifiers().testFlag(Qt::ShiftModifier) ? 10 : 1;
        if (const auto times = NudgeRegion(model_, regions_, item, key == Qt::Key_Left ? -step : step))
            MoveRegionItem(item, *times);
        used = true;
    }
    event->setAccepted(used);
}

} // namespace kx
