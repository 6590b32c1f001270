#include "TransportButtons.h"

#include <QIcon>
#include <QPixmap>

namespace kx {

TButtonParams::TButtonParams(int value)
{
    values_.fill(value);
}

void TButtonParams::SetValue(TPLBtnType button, int value)
{
    values_[button] = value;
    if (OnChange)
        OnChange(this);
}

void TButtonParams::AddToAll(int delta)
{
    for (int& v : values_)
        v += delta;
}

TSpeedButton::TSpeedButton(QWidget* parent) : QToolButton(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    connect(this, &QAbstractButton::toggled, this, &TSpeedButton::buttonDownChanged);
}

void TSpeedButton::SetGroupIndex(int value)
{
    groupIndex_ = value;
    setCheckable(value != 0);
    if (value == 0)
        setChecked(false);
}

void TSpeedButton::SetDown(bool value)
{
    if (groupIndex_ == 0)
        return;
    setChecked(value);
    if (!value || !parentWidget())
        return;
    for (auto* other : parentWidget()->findChildren<TSpeedButton*>(Qt::FindDirectChildrenOnly)) {
        if (other != this && other->groupIndex_ == groupIndex_)
            other->setChecked(false);
    }
}

void TSpeedButton::nextCheckState()
{
    if (groupIndex_ == 0)
        return;
    SetDown(allowAllUp_ ? !isChecked() : true);
}

void TSpeedButton::SetGlyph(const QPixmap& strip, int numGlyphs)
{
    numGlyphs_ = numGlyphs < 1 ? 1 : numGlyphs;
    const int cell = strip.width() / numGlyphs_;
    QIcon icon;
    icon.addPixmap(strip.copy(0, 0, cell, strip.height()), QIcon::Normal, QIcon::Off);
    if (numGlyphs_ >= 2)
        icon.addPixmap(strip.copy(cell, 0, cell, strip.height()), QIcon::Disabled, QIcon::Off);
    if (numGlyphs_ >= 3)
        icon.addPixmap(strip.copy(2 * cell, 0, cell, strip.height()), QIcon::Active, QIcon::On);
    if (numGlyphs_ >= 4)
        icon.addPixmap(strip.copy(3 * cell, 0, cell, strip.height()), QIcon::Normal, QIcon::On);
    setIcon(icon);
    setIconSize(QSize(cell, strip.height()));
}

int LayoutButtons(TButtonLayout& layout, TButtonSet visibleButtons, const std::array<int, kButtonCount>& spacings,
                  int barWidth, bool autoSpace)
{
    auto place = [&] {
        int x = 0;
        for (int i = 0; i < kButtonCount; ++i) {
            if (!layout.exists[i])
                continue;
            layout.lefts[i] = x;
            x += layout.widths[i] + spacings[i];
        }
        return x;
    };
    if (!autoSpace)
        return place();

    int count = 0;
    for (int i = 0; i < kButtonCount; ++i)
        count += layout.exists[i] && layout.shown[i];
    if (count == 0)
        return barWidth;
    int widths = 0, gaps = 0;
    for (int i = 0; i < kButtonCount; ++i) {
        if (visibleButtons.Contains(static_cast<TPLBtnType>(i))) {
            widths += layout.widths[i];
            gaps += spacings[i];
        }
    }
    const int free = barWidth - widths - gaps;
    int delta = free / count;
    if (free < 0)
        delta -= 1;
    for (int& w : layout.widths)
        w += delta;
    const int x = place();
    // The pixels left over widen the gaps before the last buttons by one each.
    int r = barWidth - x;
    for (int i = kButtonCount - 1; i >= 0 && r != 0; --i) {
        if (!layout.exists[i] || !layout.shown[i])
            continue;
        layout.lefts[i] += r;
        r += r > 0 ? -1 : 1;
    }
    return barWidth;
}

} // namespace kx
