// The wave viewer's drawing: back buffer, channel panel, time marks.
#include "WavViewer.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimerEvent>
#include <algorithm>
#include <climits>

#include "platform/widgets/HorzScrollBar.h"
#include "platform/Logging.h"
#include "platform/LittleEndian.h"
#include "platform/widgets/MessageBox.h"
#include "platform/PostedEvent.h"
#include "platform/QtInput.h"
#include "platform/Round.h"
#include "wavviewer/WaveDevice.h"

namespace kx {

namespace {

// A pen `width` device pixels wide at a device pixel ratio (a zero-width pen
// is one device pixel at any ratio).
QPen Pen(TColor color, int width, double ratio = 1.0)
{
    QPen pen(ToQColor(color));
    if (ratio == 1.0)
        pen.setWidth(width);
    else
        pen.setWidthF(width == 1 ? 0.0 : width / ratio);
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}

} // namespace

// ---------------------------------------------------------------- painting

void TWavViewer::PaintPeaks(bool CopyToScreen, TCanvas* Target)
{
    if (buffer_.isNull())
        return;
    const int cw = ClientWidth();
    const int ch = ClientHeight();
    const int x0 = InfoWidth();
    const int y0 = InfoHeight();
    const int lanes = LaneCount();
    const int q = static_cast<int>(Round(leftPanel_->height() / (2.0 * lanes)));
    const int s = ScrollPos();

    const double ratio = buffer_.devicePixelRatio();
    QPainter p(&buffer_);
    p.fillRect(QRect(0, 0, cw, ch), ToQColor(color_, palette()));

    if (peakData_.Size() > 0 && q > 0 && info_.BlockAlign > 0) {
        const bool wide = static_cast<double>(info_.BlockAlign) / lanes == 2.0;
        const double fullScale = wide ? 65535.0 : 255.0;
        const double d = fullScale / (2.0 * q);
        const int valueBytes = wide ? 2 : 1;
        const int recordBytes = 2 * info_.BlockAlign;
        const auto bytes = peakData_.Bytes();
        p.setPen(Pen(peaksColor_, 1, ratio));
        for (int i = 1; i <= lanes; ++i) {
            const int64_t start = (ValueIndexAtPixel(s) + int64_t(i - 1) * lanes) *
                                  static_cast<int64_t>(Round(static_cast<double>(info_.BlockAlign) / lanes));
            const int bottom = y0 + 2 * i * q;
            QPolygon line;
            line << QPoint(x0, y0 + (2 * i - 1) * q);
            // Columns past the last record stay empty.
            int64_t at = start;
            for (int x = x0; x < cw && at >= 0 && at + 2 * valueBytes <= static_cast<int64_t>(bytes.size());
                 ++x, at += recordBytes) {
                for (int k = 0; k < 2; ++k) {
                    const uint8_t* v = bytes.data() + at + k * valueBytes;
                    const unsigned value = wide ? ReadU16LE(v) : v[0];
                    line << QPoint(x, static_cast<int>(Round(bottom - value / d)));
                }
            }
            p.drawPolyline(line);
        }
    }

    for (int k = 1; k <= 2 * lanes; ++k) {
        p.setPen(Pen(borderColor_, k % 2 ? 1 : 2, ratio));
        p.drawLine(x0, y0 + k * q, cw, y0 + k * q);
    }

    if (peakData_.Size() > 0) {
        const int64_t m = PeakAtMs(position_) - s;
        if (m > 0 && m < cw) {
            const int x = x0 + static_cast<int>(m);
            const QColor c = ToQColor(positionColor_, palette());
            p.fillRect(QRect(QPoint(x - 3, y0), QPoint(x + 3, y0 + 2)), c);
            p.fillRect(QRect(QPoint(x - 3, ch - 3), QPoint(x + 3, ch - 1)), c);
            p.setPen(Pen(positionColor_, 2, ratio));
            p.drawLine(x, y0 + 3, x, ch - 3);
        }
        pointerX_ = 0;
    }

    p.setPen(Pen(borderColor_, 2, ratio));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(QPoint(x0 + 1, y0 + 1), QPoint(cw - 1, ch - 1)));
    p.end();
    bufferDirty_ = false;

    if (CopyToScreen) {
        const QRect area(QPoint(x0, y0), QPoint(cw - 1, ch - 1));
        if (Target)
            Target->drawImage(area, buffer_, DeviceRect(area));
        else
            update(area);
    }
}

