#pragma once
// The picture of waveform columns as web waveform tools draw it: the
// background, the waveform (lines from minimum to maximum in each column,
// or bars), then a border with time ticks and labels. Laid out once as
// shapes that both the PNG painter and the SVG writer draw, so that the two
// have the same geometry.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

#include "WaveformJob.h"

namespace kx {

struct PictureShape {
    enum Kind { Rect, RoundedRect, Text } kind = Rect;
    // Pixels: a rectangle covers [x, x + w) by [y, y + h). Text: baseline
    // start at (x, y).
    int x = 0, y = 0, w = 0, h = 0;
    Rgba color = 0;
    QString text;
};

struct PictureLayout {
    int width = 0, height = 0;
    Rgba background = 0;
    // Pixel height of label text.
    int fontPixels = 10;
    std::vector<PictureShape> shapes;
};

// The columns to draw: for each column, minimum and maximum per channel,
// 16-bit values; column 0 is the first pixel of the span.
struct PictureColumns {
    int channels = 1;
    std::vector<int16_t> values;
    // Seconds at the start of column 0, and seconds a column covers.
    double startSeconds = 0;
    double secondsPerColumn = 0;
    size_t Count() const { return values.size() / size_t(2 * channels); }
};

// Columns of the waveform area: the width less the border when it is drawn.
int PictureColumnCount(const WaveformJob& job);
// Lays out the picture; the job's amplitude scale applies (0: the loudest
// value in view fills the height).
PictureLayout LayOutPicture(const WaveformJob& job, const PictureColumns& columns);
// "0:05", "1:00:00": the label of a time in whole seconds.
QString TimeLabel(int64_t seconds);
// Seconds between labelled ticks: the shortest of the usual steps that
// leaves labels at least minPixels apart.
int64_t LabelStep(double secondsPerColumn, int minPixels);
// The layout as an SVG document.
QByteArray PictureSvg(const PictureLayout& layout);

} // namespace kx
