#include <QGuiApplication>
#include <QImage>
#include <QQmlContext>
#include <QQmlExpression>
#include <QTemporaryDir>
#include <QVariant>
#include <gtest/gtest.h>

#include "PeakTestData.h"
#include "QuickTestSupport.h"
#include "viewers/KXAudioPeakViewer.h"

namespace kx {

using namespace PeakTestData;

namespace {

// Before the application object exists, so every window has ratio 2.
const bool scaled = [] { return qputenv("QT_SCALE_FACTOR", "2"); }();

TEST(WaveformViewHiDpi, drawsInDevicePixelsWithAOneDevicePixelPointer)
{
    ASSERT_TRUE(scaled);
    QTemporaryDir dir;
    const QString pek = dir.filePath(QStringLiteral("peaks.pek"));
    // A ramp, so that neighbouring device columns differ.
    ASSERT_TRUE(Write(pek, Stereo16(8000, 80, 10.0, [](int64_t peak, int ch) {
        const auto v = static_cast<uint32_t>(32768 + (peak * 97 + ch * 1000) % 30000);
        return std::pair<uint32_t, uint32_t>{v, 65535 - v};
    })));
    QuickHarness harness;
    QObject* view = harness.Load("import QtQuick\nimport KXAudio\nWaveformView { peakReduction: 1; timeScaler: 0.5; "
                                 "pointerColor: \"#ff00ff\"; source: \"" + pek.toUtf8() + "\" }", 300, 120);
    ASSERT_TRUE(view);
    TKXAudioPeakViewer widget;
    Prepare(widget, 300, 120);
    ASSERT_EQ(widget.BufferImage().devicePixelRatio(), 2.0);
    ASSERT_TRUE(widget.LoadFromFile(pek));
    widget.SetPeakReduction(prMinMax);
    widget.SetTimeScaler(0.5f);

    QImage quick = harness.Grab().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(quick.size(), QSize(600, 240));
    QImage painted = widget.BufferImage().convertToFormat(QImage::Format_RGB32);
    quick.setDevicePixelRatio(1);
    painted.setDevicePixelRatio(1);
    EXPECT_TRUE(quick == painted);

    // 1 s is record 100: the first column that covers it, at two columns a
    // record (199, where Round(99.5) is 100), is device column 398.
    view->setProperty("playTime", QVariant::fromValue<qint64>(10000000));
    ASSERT_EQ(view->property("pointerX").toInt(), 199);
    const QImage withPointer = harness.Grab();
    const QRgb magenta = qRgb(255, 0, 255);
    EXPECT_EQ(withPointer.pixel(398, 60), magenta);
    EXPECT_NE(withPointer.pixel(397, 60), magenta);
    EXPECT_NE(withPointer.pixel(399, 60), magenta);
}

TEST(WaveformViewHiDpi, drawsRegionsInDevicePixelsAsTheWidgetViewerDoes)
{
    ASSERT_TRUE(scaled);
    QTemporaryDir dir;
    const QString pek = dir.filePath(QStringLiteral("peaks.pek"));
    ASSERT_TRUE(Write(pek, Stereo16(8000, 80, 10.0, Constant(49152, 16384))));
    QuickHarness harness;
    QObject* view = harness.Load("import QtQuick\nimport KXAudio\nWaveformView { timeScaler: 0.5; timeAxisHeight: 20; "
                                 "source: \"" + pek.toUtf8() + "\" }", 300, 120);
    ASSERT_TRUE(view);
    QQmlExpression calls(qmlContext(view), view,
                         "addRegion(0.5, 0.75, 'red', 'Verse'); addTimePoint(1.0, 'lime', 'Cue')");
    calls.evaluate();
    ASSERT_FALSE(calls.hasError()) << calls.error().toString().toStdString();
    TKXAudioPeakViewer widget;
    widget.setFont(QGuiApplication::font());
    Prepare(widget, 300, 120);
    ASSERT_TRUE(widget.LoadFromFile(pek));
    widget.SetTimeScaler(0.5f);
    widget.SetTimeAxisHeight(20);
    PeakRegion r;
    r.Start = 0.5;
    r.End = 0.75;
    r.Color = Qt::red;
    r.Label = QStringLiteral("Verse");
    widget.AddRegion(r);
    PeakPoint p;
    p.Time = 1.0;
    p.Color = Qt::green;
    p.Label = QStringLiteral("Cue");
    widget.AddTimePoint(p);

    QImage quick = harness.Grab().convertToFormat(QImage::Format_RGB32);
    QImage painted = widget.BufferImage().convertToFormat(QImage::Format_RGB32);
    quick.setDevicePixelRatio(1);
    painted.setDevicePixelRatio(1);
    EXPECT_TRUE(quick == painted);
    // At two columns a record, record 50 is first covered by column 99
    // (Round(49.5) is 50), device column 198; the point's line at record 100
    // (column 199) is one device pixel wide.
    const int row = 88;  // background between the bands
    EXPECT_EQ(quick.pixel(198, row), qRgb(255, 0, 0));
    EXPECT_NE(quick.pixel(197, row), qRgb(255, 0, 0));
    EXPECT_NE(quick.pixel(199, row), qRgb(255, 0, 0));
    EXPECT_EQ(quick.pixel(398, row), qRgb(0, 255, 0));
    EXPECT_NE(quick.pixel(397, row), qRgb(0, 255, 0));
    EXPECT_NE(quick.pixel(399, row), qRgb(0, 255, 0));
}

} // namespace

} // namespace kx
