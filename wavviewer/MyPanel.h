#pragma once
#include <QWidget>

#include "platform/widgets/Color.h"

class QPainter;

namespace kx {

class TWavViewer;

/// How a panel bevel is cut.
enum TBevelCut {
    bvNone,    ///< no bevel
    bvLowered, ///< sunk
    bvRaised,  ///< raised
    bvSpace    ///< room for a bevel, nothing drawn
};
/// Whether a panel has a single-line border.
enum TBorderStyle {
    bsNone,  ///< no border
    bsSingle ///< a one-pixel black border
};
/// Width of a panel bevel in pixels.
using TBevelWidth = int;
/// Space between a panel's bevels in pixels.
using TBorderWidth = int;

/// An info panel of the wave viewer: Tag 0 is the channel panel on the left,
/// Tag 1 the time-mark panel on top. Its settings are reached through the
/// viewer's Info* settings, which set both panels alike.
class TMyPanel : public QWidget
{
public:
    /// A panel of `viewer`.
    TMyPanel(TWavViewer* viewer, int tag);

    /// 0: the channel panel, 1: the time-mark panel.
    int Tag() const { return tag_; }
    /// Background colour.
    TColor Color() const { return color_; }
    /// Repaints when changed.
    void SetColor(TColor color);
    /// The inner bevel.
    TBevelCut BevelInner() const { return bevelInner_; }
    /// The outer bevel.
    TBevelCut BevelOuter() const { return bevelOuter_; }
    /// Bevel width in pixels.
    TBevelWidth BevelWidth() const { return bevelWidth_; }
    /// Space between the bevels in pixels.
    TBorderWidth BorderWidth() const { return borderWidth_; }
    /// The border.
    TBorderStyle BorderStyle() const { return borderStyle_; }
    /// Sets all bevel settings and repaints.
    void SetBevels(TBevelCut inner, TBevelCut outer, TBevelWidth width, TBorderWidth border, TBorderStyle style);

protected:
    /// Background, bevels, then the viewer's drawing and paint events.
    void paintEvent(QPaintEvent* event) override;
    /// Tells the viewer, which keeps its minimum size.
    void resizeEvent(QResizeEvent* event) override;
    /// Swallows clicks: they never reach the peak area.
    void mousePressEvent(QMouseEvent* event) override;

private:
    void PaintBevel(QPainter& p, QRect& r, TBevelCut cut) const;

    TWavViewer* viewer_;
    int tag_;
    TColor color_ = clBtnFace;
    TBevelCut bevelInner_ = bvNone;
    TBevelCut bevelOuter_ = bvRaised;
    TBevelWidth bevelWidth_ = 2;
    TBorderWidth borderWidth_ = 0;
    TBorderStyle borderStyle_ = bsNone;
};

} // namespace kx
