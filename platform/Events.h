#pragma once
#include <cstdint>
#include <functional>

#include "EnumSet.h"

class QObject;
class QPainter;

namespace kx {

/// The canvas handed to paint handlers is a painter on the component's back buffer.
using TCanvas = QPainter;

/// The mouse button of a press or release.
enum TMouseButton { mbLeft, mbRight, mbMiddle };
/// Modifier keys and mouse buttons held during an input event; ssDouble marks a double click.
enum TShiftStateItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
/// The modifiers and buttons held during an input event.
using TShiftState = EnumSet<TShiftStateItem>;

/// A plain notification: Sender is the component that raised it.
using TNotifyEvent = std::function<void(QObject* Sender)>;
/// A mouse press or release at (X, Y) in the component's pixels.
using TMouseEvent = std::function<void(QObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
/// A mouse move to (X, Y) in the component's pixels.
using TMouseMoveEvent = std::function<void(QObject* Sender, TShiftState Shift, int X, int Y)>;
/// A key pressed or released, as a virtual-key code (see VirtualKey).
using TKeyEvent = std::function<void(QObject* Sender, uint16_t& Key, TShiftState Shift)>;
/// Painting over the component's back buffer. Shared by the peak viewers and the wave viewer.
using TPaintProc = std::function<void(QObject* Sender, TCanvas& Canvas)>;
/// A scroll-bar request (a ScrollCode); the handler may change the new position.
using TScrollProc = std::function<void(QObject* Sender, int ScrollCode, int& ScrollPos)>;

/// Calls an event handler only when one is assigned.
template <typename F, typename... A>
void Fire(const F& handler, A&&... args)
{
    if (handler)
        handler(std::forward<A>(args)...);
}

} // namespace kx
