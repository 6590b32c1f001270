#include "PeakRender.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <vector>

#include "platform/Round.h"

namespace kx {

PeakBands ComputeBands(const PeakViewModel& model, int bandHeight)
{
    PeakBands b;
    b.Channels = model.PcmByteCount != 0 ? model.Channels : 2;
    b.Bands = 2 * b.Channels;
    b.q = static_cast<int>(Round(double(bandHeight) / b.Bands));
    const float full = model.Wide() ? 65535.0f : 255.0f;
    b.Scale = b.q > 0 ? full / float(2 * b.q) : full;
    return b;
}

QColor RmsShadeOf(const QColor& peaks)
{
    const QColor c = peaks.toRgb();
    return QColor((c.red() + 255) / 2, (c.green() + 255) / 2, (c.blue() + 255) / 2);
}

std::vector<ColumnSpan> ColumnSpans(const PeakViewModel& model, int width, double ratio)
{
    const DeviceScale d{ratio};
    std::vector<ColumnSpan> spans(static_cast<size_t>(std::max(0, d(width))));
    int64_t next = model.PeakAtColumn(0);
    for (int x = 0; x < width; ++x) {
        const int64_t a = next;
        next = model.PeakAtColumn(x + 1);
        const int64_t b = std::max(next, a + 1);
        const int d0 = d(x), n = d(x + 1) - d0;
        // A column's records are shared among its device columns when there
        // are enough of them; otherwise every device column shows them all.
        for (int k = 0; k < n; ++k) {
            ColumnSpan& s = spans[static_cast<size_t>(d0 + k)];
            if (b - a >= n)
                s = {a + (b - a) * k / n, a + (b - a) * (k + 1) / n};
            else
                s = {a, b};
        }
    }
    return spans;
}

namespace {

int ClampToInt(int64_t v)
{
    return static_cast<int>(std::clamp<int64_t>(v, -(int64_t(1) << 30), int64_t(1) << 30));
}

// The zigzag moves one column at a time, so every segment is a vertical span
// in its column (a join is split at its middle row between the two columns).
// Writing the spans straight into the 32-bit buffer is several times faster
// than the general line rasteriser, with the same pixels for smooth data.
class SpanWriter
{
public:
    SpanWriter(QImage& image, QColor color)
        : bits_(image.bits()), stride_(image.bytesPerLine()), w_(image.width()), h_(image.height()),
          rgb_(color.rgba())
    {
    }
    void Fill(int x, int ya, int yb)
    {
        if (x < 0 || x >= w_)
            return;
        int lo = std::max(0, std::min(ya, yb));
        const int hi = std::min(h_ - 1, std::max(ya, yb));
        for (uchar* p = bits_ + qsizetype(lo) * stride_ + qsizetype(x) * 4; lo <= hi; ++lo, p += stride_)
            *reinterpret_cast<QRgb*>(p) = rgb_;
    }

private:
    uchar* bits_;
    qsizetype stride_;
    int w_, h_;
    QRgb rgb_;
};

// The two values each device column shows, per channel, in drawing order.
struct ColumnValues {
    std::vector<uint32_t> first[2], second[2];
};

ColumnValues ReadColumns(const PeakViewModel& model, const std::vector<ColumnSpan>& spans, int channels)
{
    ColumnValues out;
    const size_t n = spans.size();
    for (int ch = 0; ch < channels; ++ch) {
        out.first[ch].resize(n);
        out.second[ch].resize(n);
    }
    // Silence until the first value is read.
    const uint32_t mid = model.Wide() ? 32768u : 128u;
    uint32_t first[2] = {mid, mid}, second[2] = {mid, mid};
    const std::span<const uint8_t> records(model.PeakData);
    int64_t previous = -1;
    for (size_t d = 0; d < n; ++d) {
        const ColumnSpan s = spans[d];
        if (model.Reduction == prMinMax) {
            uint32_t hi[2], lo[2];
            if (model.Pyramid.Extremes(records, s.First, s.Last, hi, lo)) {
                for (int ch = 0; ch < channels; ++ch) {
                    first[ch] = hi[ch];
                    second[ch] = lo[ch];
                }
            } else {
                // Past the end: flat at the value read last.
                for (int ch = 0; ch < channels; ++ch)
                    first[ch] = second[ch];
            }
        } else if (d == 0 || s.First != previous) {
            for (int ch = 0; ch < channels; ++ch) {
                // A read past the end delivers nothing: both ends keep the
                // value read last, so the line runs flat instead of filling
                // the band.
                uint32_t v1 = second[ch], v2 = second[ch];
                if (!model.ReadPair(s.First, ch, v1, v2))
                    v2 = v1;
                first[ch] = v1;
                second[ch] = v2;
            }
        }
        previous = s.First;
        for (int ch = 0; ch < channels; ++ch) {
            out.first[ch][d] = first[ch];
            out.second[ch][d] = second[ch];
        }
    }
    return out;
}

// The device row of a value in channel ch's band (ch is 1-based).
struct BandRows {
    double Bottom;
    float Scale;
    double Ratio;
    BandRows(const PeakBands& b, int ch, double ratio) : Bottom(2.0 * ch * b.q * ratio), Scale(b.Scale), Ratio(ratio) {}
    int operator()(double v) const { return static_cast<int>(Round(Bottom - double(float(v) / Scale) * Ratio)); }
};

void DrawChannel(SpanWriter& writer, const ColumnValues& values, const PeakBands& b, int ch, double ratio)
{
    const std::vector<uint32_t>& firsts = values.first[ch - 1];
    const std::vector<uint32_t>& seconds = values.second[ch - 1];
    const BandRows row(b, ch, ratio);
    int last = DeviceScale{ratio}(b.CentreY(ch));  // the pen starts on the centre line of column 0
    const int n = static_cast<int>(firsts.size());
    for (int x = 0; x < n; ++x) {
        const int y1 = row(firsts[static_cast<size_t>(x)]);
        const int y2 = row(seconds[static_cast<size_t>(x)]);
        if (x == 0) {
            writer.Fill(0, last, y1);
        } else {
            const int join = last + (y1 - last) / 2;
            writer.Fill(x - 1, last, join);
            writer.Fill(x, join, y1);
        }
        writer.Fill(x, y1, y2);
        last = y2;
    }
}

// The RMS each device column shows, per channel, over the records its peaks
// come from; negative where there is none.
struct ColumnRms {
    std::vector<double> levels[2];
};

ColumnRms ReadColumnRms(const PeakViewModel& model, const std::vector<ColumnSpan>& spans)
{
    ColumnRms out;
    for (auto& l : out.levels)
        l.assign(spans.size(), -1.0);
    for (size_t d = 0; d < spans.size(); ++d) {
        const ColumnSpan s = spans[d];
        double rms[2] = {-1.0, -1.0};
        if (model.Rms.Over(s.First, model.Reduction == prMinMax ? s.Last : s.First + 1, rms)) {
            out.levels[0][d] = rms[0];
            out.levels[1][d] = rms[1];
        }
    }
    return out;
}

// The band from the centre up and down by the RMS, clipped to the column's
// extremes, over the peaks drawn already.
void DrawRmsBand(SpanWriter& writer, const PeakViewModel& model, const ColumnValues& values,
                 const std::vector<double>& rms, const PeakBands& b, int ch, double ratio)
{
    const BandRows row(b, ch, ratio);
    // RMS values are in 16-bit sample units around the silence value.
    const double mid = model.Wide() ? 32768.0 : 128.0;
    const double unit = model.Wide() ? 1.0 : 1.0 / 256.0;
    for (size_t x = 0; x < rms.size(); ++x) {
        if (!(rms[x] > 0))
            continue;
        const int y1 = row(values.first[ch - 1][x]), y2 = row(values.second[ch - 1][x]);
        const int top = std::max(row(mid + rms[x] * unit), std::min(y1, y2));
        const int bottom = std::min(row(mid - rms[x] * unit), std::max(y1, y2));
        if (top <= bottom)
            writer.Fill(static_cast<int>(x), top, bottom);
    }
}

} // namespace

void RenderPeaks(QImage& image, const PeakViewModel& model, const PeakRenderStyle& style, int width, int bandHeight)
{
    const double ratio = image.devicePixelRatio();
    const DeviceScale d{ratio};
    // Everything below is in device pixels: one-pixel lines stay one device
    // pixel at any ratio.
    image.setDevicePixelRatio(1.0);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const int dw = image.width(), dh = image.height();
    const PeakBands b = ComputeBands(model, bandHeight);
    painter.fillRect(QRect(0, 0, dw, dh), style.Color);

    if (style.MarkEnd > style.MarkStart) {
        const int64_t left = model.ColumnAtMs(style.MarkStart);
        const int64_t right = model.ColumnAtMs(style.MarkEnd);
        if ((left >= 0 && left <= width) || (left <= 0 && 0 < right)) {
            const int l = d(ClampToInt(std::max<int64_t>(left, 0)));
            const int r = d(ClampToInt(std::min<int64_t>(right, width)));
            if (r > l)
                painter.fillRect(QRect(l, 0, r - l, dh), style.MarkColor);
        }
    }
    if (style.Underlay)
        style.Underlay(image, ratio);

    if (!model.PeakData.empty() && width > 0 && (image.format() == QImage::Format_RGB32 ||
                                                 image.format() == QImage::Format_ARGB32_Premultiplied)) {
        const std::vector<ColumnSpan> spans = ColumnSpans(model, width, ratio);
        const ColumnValues values = ReadColumns(model, spans, b.Channels);
        SpanWriter writer(image, style.PeaksColor);
        for (int ch = 1; ch <= b.Channels; ++ch)
            DrawChannel(writer, values, b, ch, ratio);
        if (style.ShowRms && !model.Rms.Empty()) {
            SpanWriter band(image, style.RmsColor);
            const ColumnRms rms = ReadColumnRms(model, spans);
            for (int ch = 1; ch <= b.Channels; ++ch)
                DrawRmsBand(band, model, values, rms.levels[ch - 1], b, ch, ratio);
        }
    }

    // Odd lines are the channels' centre lines (1 px), even lines the
    // boundaries between channels (2 px, the row above included).
    for (int s = 1; s <= b.Bands; ++s) {
        const int y = d(s * b.q);
        if (s % 2 == 1)
            painter.fillRect(QRect(0, y, dw, 1), style.BorderColor);
        else
            painter.fillRect(QRect(0, y - 1, dw, 2), style.BorderColor);
    }

    if (!model.PeakData.empty() && style.PaintCursor) {
        const int64_t r64 = model.ColumnAtMs(style.Position);
        if (r64 > 0 && r64 < width) {
            const int r = static_cast<int>(r64);
            const int boxLeft = d(r - 3), boxWidth = d(r + 4) - boxLeft, boxHeight = d(3);
            painter.fillRect(QRect(boxLeft, 0, boxWidth, boxHeight), style.PositionColor);
            painter.fillRect(QRect(boxLeft, dh - boxHeight, boxWidth, boxHeight), style.PositionColor);
            painter.fillRect(QRect(d(r) - 1, boxHeight, 2, std::max(0, dh - 2 * boxHeight)), style.PositionColor);
        }
    }

    // Two-pixel frame inside the client rectangle.
    painter.fillRect(QRect(0, 0, dw, 2), style.BorderColor);
    painter.fillRect(QRect(0, dh - 2, dw, 2), style.BorderColor);
    painter.fillRect(QRect(0, 0, 2, dh), style.BorderColor);
    painter.fillRect(QRect(dw - 2, 0, 2, dh), style.BorderColor);
    painter.end();
    image.setDevicePixelRatio(ratio);
}

} // namespace kx
