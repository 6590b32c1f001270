#include <QImage>
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

} // namespace

} // namespace kx
