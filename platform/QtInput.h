#pragma once
#include <Qt>
#include <cstdint>

#include "Events.h"

namespace kx {

/// Virtual-key codes the components' key handlers speak of.
enum VirtualKey : uint16_t {
    VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11,
    VK_ESCAPE = 0x1B, VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23,
    VK_HOME = 0x24, VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28,
    VK_INSERT = 0x2D, VK_DELETE = 0x2E,
};

/// The virtual-key code of a Qt key (letters and digits map to their ASCII
/// upper-case code, unknown keys to 0).
uint16_t VirtualKeyFromQt(int qtKey);
/// The modifiers and buttons held, as the components' events carry them.
TShiftState ShiftStateFromQt(Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons = Qt::NoButton);
/// The button of a press or release; buttons beyond the three count as the left one.
TMouseButton MouseButtonFromQt(Qt::MouseButton button);

} // namespace kx
