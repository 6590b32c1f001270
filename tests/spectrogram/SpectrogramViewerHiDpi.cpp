// The spectrogram viewer on a screen of device pixel ratio 2: the picture is
// drawn at device resolution, pixel for pixel what the drawing gives at that
// size, with the play line one logical column (two device columns) wide.
#include <QImage>
#include <gtest/gtest.h>

#include "spectrogram/KXSpectrogramViewer.h"

namespace kx {

namespace {

// Before the application object exists, so every window has ratio 2.
const bool scaled = [] { return qputenv("QT_SCALE_FACTOR", "2"); }();

TEST(SpectrogramViewerHiDpi, drawsAtTheDevicePixelRatio)
{
    ASSERT_TRUE(scaled);
    // 10 s at 44.1 kHz; every column and band differs from its neighbours.
    SpectrogramData d;
    d.rate = 44100;
    d.frames = 441000;
    const uint64_t columns = (d.frames + d.hop - 1) / d.hop;
    d.values.resize(size_t(columns) * d.bands);
    for (uint64_t c = 0; c < columns; ++c)
        for (int b = 0; b < d.bands; ++b)
            d.values[size_t(c) * d.bands + size_t(b)] = uint8_t(c * 7 + uint64_t(b) * 3);
    TKXSpectrogramViewer viewer;
    viewer.resize(200, 128);
    viewer.SetSpectrogram(d);
    viewer.SetSecondsPerPixel(0.01);
    viewer.SetStartSeconds(1);
    viewer.SetPointerColor(Qt::red);
    viewer.SetPlayTime(15'000'000);  // 1.5 s: logical column 50
    const QImage shown = viewer.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(shown.size(), QSize(400, 256));

    QImage direct(400, 256, QImage::Format_RGB32);
    SpectrogramView view;
    view.firstFrame = 44100;
    view.framesPerPixel = 0.005 * 44100;
    PaintSpectrogram(direct, SpectrogramPyramid(d), view);
    int differing = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 400; ++x)
            if (x != 100 && x != 101 && shown.pixel(x, y) != direct.pixel(x, y))
                ++differing;
    EXPECT_EQ(differing, 0);
    for (int x : {100, 101})
        EXPECT_EQ(shown.pixel(x, 40), qRgb(255, 0, 0));
    for (int x : {99, 102})
        EXPECT_NE(shown.pixel(x, 40), qRgb(255, 0, 0));
}

} // namespace

} // namespace kx
