// The effect viewer's editing with the mouse.
#include "KXPeakEffectViewer.h"

#include <QCursor>
#include <algorithm>
#include <cstdlib>
#include <limits>

#include "ViewerCursors.h"
#include "platform/Exception.h"

namespace kx {

// --- editing ----------------------------------------------------------------------

int TKXPeakEffectViewer::AddPointAt(int x, int y)
{
    TEffectChannel channel = ecBoth;
    // The halves are those of the value scale (the bands above any time axis).
    if (stereoEffects_)
        channel = y < BandHeight() / 2 ? ecLeft : ecRight;
    PointList* list = ListOf(FocusedType());
    if (PeakDataEmpty() || !list)
        return -1;
    const int64_t position = Model().PeakAtColumn(x);
    if (position > PointRange() || position < 0 || position > std::numeric_limits<int32_t>::max())
        throw Exception("Position is out of range");
    int index = 0;
    for (const TEffectPointRec& p : *list) {
        if (p.Position == position)
            return -1;
        if (p.Position > position)
            break;
        ++index;
    }
    try {
        list->insert(list->begin() + index,
                     TEffectPointRec{static_cast<int32_t>(position), ValueAtY(y, channel), channel});
    } catch (const std::bad_alloc&) {
        throw Exception("Out of memory");
    }
    Repaint();
    Q_EMIT pointsChanged(FocusedType());
    return index;
}

void TKXPeakEffectViewer::MovePointTo(int x, int y)
{
    PointList* list = ListOf(FocusedType());
    if (PeakDataEmpty() || hotIndex_ == -1 || !list)
        return;
    const int64_t position = Model().PeakAtColumn(x);
    const int64_t range = PointRange();
    if (position < 0 || position > range)
        return;
    if (hotIndex_ < 0 || hotIndex_ >= static_cast<int>(list->size()))
        throw Exception("Node Index is out of range");
    const auto i = static_cast<size_t>(hotIndex_);
    const int64_t old = (*list)[i].Position;
    if (position == old)
        return;
    bool allowed;
    if (position > old) {
        const bool last = i + 1 == list->size();
        allowed = last ? position <= std::min<int64_t>(range, std::numeric_limits<int32_t>::max())
                       : position < (*list)[i + 1].Position;
    } else {
        allowed = i == 0 || position > (*list)[i - 1].Position;
    }
    if (allowed) {
        (*list)[i].Position = static_cast<int32_t>(position);
        Repaint();
        Q_EMIT pointsChanged(FocusedType());
        return;
    }
    // It would meet a neighbour or pass the end: the drag of this point ends.
    hotIndex_ = -1;
    dragDirection_ = 0;
    SetScreenCursor(CursorAt(x, y));
}

void TKXPeakEffectViewer::SetValueAt(int x, int y)
{
    if (PeakDataEmpty() || !ListOf(FocusedType()))
        return;
    const int64_t position = Model().PeakAtColumn(x);
    if (position > PointRange())
        throw Exception("Position is out of range");
    SetValueAtPosition(position, y);
}

void TKXPeakEffectViewer::SetValueAtPosition(int64_t position, int y)
{
    PointList* list = ListOf(FocusedType());
    if (!list)
        return;
    if (list->size() == 2 && singlePointLevel_) {
        // A two-point envelope moves as one level, by its first point.
        if ((*list)[0].Position == position) {
            const int value = ValueAtY(y, (*list)[0].Channel);
            (*list)[0].Value = value;
            (*list)[1].Value = value;
            Repaint();
            Q_EMIT pointsChanged(FocusedType());
        }
        return;
    }
    bool changed = false;
    for (TEffectPointRec& p : *list) {
        if (p.Position == position) {
            p.Value = ValueAtY(y, p.Channel);
            changed = true;
        }
    }
    if (changed) {
        Repaint();
        Q_EMIT pointsChanged(FocusedType());
    }
}

// --- mouse -----------------------------------------------------------------------------

void TKXPeakEffectViewer::MovePointer(const QPoint& global)
{
    movingMouse_ = true;
    QCursor::setPos(global);
    movingMouse_ = false;
}

void TKXPeakEffectViewer::LButtonDown(int x, int y, TShiftState shift)
{
    if (movingMouse_)
        return;
    anchor_ = QPoint(x, y);
    try {
        switch (ScreenCursor()) {
        case crSelectorR:
            AddPointAt(hotPoint_.x(), hotPoint_.y());
            break;
        case crSelectorG:
            movingMouse_ = true;
            SetScreenCursor(crMove);
            anchor_ = hotPoint_;
            QCursor::setPos(mapToGlobal(hotPoint_));
            movingMouse_ = false;
            break;
        default:
            break;
        }
    } catch (const Exception&) {
        // A click that cannot add a point adds nothing.
    }
    dragging_ = true;
    dragDirection_ = 0;
    SetScreenCursor(CursorAt(x, y));
    TKXCustomPeakViewer::LButtonDown(x, y, shift);
}

void TKXPeakEffectViewer::MouseMoved(int x, int y, TShiftState shift)
{
    if (!movingMouse_) {
        if (!dragging_) {
            SetScreenCursor(CursorAt(x, y));
        } else {
            if (ScreenCursor() == crMove && dragDirection_ == 0) {
                if (std::abs(x - anchor_.x()) >= 2) {
                    SetScreenCursor(crLeftRight);
                    dragDirection_ = 2;
                } else if (std::abs(y - anchor_.y()) >= 2) {
                    SetScreenCursor(crUpDown);
                    dragDirection_ = 1;
                }
            }
            if (dragDirection_ == 0 && ScreenCursor() < crMove)
                SetScreenCursor(CursorAt(x, y));
            // Hold the other axis: the pointer goes back to the anchor column or row.
            if (dragDirection_ == 1)
                MovePointer(QPoint(mapToGlobal(QPoint(anchor_.x(), y)).x(), QCursor::pos().y()));
            else if (dragDirection_ == 2)
                MovePointer(QPoint(QCursor::pos().x(), mapToGlobal(QPoint(x, anchor_.y())).y()));
            try {
                if (dragDirection_ == 1) {
                    // The grabbed point itself, wherever the pointer drifted.
                    const PointList* list = PointListOf(FocusedType());
                    if (list && hotIndex_ >= 0 && hotIndex_ < static_cast<int>(list->size()))
                        SetValueAtPosition((*list)[static_cast<size_t>(hotIndex_)].Position, y);
                    else
                        SetValueAt(anchor_.x(), y);
                } else if (dragDirection_ == 2) {
                    MovePointTo(x, y);
                }
            } catch (const Exception&) {
                // Out of range: nothing changes, the drag goes on.
            }
        }
    }
    TKXCustomPeakViewer::MouseMoved(x, y, shift);
}

void TKXPeakEffectViewer::LButtonUp(int x, int y, TShiftState shift)
{
    if (dragging_) {
        dragging_ = false;
        hotIndex_ = -1;
        if (movingMouse_)
            return;
        dragDirection_ = 0;
        SetScreenCursor(CursorAt(x, y));
    }
    TKXCustomPeakViewer::LButtonUp(x, y, shift);
}

void TKXPeakEffectViewer::LButtonDblClk(int x, int y, TShiftState shift)
{
    TKXCustomPeakViewer::LButtonDblClk(x, y, shift);
}

void TKXPeakEffectViewer::MouseLeft()
{
    dragging_ = false;
    hotIndex_ = -1;
    dragDirection_ = 0;
    SetScreenCursor(crDefaultId);
    TKXCustomPeakViewer::MouseLeft();
}

} // namespace kx
