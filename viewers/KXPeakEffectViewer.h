#pragma once
#include <QPoint>
#include <vector>

#include "EffectPoints.h"
#include "KXCustomPeakViewer.h"

namespace kx {

// A peak viewer with up to three effect envelopes (A, B, C) drawn over the
// peaks as points joined by lines. The list of the focused type is edited
// with the mouse: a press on a line adds a point, a press on a point grabs
// it, and the first movement decides between a value drag (vertical) and a
// position drag (horizontal).
class TKXPeakEffectViewer : public TKXCustomPeakViewer
{
    Q_OBJECT
public:
    using PointList = std::vector<TEffectPointRec>;

    explicit TKXPeakEffectViewer(QWidget* parent = nullptr);
    ~TKXPeakEffectViewer() override;

    // Properties.
    TEffectPoints& EffectPoints() { return effectPoints_; }
    const TEffectPoints& EffectPoints() const { return effectPoints_; }
    TEffectType FocusedType() const { return effectPoints_.Focused(); }
    void SetFocusedType(TEffectType value);
    bool SinglePointLevel() const { return singlePointLevel_; }
    void SetSinglePointLevel(bool value) { singlePointLevel_ = value; }
    bool StereoEffects() const { return stereoEffects_; }
    // Raises when any list holds a point.
    void SetStereoEffects(bool value);
    TEffectTypes VisiblePoints() const { return visiblePoints_; }
    void SetVisiblePoints(TEffectTypes value);

    // Point lists.
    bool AddPoint(TEffectType effectType, TEffectChannel effectChannel, int& index, int value, int position);
    bool DeletePoint(TEffectType effectType, TEffectChannel effectChannel, int index);
    void GetPoint(TEffectType effectType, int index, TEffectPointRec& point) const;
    bool InitPoints();
    bool InitTypePoints(TEffectType effectType);
    void ClearPoints(TEffectType effectType);
    void ClearAllPoints();
    void Clear() override;
    // Index in the focused list of the point under the mouse; -1 when none.
    int HotIndex() const { return hotIndex_; }
    // The list of a type; null for fcC while StereoEffects is set.
    const PointList* PointListOf(TEffectType effectType) const;
    // Highest valid point position (the peak count for 16-bit stereo data).
    int64_t PointRange() const;

    // Value scale of the focused type on a channel's band.
    int YAtValue(int value, TEffectChannel channel) const;
    int ValueAtY(int y, TEffectChannel channel) const;

    // The point drawing, installed as OnPaint.
    void DrawPoints(QObject* sender, TCanvas& canvas);
    // Cursor id for a client point: 1 nothing, 2 on a line, 3 on a point.
    int HitTest(int x, int y);
    int CursorAt(int x, int y);

    // Editing at client coordinates.
    int AddPointAt(int x, int y);
    void MovePointTo(int x, int y);
    void SetValueAt(int x, int y);

    // Drag state.
    QPoint Anchor() const { return anchor_; }
    bool Dragging() const { return dragging_; }
    int DragDirection() const { return dragDirection_; }
    QPoint HotPoint() const { return hotPoint_; }

    TNewPoint OnPointNew;
    TNewPoint OnPointEdit;  // published for handlers; nothing raises it yet
    TNewPoint OnPointDelete;

protected:
    void LButtonDown(int x, int y, TShiftState shift) override;
    void LButtonUp(int x, int y, TShiftState shift) override;
    void LButtonDblClk(int x, int y, TShiftState shift) override;
    void MouseMoved(int x, int y, TShiftState shift) override;
    void MouseLeft() override;

private:
    PointList* ListOf(TEffectType effectType);
    void Band(TEffectChannel channel, int& top, int& bottom) const;
    QPoint PointAt(const TEffectPointRec& p) const;
    void SetValueAtPosition(int64_t position, int y);
    // Moves the mouse pointer, ignoring the mouse messages the move causes.
    void MovePointer(const QPoint& global);

    TEffectPoints effectPoints_;
    PointList points_[3];
    QPoint anchor_;
    bool dragging_ = false;
    int dragDirection_ = 0;  // 0 undecided, 1 vertical (value), 2 horizontal (position)
    QPoint hotPoint_;
    int hotIndex_ = -1;
    bool movingMouse_ = false;
    TEffectTypes visiblePoints_;
    bool stereoEffects_ = false;
    bool singlePointLevel_ = true;
};

} // namespace kx
