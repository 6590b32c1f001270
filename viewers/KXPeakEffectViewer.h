#pragma once
#include <QPoint>
#include <vector>

#include "EffectPoints.h"
#include "KXCustomPeakViewer.h"

namespace kx {

/**
 * A peak viewer with up to three effect envelopes (A, B, C) drawn over the
 * peaks as points joined by lines. The list of the focused type is edited
 * with the mouse: a press on a line adds a point, a press on a point grabs
 * it, and the first movement decides between a value drag (vertical) and a
 * position drag (horizontal).
 *
 * The EffectPoints settings are properties of the viewer (effectColorA,
 * effectMaxA, effectMinA, ...); pointsChanged() tells when a list changed,
 * by code or by the mouse.
 */
class TKXPeakEffectViewer : public TKXCustomPeakViewer
{
    Q_OBJECT
    ///@{
    /// focusedType is a TEffectType ordinal, visiblePoints a TEffectTypes bit set.
    Q_PROPERTY(int focusedType READ focusedTypeOrdinal WRITE setFocusedType)
    Q_PROPERTY(bool singlePointLevel READ SinglePointLevel WRITE setSinglePointLevel)
    Q_PROPERTY(bool stereoEffects READ StereoEffects WRITE setStereoEffects)
    Q_PROPERTY(int visiblePoints READ visiblePointsBits WRITE setVisiblePoints)
    Q_PROPERTY(QColor effectColorA READ EffectColorAAsQColor WRITE setEffectColorA)
    Q_PROPERTY(QColor effectColorB READ EffectColorBAsQColor WRITE setEffectColorB)
    Q_PROPERTY(QColor effectColorC READ EffectColorCAsQColor WRITE setEffectColorC)
    Q_PROPERTY(int effectMaxA READ EffectMaxA WRITE setEffectMaxA)
    Q_PROPERTY(int effectMaxB READ EffectMaxB WRITE setEffectMaxB)
    Q_PROPERTY(int effectMaxC READ EffectMaxC WRITE setEffectMaxC)
    Q_PROPERTY(int effectMinA READ EffectMinA WRITE setEffectMinA)
    Q_PROPERTY(int effectMinB READ EffectMinB WRITE setEffectMinB)
    Q_PROPERTY(int effectMinC READ EffectMinC WRITE setEffectMinC)
    ///@}
public:
    /// @name Property writers under the names forms compiled by uic call
    ///@{
    void setFocusedType(int value) { setFocusedTypeOrdinal(value); } ///< Writes focusedType.
    void setSinglePointLevel(bool value) { SetSinglePointLevel(value); } ///< Writes singlePointLevel.
    void setVisiblePoints(int value) { setVisiblePointsBits(value); } ///< Writes visiblePoints.
    ///@}
public:
    /// A point list of one effect type, in position order.
    using PointList = std::vector<TEffectPointRec>;

    /// An empty viewer whose OnPaint draws the points.
    explicit TKXPeakEffectViewer(QWidget* parent = nullptr);
    ~TKXPeakEffectViewer() override;

    // --- settings

    /// Colours and limits of the three types.
    TEffectPoints& EffectPoints() { return effectPoints_; }
    /// Colours and limits of the three types.
    const TEffectPoints& EffectPoints() const { return effectPoints_; }
    /// The type the mouse edits (EffectPoints().Focused()).
    TEffectType FocusedType() const { return effectPoints_.Focused(); }
    /// Repaints when changed.
    void SetFocusedType(TEffectType value);
    /// A two-point envelope is moved as one level.
    bool SinglePointLevel() const { return singlePointLevel_; }
    /// Plain store.
    void SetSinglePointLevel(bool value) { singlePointLevel_ = value; }
    /// Left and right channel points (fcC then has no list).
    bool StereoEffects() const { return stereoEffects_; }
    /// Raises when any list holds a point.
    void SetStereoEffects(bool value);
    /// The types drawn.
    TEffectTypes VisiblePoints() const { return visiblePoints_; }
    /// Gives newly visible types their default points when peaks are loaded.
    void SetVisiblePoints(TEffectTypes value);

    // --- point lists

    /// Inserts a point after asking OnPointNew; index gives where (-1 when no list).
    bool AddPoint(TEffectType effectType, TEffectChannel effectChannel, int& index, int value, int position);
    /// Removes a point after asking OnPointDelete.
    bool DeletePoint(TEffectType effectType, TEffectChannel effectChannel, int index);
    /// Copies a point; an all-zero record when there is none.
    void GetPoint(TEffectType effectType, int index, TEffectPointRec& point) const;
    /// Gives every empty type its two default points.
    bool InitPoints();
    /// Gives one type its two default points when its list is empty.
    bool InitTypePoints(TEffectType effectType);
    /// Frees the points of one type, without events.
    void ClearPoints(TEffectType effectType);
    /// Frees the points of all types, without events.
    void ClearAllPoints();
    /// Forgets the peaks and all points.
    void Clear() override;
    /// Index in the focused list of the point under the mouse; -1 when none.
    int HotIndex() const { return hotIndex_; }
    /// The list of a type; null for fcC while StereoEffects is set.
    const PointList* PointListOf(TEffectType effectType) const;
    /// Highest valid point position (the peak count for 16-bit stereo data).
    int64_t PointRange() const;

    /// Client row of a value of the focused type on a channel's band.
    int YAtValue(int value, TEffectChannel channel) const;
    /// Value of the focused type at a client row of a channel's band.
    int ValueAtY(int y, TEffectChannel channel) const;

