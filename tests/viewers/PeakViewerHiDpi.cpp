#include <QCoreApplication>
#include <QEvent>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <cmath>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "PeakTestData.h"
#include "peaks/RmsFile.h"
#include "platform/MemoryStream.h"
#include "viewers/KXAudioPeakViewer.h"
#include "viewers/KXPeakEffectViewer.h"
#include "viewers/TimeAxis.h"

namespace kx {

using namespace PeakTestData;

namespace {

// Before the application object exists, so every window has ratio 2.
const bool scaled = [] { return qputenv("QT_SCALE_FACTOR", "2"); }();

bool Load(TKXCustomPeakViewer& v, const std::vector<uint8_t>& bytes)
{
    TMemoryStream s;
    s.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
    return v.LoadFromStream(&s);
}

QRgb Rgb(TColor c)
{
    return ToQColor(c).rgb();
}

// A viewer whose screen ratio the test chooses, as a move between screens would.
class MovingViewer : public TKXAudioPeakViewer
{
public:
    double ratio = 2.0;

protected:
    double BufferRatio() const override { return ratio; }
};

TEST(PeakViewerHiDpi, drawsAtTheDeviceRatioWithOneDevicePixelLines)
{
    ASSERT_TRUE(scaled);
    TKXAudioPeakViewer v;
    Prepare(v, 400, 200);
    ASSERT_DOUBLE_EQ(v.devicePixelRatioF(), 2.0);
    ASSERT_TRUE(Load(v, Stereo16(8000, 80, 60, Constant(49152, 16384))));
    const QImage& b = v.BufferImage();
    EXPECT_EQ(b.size(), QSize(800, 2 * v.ClientHeight()));
    EXPECT_DOUBLE_EQ(b.devicePixelRatio(), 2.0);
    const QRgb border = Rgb(v.BorderColor()), back = Rgb(v.Color()), peaks = Rgb(v.PeaksColor());
    // The first channel's centre line (logical row 50) is one device row.
    EXPECT_EQ(b.pixel(300, 100), border);
    EXPECT_EQ(b.pixel(300, 99), back);
    EXPECT_EQ(b.pixel(300, 101), back);
    // The two-pixel lines stay two device pixels: channel boundary and frame.
    EXPECT_EQ(b.pixel(300, 199), border);
    EXPECT_EQ(b.pixel(300, 200), border);
    EXPECT_EQ(b.pixel(300, 201), back);
    EXPECT_EQ(b.pixel(1, 150), border);
    EXPECT_EQ(b.pixel(2, 150), back);
    // Logical positions are those of ratio 1: a mark from 3 s starts at column 300.
    ASSERT_TRUE(v.SetMark(3000, 7000));
    EXPECT_EQ(b.pixel(599, 60), back);
    EXPECT_EQ(b.pixel(600, 60), Rgb(v.MarkColor()));
    // The level 49152 lies 75 logical rows above the first band's bottom.
    EXPECT_EQ(b.pixel(500, 2 * (100 - 75)), peaks);
    EXPECT_EQ(v.Model().ColumnAtMs(3000), 300);
}

TEST(PeakViewerHiDpi, thePlayPointerAndEnvelopeLinesAreOneDevicePixel)
{
    TKXAudioPeakViewer v;
    Prepare(v, 400, 200);
    ASSERT_TRUE(Load(v, Stereo16(8000, 80, 60, Constant(32768, 32768))));
    v.SetPlayTime(int64_t(1000) * 10000);
    ASSERT_EQ(v.PointerX(), 100);
    const QImage shown = v.WindowImage();
    const QRgb back = Rgb(v.Color());
    EXPECT_NE(shown.pixel(200, 60), back);
    EXPECT_EQ(shown.pixel(201, 60), back);
    EXPECT_EQ(shown.pixel(199, 60), back);

    TKXPeakEffectViewer e;
    Prepare(e, 400, 200);
    ASSERT_TRUE(Load(e, Stereo16(8000, 80, 4, Constant(40000, 30000))));
    e.SetVisiblePoints({fcA});
    // The default envelope is a flat line at value 0: one device row thick.
    const int y = 2 * e.YAtValue(0, ecBoth);
    const QRgb a = Rgb(e.EffectPoints().ColorA());
    const QImage& b = e.BufferImage();
    EXPECT_EQ(b.pixel(400, y), a);
    EXPECT_NE(b.pixel(400, y - 1), a);
    EXPECT_NE(b.pixel(400, y + 1), a);
}

TEST(PeakViewerHiDpi, theTimeAxisTicksAreOneDevicePixelAndItsLabelsSharp)
{
    TKXAudioPeakViewer v;
    Prepare(v, 400, 200);
    ASSERT_TRUE(Load(v, Stereo16(8000, 80, 60, Constant(49152, 16384))));
    v.SetTimeAxisHeight(40);
    const QImage& b = v.BufferImage();
    const QRgb border = Rgb(v.BorderColor()), back = Rgb(v.Color());
    // Bands over 160 logical rows: the first centre line at logical row 40.
    EXPECT_EQ(b.pixel(600, 80), border);
    EXPECT_EQ(b.pixel(600, 79), back);
    // The line over the strip is two device rows, at logical row 160.
    EXPECT_EQ(b.pixel(610, 320), border);
    EXPECT_EQ(b.pixel(610, 321), border);
    EXPECT_NE(b.pixel(610, 322), border);
    const QFontMetricsF m(v.font(), &b);
    const TimeAxisLayout layout =
        LayoutTimeAxis(TimeAxisViewOf(v.Model()), [&](const QString& s) { return m.horizontalAdvance(s); });
    ASSERT_GE(layout.Major.size(), 2u);
    const int x = int(std::lround(layout.Major[1].X * 2));
    EXPECT_EQ(b.pixel(x, 325), border);
    EXPECT_EQ(b.pixel(x - 1, 325), back);
    EXPECT_EQ(b.pixel(x + 1, 325), back);
    // The label is drawn in the device rows below the tick.
    int ink = 0;
    for (int y = 340; y < 396; ++y)
        for (int dx = 6; dx < 60; ++dx)
            ink += b.pixel(x + dx, y) != back;
    EXPECT_GT(ink, 40);
}

TEST(PeakViewerHiDpi, aMoveToAScreenOfAnotherRatioRedrawsAtThatRatio)
{
    MovingViewer v;
    Prepare(v, 400, 200);
    ASSERT_TRUE(Load(v, Stereo16(8000, 80, 60, Constant(49152, 16384))));
    ASSERT_EQ(v.BufferImage().width(), 800);
    v.ratio = 1.0;
    QEvent moved(QEvent::ScreenChangeInternal);
    QCoreApplication::sendEvent(&v, &moved);
    EXPECT_EQ(v.BufferImage().size(), QSize(400, v.ClientHeight()));
    EXPECT_DOUBLE_EQ(v.BufferImage().devicePixelRatio(), 1.0);
    EXPECT_EQ(v.BufferImage().pixel(300, 50), Rgb(v.BorderColor()));
    v.ratio = 1.5;
    QCoreApplication::sendEvent(&v, &moved);
    EXPECT_EQ(v.BufferImage().width(), 600);
    EXPECT_EQ(v.BufferImage().pixel(300, 75), Rgb(v.BorderColor()));
}

TEST(PeakViewerHiDpi, theRmsBandIsDrawnInDevicePixels)
{
    QTemporaryDir dir;
    const QString pek = dir.filePath("a.pek");
    ASSERT_TRUE(Write(pek, Stereo16(8000, 80, 60, [](int64_t, int) { return std::pair<uint32_t, uint32_t>{57344, 8192}; })));
    RmsData rms;
    rms.samplesPerPeak = 80;
    rms.rate = 8000;
    rms.values.assign(2 * 6000, 12288);
    QString error;
    ASSERT_TRUE(WriteRmsFile(RmsFileFor(pek), rms, OutputRules().Input(pek), error)) << error.toStdString();
    TKXAudioPeakViewer v;
    Prepare(v, 400, 200);
    ASSERT_TRUE(v.LoadFromFile(pek));
    v.SetShowRms(true);
    const QImage& b = v.BufferImage();
    const QRgb peaks = Rgb(v.PeaksColor()), band = v.RmsColor().rgb();
    // 12288 about the centre: logical rows 31.25 to 68.75, device rows 62 to 137.
    EXPECT_EQ(b.pixel(300, 61), peaks);
    EXPECT_EQ(b.pixel(300, 62), band);
    EXPECT_EQ(b.pixel(300, 99), band);
    EXPECT_EQ(b.pixel(300, 101), band);
    EXPECT_EQ(b.pixel(300, 137), band);
    EXPECT_EQ(b.pixel(300, 138), peaks);
}

TEST(PeakViewerHiDpi, regionEdgesPointLinesAndLabelsUseDevicePixels)
{
    TKXAudioPeakViewer v;
    Prepare(v, 400, 200);
    ASSERT_TRUE(Load(v, Stereo16(8000, 80, 60, Constant(49152, 16384))));
    PeakRegion r;
    r.Start = 1.0;
    r.End = 2.0;
    r.Color = Qt::red;
    r.Label = QStringLiteral("      ");  // a box without letters
    v.AddRegion(r);
    PeakPoint p;
    p.Time = 3.0;
    p.Color = Qt::green;
    v.AddTimePoint(p);
    const QImage& b = v.BufferImage();
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0);
    // Logical row 90 is background; record 100 is logical column 100.
    EXPECT_EQ(b.pixel(200, 180), red);
    EXPECT_NE(b.pixel(201, 180), red);
    EXPECT_EQ(b.pixel(399, 180), red);
    EXPECT_NE(b.pixel(398, 180), red);
    EXPECT_EQ(b.pixel(600, 180), green);
    EXPECT_NE(b.pixel(599, 180), green);
    EXPECT_NE(b.pixel(601, 180), green);
    // The label is drawn at the device resolution: twice as many rows.
    int rows = 0;
    for (int y = 0; y < b.height(); ++y)
        rows += b.pixel(210, y) == red;
    EXPECT_GE(rows, 2 * QFontInfo(v.font()).pixelSize());
}

} // namespace
} // namespace kx
