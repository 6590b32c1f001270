// The wave viewer's info panels.
#include "MyPanel.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "WavViewer.h"

namespace kx {

TMyPanel::TMyPanel(TWavViewer* viewer, int tag) : QWidget(viewer), viewer_(viewer), tag_(tag)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TMyPanel::SetColor(TColor color)
{
    if (color == color_)
        return;
    color_ = color;
    update();
}

void TMyPanel::SetBevels(TBevelCut inner, TBevelCut outer, TBevelWidth width, TBorderWidth border,
                         TBorderStyle style)
{
    bevelInner_ = inner;
    bevelOuter_ = outer;
    bevelWidth_ = std::max(1, width);
    borderWidth_ = std::max(0, border);
    borderStyle_ = style;
    update();
}

void TMyPanel::PaintBevel(QPainter& p, QRect& r, TBevelCut cut) const
{
    if (cut == bvNone)
        return;
    const QPalette& pal = palette();
    const QColor light = cut == bvLowered ? pal.color(QPalette::Dark) : pal.color(QPalette::Light);
    const QColor dark = cut == bvLowered ? pal.color(QPalette::Light) : pal.color(QPalette::Dark);
    for (int i = 0; i < bevelWidth_ && r.width() > 1 && r.height() > 1; ++i) {
        if (cut != bvSpace) {
            p.setPen(light);
            p.drawLine(r.left(), r.top(), r.right(), r.top());
            p.drawLine(r.left(), r.top(), r.left(), r.bottom());
            p.setPen(dark);
            p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
            p.drawLine(r.right(), r.top(), r.right(), r.bottom());
        }
        r.adjust(1, 1, -1, -1);
    }
}

void TMyPanel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), ToQColor(color_, palette()));
    QRect r = rect();
    if (borderStyle_ == bsSingle) {
        p.setPen(Qt::black);
        p.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
    }
    PaintBevel(p, r, bevelOuter_);
    r.adjust(borderWidth_, borderWidth_, -borderWidth_, -borderWidth_);
    PaintBevel(p, r, bevelInner_);
    p.setFont(font());
    if (tag_ == 0) {
        viewer_->PaintChannelInfo(p);
        Fire(viewer_->OnPaintHorzInfo, this, p);
        Q_EMIT viewer_->paintHorzInfo(this, p);
    } else {
        viewer_->PaintTimeMarks(p);
        Fire(viewer_->OnPaintVertInfo, this, p);
        Q_EMIT viewer_->paintVertInfo(this, p);
    }
}

void TMyPanel::mousePressEvent(QMouseEvent* event)
{
    // A panel is a window of its own: its clicks never reach the peak area.
    event->accept();
}

void TMyPanel::resizeEvent(QResizeEvent*)
{
    viewer_->PanelResized(this);
}

} // namespace kx
