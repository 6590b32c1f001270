#include "RegionPaint.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <optional>
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
void DrawLabel(QPainter& p, int pad, int height, const QStaticText& text, const QColor& color, int x, int y,
               const QRect& clip)
{
    const int textWidth = static_cast<int>(std::ceil(text.size().width()));
    const QRect box = QRect(x, y, textWidth + 2 * pad, height).intersected(clip);
    if (box.isEmpty())
        return;
    p.setClipRect(box);
    p.fillRect(box, color);
    p.setPen(TextColorOn(color));
    p.drawStaticText(x + pad, y, text);
    p.setClipping(false);
}

// A 32-bit buffer the overlay writes straight into, as the peaks are written:
// QPainter hands fills of many rows to its thread pool, which costs far more
// than the fill itself for a hundred narrow regions.
bool Writable(const QImage& image)
{
    return image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32_Premultiplied;
}

void Fill(QImage& image, QRect r, QRgb color)
{
    r = r.intersected(image.rect());
    if (r.isEmpty())
        return;
    uchar* bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    for (int y = r.top(); y <= r.bottom(); ++y)
        std::fill_n(reinterpret_cast<QRgb*>(bits + y * stride) + r.left(), r.width(), color | 0xFF000000u);
}

// Source-over of an opaque colour at alpha (0 to 255) on an opaque pixel.
QRgb Blend(QRgb dst, QRgb src, int alpha)
{
    const auto mix = [alpha](int s, int d) { return (s * alpha + d * (255 - alpha) + 127) / 255; };
    return qRgb(mix(qRed(src), qRed(dst)), mix(qGreen(src), qGreen(dst)), mix(qBlue(src), qBlue(dst)));
}

} // namespace

const QStaticText& RegionLabelCache::Text(const QString& label, const QFont& font)
{
    // Bounded, for labels that change on every redraw.
    if (font != font_ || texts_.size() > 4096) {
        texts_.clear();
        font_ = font;
    }
    auto it = texts_.find(label);
    if (it == texts_.end()) {
        QStaticText text(label);
        text.setTextFormat(Qt::PlainText);
        text.prepare(QTransform(), font);
        it = texts_.insert(label, text);
    }
    return *it;
}

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

namespace {

// A region's device columns [left, right), or nothing when out of view.
std::optional<std::pair<int, int>> RegionColumns(const PeakViewModel& model, const PeakRegion& r, int width,
                                                 const DeviceScale& d)
{
    const int64_t l64 = RegionColumnAt(model, r.Start), r64 = RegionColumnAt(model, r.End);
    if (r64 < 0 || l64 > width)
        return std::nullopt;
    const int l = d(ClampColumn(l64));
    return std::pair{l, std::max(l + 1, d(ClampColumn(r64)))};
}

} // namespace

void PaintRegionFills(QImage& image, double ratio, const PeakViewModel& model, const PeakRegionSet& set,
                      const QString& selectedRegion, int width)
{
    if (set.Regions().empty() || model.Empty() || width <= 0 || !Writable(image) || image.height() == 0)
        return;
    const DeviceScale d{ratio};
    const int dw = std::min(image.width(), d(width));
    // Every column is one colour before the peaks are drawn: the fills are
    // blended into one row, which then covers the columns they touched.
    const auto* top = reinterpret_cast<const QRgb*>(image.constScanLine(0));
    std::vector<QRgb> row(top, top + dw);
    int first = dw, last = 0;
    for (const PeakRegion& r : set.Regions()) {
        const auto columns = RegionColumns(model, r, width, d);
        if (!columns)
            continue;
        const int l = std::max(0, columns->first), right = std::min(dw, columns->second);
        const int alpha = r.Id == selectedRegion ? SelectedRegionFillAlpha : RegionFillAlpha;
        for (int x = l; x < right; ++x)
            row[size_t(x)] = Blend(row[size_t(x)], r.Color.rgb(), alpha);
        // The edges in full colour.
        for (int x : {columns->first, columns->second - 1})
            if (x >= 0 && x < dw)
                row[size_t(x)] = r.Color.rgb();
        first = std::min(first, l);
        last = std::max(last, right);
    }
    if (first >= last)
        return;
    uchar* bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    for (int y = 0; y < image.height(); ++y)
        std::copy(row.begin() + first, row.begin() + last, reinterpret_cast<QRgb*>(bits + y * stride) + first);
}

void PaintRegions(QImage& image, const PeakViewModel& model, const PeakRegionSet& set, const RegionPaintStyle& style,
                  int width, int height)
{
    if (set.Empty() || model.Empty() || width <= 0 || height <= 0 || !Writable(image))
        return;
    const double ratio = image.devicePixelRatio();
    const DeviceScale d{ratio};
    // Device pixels throughout, as the peaks are drawn: lines stay one device
    // pixel and the text is drawn at the screen's resolution.
    const int dw = std::min(image.width(), d(width)), dh = std::min(image.height(), d(height));
    // Inside the viewer's two-pixel frame, which stays whole.
    const int inset = 2;
    const QRect inside(inset, inset, std::max(0, dw - 2 * inset), std::max(0, dh - 2 * inset));
    struct Label {
        const QString* Text;
        QColor Color;
        int X;
        QRect Clip;
    };
    std::vector<Label> regionLabels, pointLabels;

    for (const PeakRegion& r : set.Regions()) {
        const auto columns = RegionColumns(model, r, width, d);
        if (!columns)
            continue;
        const auto [l, right] = *columns;
        // The label stays in view while the region's start is scrolled off.
        if (!r.Label.isEmpty())
            regionLabels.push_back({&r.Label, r.Color, std::max(l, inset) + 1,
                                    QRect(l + 1, 0, right - l - 2, dh).intersected(inside)});
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
    for (size_t i = 0; i < points.size(); ++i) {
        const auto [x, pt] = points[i];
        const int lineWidth = pt->Id == style.SelectedPoint ? std::max(2, d(2)) : 1;
        Fill(image, QRect(x, 0, lineWidth, dh).intersected(inside), pt->Color.rgb());
        const int next = i + 1 < points.size() ? points[i + 1].first : dw;
        if (!pt->Label.isEmpty())
            pointLabels.push_back({&pt->Label, pt->Color, x + lineWidth,
                                   QRect(x + lineWidth, 0, next - x - lineWidth, dh).intersected(inside)});
    }

    // Labels last, over every line.
    if (regionLabels.empty() && pointLabels.empty())
        return;
    image.setDevicePixelRatio(1.0);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    QFont font = style.Font;
    font.setPixelSize(std::max(1, d(style.LabelPixels)));
    p.setFont(font);
    const QFontMetrics fm(font);
    RegionLabelCache own;
    RegionLabelCache& cache = style.Labels ? *style.Labels : own;
    const int charWidth = fm.averageCharWidth(), pad = std::max(1, charWidth / 3), boxHeight = fm.height();
    // Too narrow for a letter: not worth laying out.
    const auto draw = [&](const Label& l, int y) {
        if (l.Clip.width() >= charWidth)
            DrawLabel(p, pad, boxHeight, cache.Text(*l.Text, font), l.Color, l.X, y, l.Clip);
    };
    for (const Label& l : regionLabels)
        draw(l, inset);
    const int labelTop = std::max(0, dh - inset - boxHeight);
    for (const Label& l : pointLabels)
        draw(l, labelTop);
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