void TWavViewer::PaintChannelInfo(TCanvas& Canvas)
{
    const int w = leftPanel_->width();
    const QFontMetrics fm(Canvas.font());
    const int th = fm.height();
    const int tw = fm.horizontalAdvance(QStringLiteral("0"));
    Canvas.setPen(Pen(borderColor_, 1));
    for (int y : ChannelLines()) {
        Canvas.drawLine(0, y, w, y);
        Canvas.drawText(QRect((w - tw) / 2, y - (th + 2), tw, th), Qt::AlignLeft | Qt::AlignTop, QStringLiteral("0"));
    }
    if (LaneCount() == 2) {
        const int q = static_cast<int>(Round(leftPanel_->height() / 4.0));
        Canvas.setPen(Pen(borderColor_, 2));
        Canvas.drawLine(0, 2 * q, w, 2 * q);
    }
}

std::vector<int> TWavViewer::ChannelLines() const
{
    const int lanes = LaneCount();
    const int q = static_cast<int>(Round(leftPanel_->height() / (2.0 * lanes)));
    std::vector<int> rows;
    for (int i = 1; i <= lanes; ++i)
        rows.push_back((2 * i - 1) * q);
    return rows;
}

std::vector<TimeMark> TWavViewer::TimeMarks() const
{
    std::vector<TimeMark> marks;
    const int w = PeakAreaWidth();
    const int64_t interval = int64_t(marksInterval_) * 1000;
    const bool records = peakData_.Size() > 0;
    int64_t step = records ? PeakAtMs(interval) : 0;
    if (step == 0 && secondsToShow_ > 0)
        step = Round(static_cast<double>(w) * marksInterval_ / secondsToShow_);
    // Too dense to mark: no step that moves forward.
    if (step <= 0)
        return marks;
    int64_t t = records ? MsAtPixel(ScrollPos()) + interval : 0;
    if (t == 0)
        t = interval;
    const int panelWidth = topPanel_->width();
    for (int64_t x = InfoWidth() + step; x < panelWidth; x += step, t += interval)
        marks.push_back({static_cast<int>(x), t, ClockText(t)});
    return marks;
}

void TWavViewer::PaintTimeMarks(TCanvas& Canvas)
{
    const QFontMetrics fm(Canvas.font());
    const int h = topPanel_->height();
    const QColor c = ToQColor(marksColor_, palette());
    Canvas.setPen(c);
    Canvas.setBrush(c);
    for (const TimeMark& m : TimeMarks()) {
        const QPoint triangle[3] = {{m.X - 3, 1}, {m.X, 7}, {m.X + 3, 1}};
        Canvas.drawPolygon(triangle, 3);
        const int tw = fm.horizontalAdvance(m.Label);
        Canvas.drawText(m.X - tw / 2, h - (fm.height() + 2) + fm.ascent(), m.Label);
    }
}

void TWavViewer::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    if (buffer_.isNull())
        return;
    if (buffer_.devicePixelRatio() != devicePixelRatioF()) {
        // Moved to a screen of another pixel ratio.
        RebuildBuffer();
        bufferDirty_ = true;
    }
    if (bufferDirty_)
        PaintPeaks(false, nullptr);
    p.drawImage(event->rect(), buffer_, DeviceRect(event->rect()));
    // The play pointer is an overlay; the buffer never holds it.
    if (pointerX_ > InfoWidth() && pointerX_ < ClientWidth()) {
        p.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
        p.setPen(Pen(pointerColor_, 1, buffer_.devicePixelRatio()));
        p.drawLine(pointerX_, InfoHeight(), pointerX_, ClientHeight());
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    p.setFont(font());
    p.setBrush(ToQColor(color_, palette()));
    p.setPen(ToQColor(peaksColor_, palette()));
    Fire(OnPaint, this, p);
    Q_EMIT paint(p);
}

void TWavViewer::RebuildBuffer()
{
    // Device pixels of the window's screen, so lines stay one device pixel.
    const double ratio = devicePixelRatioF();
    buffer_ = QImage(static_cast<int>(Round(std::max(1, ClientWidth()) * ratio)),
                     static_cast<int>(Round(std::max(1, ClientHeight()) * ratio)), QImage::Format_RGB32);
    buffer_.setDevicePixelRatio(ratio);
}

QRectF TWavViewer::DeviceRect(const QRect& r) const
{
    const double ratio = buffer_.devicePixelRatio();
    return QRectF(r.x() * ratio, r.y() * ratio, r.width() * ratio, r.height() * ratio);
}

void TWavViewer::resizeEvent(QResizeEvent*)
{
    const int cw = ClientWidth();
    const int ch = ClientHeight();
    RebuildBuffer();
    bufferDirty_ = true;
    leftMax_ = std::max(0, cw - 20);
    topMax_ = std::max(0, ch - 20);
    LayoutChildren();
    UpdateScrollRange();
}

void TWavViewer::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::ParentChange) {
        UpdatePanelMinimums();
        LayoutChildren();
    } else if (event->type() == QEvent::PaletteChange && !buffer_.isNull()) {
        Repaint();
    }
    QWidget::changeEvent(event);
}

} // namespace kx
