#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>

#include "WavTestFiles.h"
#include "platform/widgets/MessageBox.h"
#include "wavviewer/WavViewer.h"

namespace kx {
namespace {

using namespace WavTest;

// Before the application object exists, so every window has ratio 2.
const bool scaled = [] { return qputenv("QT_SCALE_FACTOR", "2"); }();

TEST(WavViewerHiDpi, drawsItsBufferAtTheDeviceRatioWithOneDevicePixelLines)
{
    ASSERT_TRUE(scaled);
    ScopedMessageCapture messages;
    QTemporaryDir dir;
    const QString path = dir.filePath("tone.wav");
    {
        const auto bytes = Riff({Fmt(2, 8000, 16), Chunk("data", Noise(8000 * 4 * 2, 5))});
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
    }
    TWavViewer v;
    v.resize(v.InfoWidth() + 400, 200);
    v.show();
    QApplication::processEvents();
    ASSERT_DOUBLE_EQ(v.devicePixelRatioF(), 2.0);
    v.SetFileName(path);
    ASSERT_TRUE(v.BuildPeaks());
    ASSERT_GT(v.PeakData().Size(), 0);
    v.PaintPeaks(false, nullptr);
    const QImage& b = v.BackBuffer();
    EXPECT_EQ(b.size(), QSize(2 * v.ClientWidth(), 2 * v.ClientHeight()));
    EXPECT_DOUBLE_EQ(b.devicePixelRatio(), 2.0);
    // The last lane's bottom line (2 px) and the frame stay two device pixels;
    // the zero line between them one device pixel, at twice its logical row.
    const QRgb border = ToQColor(v.BorderColor()).rgb();
    const int x = 2 * (v.InfoWidth() + 200);
    const int q = static_cast<int>(std::lround(v.LeftPanel()->height() / 4.0));
    const int centre = 2 * (v.InfoHeight() + q);
    EXPECT_EQ(b.pixel(x, centre), border);
    EXPECT_NE(b.pixel(x, centre - 1), border);
    EXPECT_NE(b.pixel(x, centre + 1), border);
}

} // namespace
} // namespace kx
