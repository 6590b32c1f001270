#include "PeakRender.h"

#include <QPainter>
#include <QImage>
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

bool CanWriteSpans(QPainter& painter)
{
    QPaintDevice* device = painter.device();
    if (!device || device->devType() != QInternal::Image || painter.transform().type() != QTransform::TxNone)
        return false;
    const QImage::Format f = static_cast<QImage*>(device)->format();
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32_Premultiplied;
}

void DrawChannel(SpanWriter& writer, const PeakViewModel& model, const PeakBands& b, int ch, int width)
{
    const int bottom = 2 * ch * b.q;
    // Silence until the first value is read.
    const uint32_t mid = model.Wide() ? 32768u : 128u;
    uint32_t first = mid, second = mid;
    int last = b.CentreY(ch);  // the pen starts on the centre line of column 0
    int64_t previous = 0;
    int y1 = 0, y2 = 0;
    for (int x = 0; x < width; ++x) {
        const int64_t peak = model.PeakAtColumn(x);
        if (x == 0 || peak != previous) {
            // A read past the end delivers nothing: both ends keep the value
            // read last, so the line runs flat instead of filling the band.
            uint32_t v1 = second, v2 = second;
            if (!model.ReadPair(peak, ch - 1, v1, v2))
                v2 = v1;
            first = v1;
            second = v2;
            y1 = static_cast<int>(Round(double(bottom) - double(float(first) / b.Scale)));
            y2 = static_cast<int>(Round(double(bottom) - double(float(second) / b.Scale)));
        }
        previous = peak;
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

} // namespace

void RenderPeaks(QPainter& painter, const PeakViewModel& model, const PeakRenderStyle& style, int width,
                 int height, int bandHeight)
{
    if (!CanWriteSpans(painter)) {
        // Other devices get a copy of a drawing made in an image.
        QImage image(width, height, QImage::Format_RGB32);
        QPainter imagePainter(&image);
        RenderPeaks(imagePainter, model, style, width, height, bandHeight);
        imagePainter.end();
        painter.drawImage(0, 0, image);
        return;
    }
    const PeakBands b = ComputeBands(model, bandHeight);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRect(0, 0, width, height), style.Color);

    if (style.MarkEnd > style.MarkStart) {
        const int64_t left = model.ColumnAtMs(style.MarkStart);
        const int64_t right = model.ColumnAtMs(style.MarkEnd);
        if ((left >= 0 && left <= width) || (left <= 0 && 0 < right)) {
            const int l = ClampToInt(std::max<int64_t>(left, 0));
            const int r = ClampToInt(std::min<int64_t>(right, width));
            if (r > l)
                painter.fillRect(QRect(l, 0, r - l, height), style.MarkColor);
        }
    }

    if (!model.PeakData.empty() && width > 0) {
        SpanWriter writer(*static_cast<QImage*>(painter.device()), style.PeaksColor);
        for (int ch = 1; ch <= b.Channels; ++ch)
            DrawChannel(writer, model, b, ch, width);
    }

    // Odd lines are the channels' centre lines (1 px), even lines the
    // boundaries between channels (2 px, the row above included).
    for (int s = 1; s <= b.Bands; ++s) {
        const int y = s * b.q;
        if (s % 2 == 1)
            painter.fillRect(QRect(0, y, width, 1), style.BorderColor);
        else
            painter.fillRect(QRect(0, y - 1, width, 2), style.BorderColor);
    }

    if (!model.PeakData.empty() && style.PaintCursor) {
        const int64_t r64 = model.ColumnAtMs(style.Position);
        if (r64 > 0 && r64 < width) {
            const int r = static_cast<int>(r64);
            painter.fillRect(QRect(r - 3, 0, 7, 3), style.PositionColor);
            painter.fillRect(QRect(r - 3, height - 3, 7, 3), style.PositionColor);
            painter.fillRect(QRect(r - 1, 3, 2, std::max(0, height - 6)), style.PositionColor);
        }
    }

    // Two-pixel frame inside the client rectangle.
    painter.fillRect(QRect(0, 0, width, 2), style.BorderColor);
    painter.fillRect(QRect(0, height - 2, width, 2), style.BorderColor);
    painter.fillRect(QRect(0, 0, 2, height), style.BorderColor);
    painter.fillRect(QRect(width - 2, 0, 2, height), style.BorderColor);
}

} // namespace kx
