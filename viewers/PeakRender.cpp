#include "PeakRender.h"

#include <QPainter>
#include <QPolygon>
#include <algorithm>
#include <vector>

#include "platform/Round.h"

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

void DrawChannel(QPainter& painter, const PeakViewModel& model, const PeakBands& b, int ch, int width,
                 QPolygon& line)
{
    const int bottom = 2 * ch * b.q;
    // Silence until the first value is read.
    const uint32_t mid = model.Wide() ? 32768u : 128u;
    uint32_t first = mid, second = mid;
    line.resize(1 + 2 * width);
    line[0] = QPoint(0, b.CentreY(ch));
    int64_t previous = 0;
    int y1 = 0, y2 = 0;
    for (int x = 0; x < width; ++x) {
        const int64_t peak = model.PeakAtColumn(x);
        if (x == 0 || peak != previous) {
            model.ReadPair(peak, ch - 1, first, second);
            y1 = static_cast<int>(Round(double(bottom) - double(float(first) / b.Scale)));
            y2 = static_cast<int>(Round(double(bottom) - double(float(second) / b.Scale)));
        }
        previous = peak;
        line[1 + 2 * x] = QPoint(x, y1);
        line[2 + 2 * x] = QPoint(x, y2);
    }
    painter.drawPolyline(line);
}

} // namespace

void RenderPeaks(QPainter& painter, const PeakViewModel& model, const PeakRenderStyle& style, int width,
                 int height, int bandHeight)
{
    const PeakBands b = ComputeBands(model, bandHeight);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.fillRect(QRect(0, 0, width, height), style.Color);

    if (style.MarkEnd > style.MarkStart) {
        const int64_t left = model.MarkColumnAtMs(style.MarkStart);
        const int64_t right = model.MarkColumnAtMs(style.MarkEnd);
        if ((left >= 0 && left <= width) || (left <= 0 && 0 < right)) {
            const int l = ClampToInt(std::max<int64_t>(left, 0));
            const int r = ClampToInt(std::min<int64_t>(right, width));
            if (r > l)
                painter.fillRect(QRect(l, 0, r - l, height), style.MarkColor);
        }
    }

    if (!model.PeakData.empty() && width > 0) {
        painter.setPen(QPen(style.PeaksColor, 1));
        QPolygon line;
        for (int ch = 1; ch <= b.Channels; ++ch)
            DrawChannel(painter, model, b, ch, width, line);
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
        const int64_t r64 = model.CursorColumnAtMs(style.Position);
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
