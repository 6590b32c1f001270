#pragma once
#include <QColor>
#include <cstdint>

#include "PeakViewModel.h"

class QPainter;

namespace kx {

// What one buffer redraw needs besides the model.
struct PeakRenderStyle {
    QColor Color;          // background
    QColor MarkColor;      // marked range
    QColor PeaksColor;     // peak lines
    QColor BorderColor;    // grid and frame
    QColor PositionColor;  // cursor position line
    bool PaintCursor = false;
    int64_t Position = 0;  // ms
    int MarkStart = 0;     // ms
    int MarkEnd = 0;       // ms
};

// Band geometry of one redraw: each channel owns two half-bands of height q.
struct PeakBands {
    int Channels = 2;  // 2 when nothing is loaded
    int Bands = 4;
    int q = 0;
    float Scale = 1;  // value units per pixel
    int CentreY(int ch) const { return 2 * ch * q - q; }  // ch is 1-based
};
PeakBands ComputeBands(const PeakViewModel& model, int bandHeight);

// Draws background, marked range, peaks, grid, cursor line and frame into a
// client-sized surface. bandHeight is the drawing height the bands share.
void RenderPeaks(QPainter& painter, const PeakViewModel& model, const PeakRenderStyle& style, int width,
                 int height, int bandHeight);

} // namespace kx
