#include "RegionPaint.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <vector>

#include "PeakRender.h"
#include "platform/Round.h"

namespace kx {

namespace {

// Far enough off screen for any drawing, near enough for int pixels.
constexpr int64_t ColumnLimit = int64_t(1) << 24;

int ClampColumn(int64_t x)
{
    return static_cast<int>(std::clamp<int64_t>(x, -ColumnLimit, ColumnLimit));
}

bool OnGrid(const PeakViewModel& model)
{
    return model.SamplesPerPeak > 0 && model.SamplesPerSecond > 0;
}

// Black or white, whichever reads better on c.
QColor TextColorOn(const QColor& c)
{
    return 0.299 * c.redF() + 0.587 * c.greenF() + 0.114 * c.blueF() > 0.55 ? Qt::black : Qt::white;
}

// A label in a box of its item's colour, clipped to `clip` (device pixels).
void DrawLabel(QPainter& p, const QFontMetrics& fm, const QString& text, const QColor& color, int x, int y,
               const QRect& clip)
{
    if (text.isEmpty() || clip.width() < fm.averageCharWidth())
        return;
    const int pad = std::max(1, fm.averageCharWidth() / 3);
    const QRect box = QRect(x, y, fm.horizontalAdvance(text) + 2 * pad, fm.height()).intersected(clip);
    if (box.isEmpty())
        return;
    p.setClipRect(box);
    p.fillRect(box, color);
    p.setPen(TextColorOn(color));
    p.drawText(x + pad, y + fm.ascent(), text);
    p.setClipping(false);
}

} // namespace

int64_t RegionPeakAt(const PeakViewModel& model, double seconds)
{
    if (!OnGrid(model))
        return model.PeakAtMs(Round(std::clamp(seconds, 0.0, 1e12) * 1000.0));
    // Times are at most 1e9 s, so the product stays inside int64.
    const double peak = seconds * double(model.SamplesPerSecond) / double(model.SamplesPerPeak);
    return Round(std::clamp(peak, -4e18, 4e18));
}

double RegionSecondsAtPeak(const PeakViewModel& model, int64_t peak)
{
    if (!OnGrid(model))
        return double(model.MsAtValueIndex(peak * model.Channels * model.ValuesPerChannel())) / 1000.0;
    return double(peak) * double(model.SamplesPerPeak) / double(model.SamplesPerSecond);
}

int64_t RegionColumnAt(const PeakViewModel& model, double seconds)
{
    return model.ColumnAtPeak(RegionPeakAt(model, seconds));
}

void PaintRegions(QImage& image, const PeakViewModel& model, const PeakRegionSet& set, const RegionPaintStyle& style,
                  int width, int height)
{
    if (set.Empty() || model.Empty() || width <= 0 || height <= 0)
        return;
    const double ratio = image.devicePixelRatio();
    const DeviceScale d{ratio};
    // Device pixels throughout, as the peaks are drawn: lines stay one device
    // pixel and the text is drawn at the screen's resolution.
    image.setDevicePixelRatio(1.0);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    const int dw = std::min(image.width(), d(width)), dh = std::min(image.height(), d(height));
    QFont font = style.Font;
    font.setPixelSize(std::max(1, d(style.LabelPixels)));
    p.setFont(font);
    const QFontMetrics fm(font);
    // Inside the viewer's two-pixel frame, which stays whole.
    const int inset = 2;
    const QRect inside(inset, inset, std::max(0, dw - 2 * inset), std::max(0, dh - 2 * inset));

    for (const PeakRegion& r : set.Regions()) {
        const int64_t l64 = RegionColumnAt(model, r.Start), r64 = RegionColumnAt(model, r.End);
        if (r64 < 0 || l64 > width)
            continue;
        const int l = d(ClampColumn(l64)), right = std::max(l + 1, d(ClampColumn(r64)));
        QColor fill = r.Color;
        fill.setAlpha(r.Id == style.SelectedRegion ? SelectedRegionFillAlpha : RegionFillAlpha);
        const QRect area = QRect(l, 0, right - l, dh).intersected(inside);
        p.fillRect(area, fill);
        p.fillRect(QRect(l, 0, 1, dh).intersected(inside), r.Color);
        p.fillRect(QRect(right - 1, 0, 1, dh).intersected(inside), r.Color);
        // The label stays in view while the region's start is scrolled off.
        DrawLabel(p, fm, r.Label, r.Color, std::max(l, inset) + 1, inset, area.adjusted(1, 0, -1, 0));
    }

    // Columns first, so that each label can stop at the next point.
    std::vector<std::pair<int, const PeakPoint*>> points;
    points.reserve(set.Points().size());
    for (const PeakPoint& pt : set.Points()) {
        const int64_t x = RegionColumnAt(model, pt.Time);
        if (x >= 0 && x < width)
            points.emplace_back(d(static_cast<int>(x)), &pt);
    }
    std::stable_sort(points.begin(), points.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    const int labelTop = std::max(0, dh - inset - fm.height());
    for (size_t i = 0; i < points.size(); ++i) {
        const auto [x, pt] = points[i];
        const int lineWidth = pt->Id == style.SelectedPoint ? std::max(2, d(2)) : 1;
        p.fillRect(QRect(x, 0, lineWidth, dh).intersected(inside), pt->Color);
        const int next = i + 1 < points.size() ? points[i + 1].first : dw;
        DrawLabel(p, fm, pt->Label, pt->Color, x + lineWidth, labelTop,
                  QRect(x + lineWidth, 0, next - x - lineWidth, dh).intersected(inside));
    }
    p.end();
    image.setDevicePixelRatio(ratio);
}

RegionHit HitTestRegions(const PeakViewModel& model, const PeakRegionSet& set, int x)
{
    if (model.Empty())
        return {};
    const auto near = [x](int64_t column) { return std::abs(column - x) <= RegionGrabPixels; };
    const auto& points = set.Points();
    for (auto it = points.rbegin(); it != points.rend(); ++it)
        if (near(RegionColumnAt(model, it->Time)))
            return {RegionPart::Point, it->Id};
    const auto& regions = set.Regions();
    for (auto it = regions.rbegin(); it != regions.rend(); ++it) {
        if (!it->Editable)
            continue;
        const int64_t l = RegionColumnAt(model, it->Start), r = RegionColumnAt(model, it->End);
        // The nearer edge wins on a region narrower than the grab zones.
        if (near(l) && (!near(r) || std::abs(l - x) <= std::abs(r - x)))
            return {RegionPart::StartEdge, it->Id};
        if (near(r))
            return {RegionPart::EndEdge, it->Id};
    }
    for (auto it = regions.rbegin(); it != regions.rend(); ++it)
        if (RegionColumnAt(model, it->Start) <= x && x < std::max(RegionColumnAt(model, it->End), RegionColumnAt(model, it->Start) + 1))
            return {RegionPart::Body, it->Id};
    return {};
}

} // namespace kx