    /// The point drawing, installed as OnPaint.
    void DrawPoints(QObject* sender, TCanvas& canvas);
    /// Cursor id for a client point: 1 nothing, 2 on a line, 3 on a point.
    int HitTest(int x, int y);
    /// Cursor id for a client point, the drag direction taken into account.
    int CursorAt(int x, int y);

    /// Adds a point of the focused type at a client point; its index, or -1.
    int AddPointAt(int x, int y);
    /// Moves the grabbed point to a client column.
    void MovePointTo(int x, int y);
    /// Sets the value of the points at a client column from a client row.
    void SetValueAt(int x, int y);

    // --- drag state

    /// Where the drag started (client coordinates).
    QPoint Anchor() const { return anchor_; }
    /// Whether the left button is down over the viewer.
    bool Dragging() const { return dragging_; }
    /// 0 undecided, 1 vertical (value), 2 horizontal (position).
    int DragDirection() const { return dragDirection_; }
    /// The point or line position last hit.
    QPoint HotPoint() const { return hotPoint_; }

    // --- events; each is also the signal of the same name without "On"

    /// Asked before a point is added.
    TNewPoint OnPointNew;
    /// Published for handlers; nothing raises it yet.
    TNewPoint OnPointEdit;
    /// Asked before a point is deleted.
    TNewPoint OnPointDelete;

    // --- property readers and writers

    /// Reads focusedType.
    int focusedTypeOrdinal() const { return int(FocusedType()); }
    /// Writes focusedType; unknown ordinals are reported.
    KX_PROPERTY_WRITER(int, setFocusedTypeOrdinal, SetFocusedTypeOrdinal, lcViewers)
    /// Writes stereoEffects; refused while points exist.
    KX_PROPERTY_WRITER(bool, setStereoEffects, SetStereoEffects, lcViewers)
    /// Reads visiblePoints.
    int visiblePointsBits() const { return static_cast<int>(VisiblePoints().Bits()); }
    /// Writes visiblePoints; bits other than those of fcA to fcC are reported.
    KX_PROPERTY_WRITER(int, setVisiblePointsBits, SetVisiblePointsBits, lcViewers)
    /// Colour of type A as painted.
    QColor EffectColorAAsQColor() const { return ToQColor(effectPoints_.ColorA(), palette()); }
    /// Colour of type B as painted.
    QColor EffectColorBAsQColor() const { return ToQColor(effectPoints_.ColorB(), palette()); }
    /// Colour of type C as painted.
    QColor EffectColorCAsQColor() const { return ToQColor(effectPoints_.ColorC(), palette()); }
    /// Writes effectColorA.
    void setEffectColorA(const QColor& value) { effectPoints_.SetColorA(value); }
    /// Writes effectColorB.
    void setEffectColorB(const QColor& value) { effectPoints_.SetColorB(value); }
    /// Writes effectColorC.
    void setEffectColorC(const QColor& value) { effectPoints_.SetColorC(value); }
    /// Highest value of type A.
    int EffectMaxA() const { return effectPoints_.MaxA(); }
    /// Highest value of type B.
    int EffectMaxB() const { return effectPoints_.MaxB(); }
    /// Highest value of type C.
    int EffectMaxC() const { return effectPoints_.MaxC(); }
    /// Lowest value of type A.
    int EffectMinA() const { return effectPoints_.MinA(); }
    /// Lowest value of type B.
    int EffectMinB() const { return effectPoints_.MinB(); }
    /// Lowest value of type C.
    int EffectMinC() const { return effectPoints_.MinC(); }
    /// Writes effectMaxA; a value the limit ignores or refuses is reported.
    KX_PROPERTY_WRITER(int, setEffectMaxA, SetEffectMax<fcA>, lcViewers)
    /// Writes effectMaxB.
    KX_PROPERTY_WRITER(int, setEffectMaxB, SetEffectMax<fcB>, lcViewers)
    /// Writes effectMaxC.
    KX_PROPERTY_WRITER(int, setEffectMaxC, SetEffectMax<fcC>, lcViewers)
    /// Writes effectMinA; a value the limit ignores or refuses is reported.
    KX_PROPERTY_WRITER(int, setEffectMinA, SetEffectMin<fcA>, lcViewers)
    /// Writes effectMinB.
    KX_PROPERTY_WRITER(int, setEffectMinB, SetEffectMin<fcB>, lcViewers)
    /// Writes effectMinC.
    KX_PROPERTY_WRITER(int, setEffectMinC, SetEffectMin<fcC>, lcViewers)

Q_SIGNALS:
    /// OnPointNew, with whether the handler allowed the point (a slot cannot refuse it).
    void pointNew(kx::TEffectType effectType, kx::TEffectChannel effectChannel, int position, int value, int index,
                  bool allowed);
    /// OnPointEdit; never emitted, as the event is never raised.
    void pointEdit(kx::TEffectType effectType, kx::TEffectChannel effectChannel, int position, int value, int index,
                   bool allowed);
    /// OnPointDelete, with whether the handler allowed it (a slot cannot refuse it).
    void pointDelete(kx::TEffectType effectType, kx::TEffectChannel effectChannel, int position, int value,
                     int index, bool allowed);
    /// A point list changed: points added, deleted, cleared, or moved or
    /// levelled with the mouse.
    void pointsChanged(kx::TEffectType effectType);

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
    // Property writers' setters: refuse what the plain setters ignore.
    void SetFocusedTypeOrdinal(int value);
    void SetVisiblePointsBits(int value);
    void SetLimit(TEffectType type, bool max, int value);
    template <TEffectType Type>
    void SetEffectMax(int value)
    {
        SetLimit(Type, true, value);
    }
    template <TEffectType Type>
    void SetEffectMin(int value)
    {
        SetLimit(Type, false, value);
    }

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
