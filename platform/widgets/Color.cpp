#include "Color.h"

#include <QApplication>
#include <QColor>
#include <QPalette>

namespace kx {

namespace {

QPalette::ColorRole RoleOfSystemColor(int index)
{
    switch (index) {
    case 1: case 12: return QPalette::Window;
    case 2: case 13: return QPalette::Highlight;
    case 9: case 14: return QPalette::HighlightedText;
    case 5: return QPalette::Base;
    case 4: case 15: return QPalette::Button;
    case 7: case 8: return QPalette::WindowText;
    case 6: case 21: return QPalette::Shadow;
    case 16: return QPalette::Dark;
    case 17: return QPalette::PlaceholderText;
    case 18: return QPalette::ButtonText;
    case 20: return QPalette::Light;
    case 22: return QPalette::Midlight;
    case 23: return QPalette::ToolTipText;
    case 24: return QPalette::ToolTipBase;
    default: return QPalette::Button;
    }
}

} // namespace

QColor ToQColor(TColor color, const QPalette& palette)
{
    const auto value = static_cast<uint32_t>(color);
    if (value & 0xFF000000u) {
        const int index = static_cast<int>(value & 0xFFu);
        if (index == 17)
            return palette.color(QPalette::Disabled, QPalette::Text);
        return palette.color(QPalette::Active, RoleOfSystemColor(index));
    }
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

QColor ToQColor(TColor color)
{
    return ToQColor(color, QApplication::palette());
}

TColor FromQColor(const QColor& color)
{
    return static_cast<TColor>(static_cast<uint32_t>(color.red()) |
                               (static_cast<uint32_t>(color.green()) << 8) |
                               (static_cast<uint32_t>(color.blue()) << 16));
}

} // namespace kx
