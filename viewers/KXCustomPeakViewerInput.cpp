// The peak viewer's mouse and key handling, and the events it raises.
#include "KXCustomPeakViewer.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include "platform/QtInput.h"

namespace kx {

// --- mouse and keys ------------------------------------------------------------

void TKXCustomPeakViewer::RaiseMouseDown(TMouseButton button, TShiftState shift, int x, int y)
{
    Fire(OnMouseDown, this, button, shift, x, y);
    Q_EMIT mouseDown(button, shift, x, y);
}

void TKXCustomPeakViewer::RaiseMouseUp(TMouseButton button, TShiftState shift, int x, int y)
{
    Fire(OnMouseUp, this, button, shift, x, y);
    Q_EMIT mouseUp(button, shift, x, y);
}

void TKXCustomPeakViewer::LButtonDown(int x, int y, TShiftState shift)
{
    RaiseMouseDown(mbLeft, shift, x, y);
    // An editable region or point under the pointer takes the press instead.
    if (!RegionMouseDown(x))
        SetPositionAt(x);
    setFocus(Qt::MouseFocusReason);
}

void TKXCustomPeakViewer::LButtonUp(int x, int y, TShiftState shift)
{
    RegionMouseUp(x);
    RaiseMouseUp(mbLeft, shift, x, y);
}

void TKXCustomPeakViewer::LButtonDblClk(int x, int y, TShiftState shift)
{
    shift.Include(ssDouble);
    Fire(OnDblClick, this);
    Q_EMIT dblClick();
    RaiseMouseDown(mbLeft, shift, x, y);
}

void TKXCustomPeakViewer::MouseMoved(int x, int y, TShiftState shift)
{
    RegionMouseMove(x);
    Fire(OnMouseMove, this, shift, x, y);
    Q_EMIT mouseMove(shift, x, y);
}

void TKXCustomPeakViewer::MouseEntered()
{
    Fire(OnEnter, this);
    Q_EMIT enter();
}

void TKXCustomPeakViewer::MouseLeft()
{
    Fire(OnExit, this);
    Q_EMIT exit();
}

void TKXCustomPeakViewer::mousePressEvent(QMouseEvent* e)
{
    const QPoint pt = e->position().toPoint();
    const TShiftState shift = ShiftStateFromQt(e->modifiers(), e->buttons());
    if (e->button() == Qt::LeftButton)
        LButtonDown(pt.x(), pt.y(), shift);
    else
        RaiseMouseDown(MouseButtonFromQt(e->button()), shift, pt.x(), pt.y());
    e->accept();
}

void TKXCustomPeakViewer::mouseReleaseEvent(QMouseEvent* e)
{
    const QPoint pt = e->position().toPoint();
    const TShiftState shift = ShiftStateFromQt(e->modifiers(), e->buttons());
    if (e->button() == Qt::LeftButton)
        LButtonUp(pt.x(), pt.y(), shift);
    else
        RaiseMouseUp(MouseButtonFromQt(e->button()), shift, pt.x(), pt.y());
    e->accept();
}

void TKXCustomPeakViewer::mouseDoubleClickEvent(QMouseEvent* e)
{
    const QPoint pt = e->position().toPoint();
    if (e->button() == Qt::LeftButton)
        LButtonDblClk(pt.x(), pt.y(), ShiftStateFromQt(e->modifiers(), e->buttons()));
    e->accept();
}

void TKXCustomPeakViewer::mouseMoveEvent(QMouseEvent* e)
{
    const QPoint pt = e->position().toPoint();
    MouseMoved(pt.x(), pt.y(), ShiftStateFromQt(e->modifiers(), e->buttons()));
    e->accept();
}

void TKXCustomPeakViewer::enterEvent(QEnterEvent* e)
{
    QWidget::enterEvent(e);
    MouseEntered();
}

void TKXCustomPeakViewer::leaveEvent(QEvent* e)
{
    QWidget::leaveEvent(e);
    MouseLeft();
}

void TKXCustomPeakViewer::contextMenuEvent(QContextMenuEvent* e)
{
    if (popupMenu_)
        popupMenu_->popup(e->globalPos());
    e->accept();
}

void TKXCustomPeakViewer::keyPressEvent(QKeyEvent* e)
{
    uint16_t key = VirtualKeyFromQt(e->key());
    const int64_t before = position_;
    const TShiftState shift = ShiftStateFromQt(e->modifiers());
    if (!Designing() && !RegionKey(key, shift)) {
        // Only while the cursor is in view.
        const int64_t column = model_.ColumnAtMs(static_cast<int32_t>(position_));
        if (column > 0 && column < ClientWidth()) {
            if (key == VK_RIGHT)
                position_ += 40;
            else if (key == VK_LEFT)
                position_ -= 40;
            Repaint();
        }
    }
    NotifyPosition(before);
    Fire(OnKeyDown, this, key, shift);
    Q_EMIT keyDown(key, shift);
    if (!e->text().isEmpty()) {
        QChar c = e->text().at(0);
        Fire(OnKeyPress, this, c);
        Q_EMIT keyPress(c);
    }
    e->accept();
}

void TKXCustomPeakViewer::keyReleaseEvent(QKeyEvent* e)
{
    uint16_t key = VirtualKeyFromQt(e->key());
    const TShiftState shift = ShiftStateFromQt(e->modifiers());
    Fire(OnKeyUp, this, key, shift);
    Q_EMIT keyUp(key, shift);
    e->accept();
}

} // namespace kx
