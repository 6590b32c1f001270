#pragma once
#include <cstdint>
#include <functional>

#include "EnumSet.h"

class QObject;
class QPainter;

namespace kx {

/// The canvas handed to paint handlers is a painter on the component's back buffer.
using TCanvas = QPainter;

enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TShiftStateItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = EnumSet<TShiftStateItem>;

using TNotifyEvent = std::function<void(QObject* Sender)>;
using TMouseEvent = std::function<void(QObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(QObject* Sender, TShiftState Shift, int X, int Y)>;
using TKeyEvent = std::function<void(QObject* Sender, uint16_t& Key, TShiftState Shift)>;
/// Shared by the peak viewers and the wave viewer.
using TPaintProc = std::function<void(QObject* Sender, TCanvas& Canvas)>;
using TScrollProc = std::function<void(QObject* Sender, int ScrollCode, int& ScrollPos)>;

/// Calls an event handler only when one is assigned.
template <typename F, typename... A>
void Fire(const F& handler, A&&... args)
{
    if (handler)
        handler(std::forward<A>(args)...);
}

} // namespace kx
