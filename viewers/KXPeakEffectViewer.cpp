#include "KXPeakEffectViewer.h"

#include <QCursor>
#include <QPainter>
#include <QSignalBlocker>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "ViewerCursors.h"
#include "platform/Exception.h"
#include "platform/Round.h"

namespace kx {

namespace {

int ClampInt(int64_t v)
{
    return static_cast<int>(std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// Draws the part of a segment that lies near the columns 0..width; points far
// outside would overflow the rasteriser's fixed-point coordinates.
void DrawClippedLine(QPainter& painter, double x1, double y1, double x2, double y2, int width)
{
    const double lo = -16, hi = width + 16.0;
    if ((x1 < lo && x2 < lo) || (x1 > hi && x2 > hi))
        return;
    auto clip = [&](double& x, double& y, double ox, double oy) {
        const double edge = x < lo ? lo : (x > hi ? hi : x);
        if (edge != x && ox != x) {
            y = y + (oy - y) * (edge - x) / (ox - x);
            x = edge;
        }
    };
    const double ax = x1, ay = y1;
    clip(x1, y1, x2, y2);
    clip(x2, y2, ax, ay);
    painter.drawLine(QPointF(x1, y1), QPointF(x2, y2));
}

} // namespace

TKXPeakEffectViewer::TKXPeakEffectViewer(QWidget* parent)
    : TKXCustomPeakViewer(parent), effectPoints_([this] { Repaint(); })
{
    RegisterViewerCursors();
    OnPaint = [this](QObject* sender, TCanvas& canvas) { DrawPoints(sender, canvas); };
}

TKXPeakEffectViewer::~TKXPeakEffectViewer()
{
    // Receivers hear nothing from a viewer being destroyed.
    const QSignalBlocker quiet(this);
    ClearAllPoints();
    if (underMouse() && ScreenCursor() != 0)
        SetScreenCursor(0);
}

// --- properties --------------------------------------------------------------

void TKXPeakEffectViewer::SetFocusedType(TEffectType value)
{
    if (value == effectPoints_.Focused())
        return;
    effectPoints_.SetFocused(value);
    Repaint();
}

void TKXPeakEffectViewer::SetFocusedTypeOrdinal(int value)
{
    if (value < fcA || value > fcC)
        throw Exception("FocusedType must be fcA, fcB or fcC");
    SetFocusedType(static_cast<TEffectType>(value));
}

void TKXPeakEffectViewer::SetVisiblePointsBits(int value)
{
    if (value < 0 || value > 7)
        throw Exception("VisiblePoints may hold fcA, fcB and fcC only");
    SetVisiblePoints(TEffectTypes::FromBits(static_cast<uint32_t>(value)));
}

void TKXPeakEffectViewer::SetLimit(TEffectType type, bool max, int value)
{
    if (max) {
        effectPoints_.SetMax(type, value);
        if (effectPoints_.Max(type) != value)
            throw Exception(QStringLiteral("Max must be above Min (%1)").arg(effectPoints_.Min(type)));
    } else {
        effectPoints_.SetMin(type, value);
        if (effectPoints_.Min(type) != value)
            throw Exception(QStringLiteral("Min must be below Max (%1)").arg(effectPoints_.Max(type)));
    }
}

void TKXPeakEffectViewer::SetStereoEffects(bool value)
{
    if (value == stereoEffects_)
        return;
    if (!points_[fcA].empty() || !points_[fcB].empty() || !points_[fcC].empty())
        throw Exception("Cannot change stereo effects when points are populated");
    stereoEffects_ = value;
}

void TKXPeakEffectViewer::SetVisiblePoints(TEffectTypes value)
{
    if (value == visiblePoints_)
        return;
    visiblePoints_ = value;
    if (Designing() || PeakDataEmpty())
        return;
    for (TEffectType t : {fcA, fcB, fcC})
        if (value.Contains(t))
            InitTypePoints(t);
    Repaint();
}

// --- point lists ---------------------------------------------------------------

TKXPeakEffectViewer::PointList* TKXPeakEffectViewer::ListOf(TEffectType effectType)
{
    if (effectType == fcC && stereoEffects_)
        return nullptr;
    if (effectType < fcA || effectType > fcC)
        return nullptr;
    return &points_[effectType];
}

const TKXPeakEffectViewer::PointList* TKXPeakEffectViewer::PointListOf(TEffectType effectType) const
{
    return const_cast<TKXPeakEffectViewer*>(this)->ListOf(effectType);
}

int64_t TKXPeakEffectViewer::PointRange() const
{
    const PeakViewModel& m = Model();
    const int64_t divisor = (int64_t(m.SamplesPerPeak) * m.Channels * m.BytesPerPeak) / 2;
    if (divisor == 0)
        return 0;
    return m.PcmByteCount / divisor;
}

bool TKXPeakEffectViewer::AddPoint(TEffectType effectType, TEffectChannel effectChannel, int& index, int value,
                                   int position)
{
    index = -1;
    PointList* list = ListOf(effectType);
    if (!list)
        return false;
    int at = 0;
    for (const TEffectPointRec& p : *list) {
        if (p.Position == position)
            return false;
        if (p.Position > position)
            break;
        ++at;
    }
    index = at;
    if (position < 0 || position > PointRange())
        return false;
    if (value < effectPoints_.Min(effectType) || value > effectPoints_.Max(effectType))
        return false;
    bool allow = true;
    Fire(OnPointNew, this, effectType, effectChannel, position, value, index, allow);
    Q_EMIT pointNew(effectType, effectChannel, position, value, index, allow);
    if (!allow)
        return false;
    list->insert(list->begin() + index, TEffectPointRec{position, value, effectChannel});
    Q_EMIT pointsChanged(effectType);
    return true;
}

bool TKXPeakEffectViewer::DeletePoint(TEffectType effectType, TEffectChannel effectChannel, int index)
{
    PointList* list = ListOf(effectType);
    if (!list || index < 0 || index >= static_cast<int>(list->size()))
        return false;
    const TEffectPointRec p = (*list)[static_cast<size_t>(index)];
    if (p.Channel != effectChannel)
        return false;
    bool allow = true;
    Fire(OnPointDelete, this, effectType, effectChannel, p.Position, p.Value, index, allow);
    Q_EMIT pointDelete(effectType, effectChannel, p.Position, p.Value, index, allow);
    if (!allow)
        return false;
    // The handler may have changed the list; delete only what was asked about.
    if (index >= static_cast<int>(list->size()) || (*list)[static_cast<size_t>(index)] != p)
        return false;
    list->erase(list->begin() + index);
    if (hotIndex_ >= static_cast<int>(list->size()))
        hotIndex_ = -1;
    Repaint();
    Q_EMIT pointsChanged(effectType);
    return true;
}

void TKXPeakEffectViewer::GetPoint(TEffectType effectType, int index, TEffectPointRec& point) const
{
    point = TEffectPointRec{};
    const PointList* list = PointListOf(effectType);
    if (list && index >= 0 && index < static_cast<int>(list->size()))
        point = (*list)[static_cast<size_t>(index)];
}

bool TKXPeakEffectViewer::InitTypePoints(TEffectType effectType)
{
    const PointList* list = PointListOf(effectType);
    if (list && !list->empty())
        return false;
    const int64_t range = PointRange();
    const int end = range > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                                  : static_cast<int>(range);
    int index = -1;
    if (!AddPoint(effectType, ecBoth, index, 0, 0))
        return false;
    return AddPoint(effectType, ecBoth, index, 0, end);
}

bool TKXPeakEffectViewer::InitPoints()
{
    for (TEffectType t : {fcA, fcB, fcC})
        if (!InitTypePoints(t))
            return false;
    Repaint();
    return true;
}

void TKXPeakEffectViewer::ClearPoints(TEffectType effectType)
{
    if (effectType < fcA || effectType > fcC || points_[effectType].empty())
        return;
    points_[effectType].clear();
    Q_EMIT pointsChanged(effectType);
}

void TKXPeakEffectViewer::ClearAllPoints()
{
    for (TEffectType t : {fcA, fcB, fcC})
        ClearPoints(t);
    hotIndex_ = -1;
}

void TKXPeakEffectViewer::Clear()
{
    SetPeaksFileName(QString());
    ClearAllPoints();
    TKXCustomPeakViewer::Clear();
}

// --- value scale -----------------------------------------------------------------

void TKXPeakEffectViewer::Band(TEffectChannel channel, int& top, int& bottom) const
{
    const int h = BandHeight();
    switch (channel) {
    case ecBoth: top = 0; bottom = h - 1; break;
    case ecLeft: top = 0; bottom = h / 2 - 1; break;
    case ecRight: top = h / 2 - 1; bottom = h - 1; break;
    default: top = bottom = 0; break;
    }
}

int TKXPeakEffectViewer::YAtValue(int value, TEffectChannel channel) const
{
    if (channel < ecBoth || channel > ecRight)
        return 0;
    int top = 0, bottom = 0;
    Band(channel, top, bottom);
    const TEffectType t = FocusedType();
    const int64_t range = int64_t(effectPoints_.Max(t)) - effectPoints_.Min(t);
    if (range <= 0)
        return bottom;
    return ClampInt(bottom - (int64_t(bottom - top) * (int64_t(value) - effectPoints_.Min(t))) / range);
}

int TKXPeakEffectViewer::ValueAtY(int y, TEffectChannel channel) const
{
    if (channel < ecBoth || channel > ecRight)
        return 0;
    int top = 0, bottom = 0;
    Band(channel, top, bottom);
    const TEffectType t = FocusedType();
    const int64_t max = effectPoints_.Max(t);
    if (bottom == top)
        return static_cast<int>(max);
    return ClampInt(max - ((max - effectPoints_.Min(t)) * (int64_t(y) - top)) / (bottom - top));
}

QPoint TKXPeakEffectViewer::PointAt(const TEffectPointRec& p) const
{
    return QPoint(ClampInt(Model().ColumnAtPeak(p.Position)), YAtValue(p.Value, p.Channel));
}

// --- drawing ---------------------------------------------------------------------

void TKXPeakEffectViewer::DrawPoints(QObject*, TCanvas& canvas)
{
    static const TEffectType orders[3][3] = {{fcC, fcB, fcA}, {fcA, fcC, fcB}, {fcB, fcA, fcC}};
    const int w = width();
    canvas.save();
    canvas.setRenderHint(QPainter::Antialiasing, false);
    for (TEffectType t : orders[FocusedType()]) {
        const PointList& list = points_[t];
        if (list.empty() || !visiblePoints_.Contains(t))
            continue;
        const QColor c = ToQColor(effectPoints_.Color(t), palette());
        // One device pixel wide: a zero-width pen above ratio 1.
        canvas.setPen(QPen(c, BufferRatio() == 1.0 ? 1 : 0, Qt::SolidLine));
        canvas.setBrush(QBrush(c, Qt::SolidPattern));
        for (size_t i = 0; i + 1 < list.size(); ++i) {
            const int64_t x = Model().ColumnAtPeak(list[i].Position);
            const int y = YAtValue(list[i].Value, list[i].Channel);
            const int64_t x2 = Model().ColumnAtPeak(list[i + 1].Position);
            const int y2 = YAtValue(list[i + 1].Value, list[i + 1].Channel);
            if (x > 0 && x <= w)
                canvas.drawEllipse(QRect(int(x) - 3, y - 3, 6, 6));
            DrawClippedLine(canvas, double(x), y, double(x2), y2, w);
        }
    }
    canvas.restore();
}

// --- hit testing -------------------------------------------------------------------

int TKXPeakEffectViewer::HitTest(int x, int y)
{
    hotIndex_ = -1;
    const PointList* list = PointListOf(FocusedType());
    if (!list)
        return crSelector;
    const int64_t w = width();
    int64_t prevX = 0, prevY = 0;
    for (size_t i = 0; i < list->size(); ++i) {
        const int64_t curX = Model().ColumnAtPeak((*list)[i].Position);
        const int64_t curY = YAtValue((*list)[i].Value, (*list)[i].Channel);
        const bool first = i == 0;
        if (curX < 0 && (first || prevX < 0)) {
            prevX = curX;
            prevY = curY;
            continue;
        }
        if (curX > w && (first || prevX > w))
            break;
        if (curX >= 0 && std::llabs(x - curX) < 2 && std::llabs(y - curY) < 2) {
            hotPoint_ = QPoint(ClampInt(curX), ClampInt(curY));
            hotIndex_ = static_cast<int>(i);
            return crSelectorG;
        }
        if (!first && curX - prevX > 0) {
            const double t = double(x - prevX) / double(curX - prevX);
            if (t >= 0 && t <= 1) {
                const auto lineY = static_cast<int64_t>(std::trunc((1 - t) * double(prevY) + t * double(curY)));
                if (std::llabs(y - lineY) < 2) {
                    hotPoint_ = QPoint(x, ClampInt(lineY));
                    return crSelectorR;
                }
            }
        }
        prevX = curX;
        prevY = curY;
    }
    return crSelector;
}

int TKXPeakEffectViewer::CursorAt(int x, int y)
{
    if (dragging_) {
        if (dragDirection_ == 1)
            return crUpDown;
        if (dragDirection_ == 2)
            return crLeftRight;
        if (ScreenCursor() == crMove)
            return crMove;
    }
    return HitTest(x, y);
}

} // namespace kx
