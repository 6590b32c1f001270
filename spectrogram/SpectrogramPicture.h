#pragma once
#include <QImage>
#include <QRgb>
#include <array>

#include "Spectrogram.h"
#include "SpectrogramPyramid.h"

namespace kx {

/// How rows map to frequencies.
enum class FrequencyAxis {
    Linear,       ///< 0 Hz at the bottom to Nyquist at the top, evenly
    Logarithmic,  ///< the bands evenly, lowest band at the bottom
};

/// The colour of each stored value: a perceptual map (dark violet at the
/// floor through blue and green to yellow at 0 dBFS), lightness rising steadily.
const std::array<QRgb, 256>& SpectrogramColors();

/// What part of a spectrogram a picture shows.
struct SpectrogramView {
    double firstFrame = 0;                      ///< frame at the left edge
    double framesPerPixel = SpectrogramHop;     ///< frames per picture column
    FrequencyAxis axis = FrequencyAxis::Logarithmic;  ///< row to frequency
};

/// Fills the whole image (any format; drawn as RGB32) with the view: each
/// column from the coarsest pyramid level no coarser than a pixel, or from
/// fine where it covers the column and the view is zoomed in past level 0.
/// Columns past the end show background.
void PaintSpectrogram(QImage& image, const SpectrogramPyramid& pyramid, const SpectrogramView& view,
                      const SpectrogramData* fine = nullptr, QRgb background = qRgb(0, 0, 0));

} // namespace kx
