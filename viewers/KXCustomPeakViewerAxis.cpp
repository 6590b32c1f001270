// The peak viewer's time axis strip.
#include "KXCustomPeakViewer.h"

#include "TimeAxis.h"
#include "platform/Exception.h"

namespace kx {

void TKXCustomPeakViewer::SetTimeAxisHeight(int value)
{
    if (value == timeAxisHeight_ || value < 0 || value > MaxTimeAxisHeight)
        return;
    timeAxisHeight_ = value;
    Repaint();
}

void TKXCustomPeakViewer::SetTimeAxisHeightChecked(int value)
{
    if (value < 0 || value > MaxTimeAxisHeight)
        throw Exception(QStringLiteral("TimeAxisHeight must be between 0 and %1").arg(MaxTimeAxisHeight));
    SetTimeAxisHeight(value);
}

void TKXCustomPeakViewer::DrawAxisStrip()
{
    if (timeAxisHeight_ <= 0)
        return;
    TimeAxisStyle style;
    style.Background = ToQColor(color_, palette());
    style.Ticks = ToQColor(borderColor_, palette());
    style.Text = palette().color(QPalette::WindowText);
    style.Font = font();
    DrawTimeAxis(buffer_, BandHeight(), ClientHeight() - BandHeight(), TimeAxisViewOf(model_), style);
}

} // namespace kx
