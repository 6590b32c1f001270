#pragma once
#include <QObject>
#include <functional>

#include "platform/ScrollState.h"

class QScrollBar;
class QWidget;

namespace kx {

/// A horizontal scroll bar at the bottom of a widget whose numbers live in a
/// ScrollState. User actions arrive as scroll codes; the owner decides the new
/// position (as a window procedure would) and calls Sync().
class HorzScrollBar : public QObject
{
    Q_OBJECT
public:
    /// A bar that is a child of owner; Layout() places it.
    explicit HorzScrollBar(QWidget* owner);

    /// The numbers; call Sync() after changing them.
    ///@{
    ScrollState& State() { return state_; }
    const ScrollState& State() const { return state_; }
    ///@}
    /// The Qt widget that shows the bar.
    QScrollBar* Bar() const { return bar_; }
    /// Pixels the bar takes at the bottom of the owner.
    int Height() const;

    /// Mirrors the state onto the visible bar without raising requests;
    /// positionChanged() when the position is not the one last mirrored.
    void Sync();
    /// Places the bar along the bottom of the owner's rectangle.
    void Layout();

    /// Called for each user request with its code; nTrackPos is set first
    /// for thumb codes.
    std::function<void(int code)> OnRequest;

    /// Sends a request as if the user had made it (tests, key handlers).
    void Request(int code, int trackPos = 0);

Q_SIGNALS:
    /// The state's position moved since the last Sync(), by the user or by code.
    void positionChanged(int position);

private:
    void ActionTriggered(int action);

    QWidget* owner_;
    QScrollBar* bar_;
    ScrollState state_;
    bool dragging_ = false;
    int syncedPos_ = 0;
};

} // namespace kx
