#include "SpectrogramPicture.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace kx {

namespace {

// Anchors of the map at even steps, linearly joined.
constexpr QRgb Anchors[] = {0x440154, 0x472d7b, 0x3b528b, 0x2c728e, 0x21918c,
                            0x28ae80, 0x5ec962, 0xaddc30, 0xfde725};

std::array<QRgb, 256> MakeColors()
{
    std::array<QRgb, 256> table{};
    constexpr int steps = int(std::size(Anchors)) - 1;
    for (int v = 0; v < 256; ++v) {
        const double at = v / 255.0 * steps;
        const int i = std::min(int(at), steps - 1);
        const double t = at - i;
        const auto mix = [&](int shift) {
            const double a = (Anchors[i] >> shift) & 0xff, b = (Anchors[i + 1] >> shift) & 0xff;
            return int(std::lround(a + (b - a) * t));
        };
        table[size_t(v)] = qRgb(mix(16), mix(8), mix(0));
    }
    return table;
}

// The band each row shows, top row first.
std::vector<int> RowBands(const SpectrogramData& d, int height, FrequencyAxis axis)
{
    std::vector<int> bands(size_t(std::max(0, height)));
    for (int y = 0; y < height; ++y) {
        const double up = (height - 1 - y + 0.5) / height;  // 0 at the bottom edge, 1 at the top
        bands[size_t(y)] = axis == FrequencyAxis::Logarithmic
                               ? std::clamp(int(up * d.bands), 0, d.bands - 1)
                               : d.BandAtHz(up * d.rate / 2.0);
    }
    return bands;
}

} // namespace

const std::array<QRgb, 256>& SpectrogramColors()
{
    static const std::array<QRgb, 256> colors = MakeColors();
    return colors;
}

void PaintSpectrogram(QImage& image, const SpectrogramPyramid& pyramid, const SpectrogramView& view,
                      const SpectrogramData* fine, QRgb background)
{
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32_Premultiplied &&
        image.format() != QImage::Format_ARGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
    const int width = image.width(), height = image.height();
    const SpectrogramData& base = pyramid.Base();
    if (pyramid.Levels() == 0 || width <= 0 || height <= 0 || !(view.framesPerPixel > 0)) {
        image.fill(background);
        return;
    }
    // The level whose columns are as wide as a pixel or narrower.
    const double perPixel = view.framesPerPixel / base.hop;
    const int level =
        perPixel >= 2 ? int(std::min(std::floor(std::log2(perPixel)), double(pyramid.Levels() - 1))) : 0;
    const std::span<const uint8_t> values = pyramid.Level(level);
    const double levelFrames = double(base.hop) * std::ldexp(1.0, level);
    const uint64_t columns = pyramid.Columns(level);
    const bool useFine = fine && fine->bands == base.bands && fine->hop < base.hop && perPixel < 1 &&
                         fine->rate == base.rate;
    const uint64_t fineColumns = useFine ? fine->Columns() : 0;

    std::vector<const uint8_t*> source(size_t(width), nullptr);
    for (int x = 0; x < width; ++x) {
        // The frame at the pixel's centre.
        const double frame = view.firstFrame + (x + 0.5) * view.framesPerPixel;
        if (!(frame >= 0) || !(frame < double(base.frames)))
            continue;
        if (useFine && frame >= double(fine->firstFrame) && frame < double(fine->firstFrame + fine->frames)) {
            const auto c = uint64_t((frame - double(fine->firstFrame)) / fine->hop);
            if (c < fineColumns) {
                source[size_t(x)] = fine->values.data() + c * fine->bands;
                continue;
            }
        }
        const auto c = uint64_t(frame / levelFrames);
        if (c < columns)
            source[size_t(x)] = values.data() + c * base.bands;
    }
    const std::vector<int> bands = RowBands(base, height, view.axis);
    const std::array<QRgb, 256>& colors = SpectrogramColors();
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        const int band = bands[size_t(y)];
        for (int x = 0; x < width; ++x)
            row[x] = source[size_t(x)] ? colors[source[size_t(x)][band]] : background;
    }
}

} // namespace kx
