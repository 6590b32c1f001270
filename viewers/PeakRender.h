#pragma once
#include <QColor>
#include <cstdint>
#include <functional>
#include <vector>

#include "PeakViewModel.h"
#include "platform/Round.h"

class QImage;

namespace kx {

/// What one buffer redraw needs besides the model.
struct PeakRenderStyle {
    QColor Color;          ///< background
    QColor MarkColor;      ///< marked range
    QColor PeaksColor;     ///< peak lines
    QColor BorderColor;    ///< grid and frame
    QColor PositionColor;  ///< cursor position line
    bool PaintCursor = false; ///< draw the cursor position line
    int64_t Position = 0;  ///< ms
    int MarkStart = 0;     ///< ms
    int MarkEnd = 0;       ///< ms
    bool ShowRms = false;  ///< draw the RMS band where the model has RMS levels
    QColor RmsColor;       ///< RMS band inside the peaks
    /// Drawn over the background and marked range, under the peaks: the
    /// image in device pixels and its device pixel ratio.
    std::function<void(QImage& image, double ratio)> Underlay;
};

/// The RMS band's colour when none is set: the peaks' colour halfway to white.
QColor RmsShadeOf(const QColor& peaks);

/// Band geometry of one redraw: each channel owns two half-bands of height q.
struct PeakBands {
    int Channels = 2;  ///< 2 when nothing is loaded
    int Bands = 4;     ///< half-bands: twice the channels
    int q = 0;         ///< height of a half-band, pixels
    float Scale = 1;  ///< value units per pixel
    int CentreY(int ch) const { return 2 * ch * q - q; }  ///< ch is 1-based
};
/// The bands of the model's channels sharing bandHeight pixels.
PeakBands ComputeBands(const PeakViewModel& model, int bandHeight);

/// Logical pixels to device pixels at a device pixel ratio.
struct DeviceScale {
    double Ratio = 1.0;  ///< device pixels per logical pixel
    /// v logical pixels in device pixels, rounded.
    int operator()(int64_t v) const { return static_cast<int>(Round(double(v) * Ratio)); }
};

/// Records [First, Last) that one device column shows.
struct ColumnSpan {
    int64_t First = 0;  ///< first record
    int64_t Last = 0;   ///< record after the last
};
/// The record spans of the device columns of a client `width` columns wide:
/// column x covers its own peak up to the next column's; at a ratio above 1
/// its device columns share those records out.
std::vector<ColumnSpan> ColumnSpans(const PeakViewModel& model, int width, double ratio = 1.0);

/// Draws background, marked range, peaks, RMS band, grid, cursor line and frame into a
/// back buffer for a client `width` logical pixels wide, at the image's device
/// pixel ratio. bandHeight is the drawing height the bands share.
void RenderPeaks(QImage& image, const PeakViewModel& model, const PeakRenderStyle& style, int width, int bandHeight);

} // namespace kx
