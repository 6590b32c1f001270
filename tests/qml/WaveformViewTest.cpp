#include <QColor>
#include <QGuiApplication>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVariant>
#include <gtest/gtest.h>

#include "PeakTestData.h"
#include "QuickTestSupport.h"
#include "peaks/RmsFile.h"
#include "platform/MemoryStream.h"
#include "viewers/KXAudioPeakViewer.h"

namespace kx {

using namespace PeakTestData;

namespace {

constexpr int W = 400, H = 150;
constexpr uint32_t Loud = 60000, Low = 5000, Mid = 32768;
// 100 records a second for 10 s: loud for the first 2 s, silent after.
constexpr int LoudRecords = 200;

std::vector<uint8_t> TestPeaks()
{
    return Stereo16(8000, 80, 10.0, [](int64_t peak, int) {
        return peak < LoudRecords ? std::pair<uint32_t, uint32_t>{Loud, Low} : std::pair<uint32_t, uint32_t>{Mid, Mid};
    });
}

class WaveformViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        pek = dir.filePath(QStringLiteral("peaks.pek"));
        ASSERT_TRUE(Write(pek, TestPeaks()));
    }

    // A view of the test peaks with the given extra QML properties.
    QObject* Show(const QByteArray& properties = {})
    {
        QObject* view = harness.Load("import QtQuick\nimport KXAudio\nWaveformView { source: \"" + pek.toUtf8() + "\"\n" +
                                     properties + "\n}\n", W, H);
        return view;
    }
    // Rows of column x (device pixels) in the colour.
    static int RowsOf(const QImage& image, int x, QColor colour)
    {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            n += image.pixelColor(x, y).rgb() == colour.rgb();
        return n;
    }

    QTemporaryDir dir;
    QString pek;
    QuickHarness harness;
};

TEST_F(WaveformViewTest, drawsThePictureOfTheWidgetViewersFromTheSamePeakFile)
{
    QObject* view = Show("peakReduction: 1");
    ASSERT_TRUE(view);
    EXPECT_EQ(view->property("durationMs").toInt(), 10000);
    TKXAudioPeakViewer widget;
    Prepare(widget, W, H);
    ASSERT_TRUE(widget.LoadFromFile(pek));
    widget.SetPeakReduction(prMinMax);
    for (float scaler : {1.0f, 3.5f}) {
        view->setProperty("timeScaler", scaler);
        widget.SetTimeScaler(scaler);
        const QImage quick = harness.Grab().convertToFormat(QImage::Format_RGB32);
        const QImage painted = widget.BufferImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(quick.size(), painted.size());
        EXPECT_TRUE(quick == painted) << "at time scaler " << scaler;
    }
}

TEST_F(WaveformViewTest, drawsTheWidgetViewersTimeAxisAndRefusesNegativeHeights)
{
    QObject* view = Show("timeAxisHeight: 30");
    ASSERT_TRUE(view);
    EXPECT_EQ(view->property("timeAxisHeight").toInt(), 30);
    TKXAudioPeakViewer widget;
    // The quick view labels in the application's font.
    widget.setFont(QGuiApplication::font());
    Prepare(widget, W, H);
    ASSERT_TRUE(widget.LoadFromFile(pek));
    widget.SetTimeAxisHeight(30);
    const QImage painted = widget.BufferImage().convertToFormat(QImage::Format_RGB32);
    const QImage quick = harness.Grab().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(quick.size(), painted.size());
    EXPECT_TRUE(quick == painted);
    widget.SetTimeAxisHeight(0);
    EXPECT_FALSE(quick == widget.BufferImage().convertToFormat(QImage::Format_RGB32));

    QSignalSpy errors(view, SIGNAL(error(QString)));
    view->setProperty("timeAxisHeight", -1);
    EXPECT_EQ(errors.count(), 1);
    EXPECT_EQ(view->property("timeAxisHeight").toInt(), 30);
}

TEST_F(WaveformViewTest, drawsTheRmsBandOfTheWidgetViewers)
{
    RmsData rms;
    rms.samplesPerPeak = 80;
    rms.rate = 8000;
    for (int r = 0; r < 1000; ++r)
        rms.values.insert(rms.values.end(), 2, static_cast<uint16_t>(r < LoudRecords ? 9000 : 0));
    QString error;
    ASSERT_TRUE(WriteRmsFile(RmsFileFor(pek), rms, OutputRules().Input(pek), error)) << error.toStdString();
    QObject* view = Show("showRms: true\nrmsColor: \"#ff8000\"");
    ASSERT_TRUE(view);
    TKXAudioPeakViewer widget;
    Prepare(widget, W, H);
    ASSERT_TRUE(widget.LoadFromFile(pek));
    widget.SetShowRms(true);
    widget.SetRmsColor(QColor(0xff, 0x80, 0));
    const QImage quick = harness.Grab().convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(quick == widget.BufferImage().convertToFormat(QImage::Format_RGB32));
    EXPECT_GT(RowsOf(quick, 100, QColor(0xff, 0x80, 0)), 10);
    view->setProperty("showRms", false);
    EXPECT_EQ(RowsOf(harness.Grab(), 100, QColor(0xff, 0x80, 0)), 0);
}

TEST_F(WaveformViewTest, peaksAreDrawnWhereTheDataSaysAtEveryZoom)
{
    QObject* view = Show("peaksColor: \"#ff0000\"");
    ASSERT_TRUE(view);
    const QColor red(255, 0, 0);
    QImage image = harness.Grab();
    // Loud columns fill most of both bands, silent ones only their centre row.
    EXPECT_GT(RowsOf(image, 100, red), H / 2);
    EXPECT_GT(RowsOf(image, LoudRecords - 2, red), H / 2);
    EXPECT_LE(RowsOf(image, LoudRecords + 2, red), 4);
    EXPECT_LE(RowsOf(image, 350, red), 4);

    // Two records a column: the loud part ends at half the column.
    QSignalSpy zoom(view, SIGNAL(timeScalerChanged(float)));
    view->setProperty("timeScaler", 2.0f);
    EXPECT_EQ(zoom.count(), 1);
    image = harness.Grab();
    EXPECT_GT(RowsOf(image, LoudRecords / 2 - 2, red), H / 2);
    EXPECT_LE(RowsOf(image, LoudRecords / 2 + 2, red), 4);

    // Scrolled by 50 records: the loud part ends 25 columns earlier.
    QSignalSpy scrolled(view, SIGNAL(scrollPositionChanged(int)));
    view->setProperty("scrollPosition", 50);
    EXPECT_EQ(scrolled.count(), 1);
    EXPECT_EQ(view->property("scrollPosition").toInt(), 50);
    image = harness.Grab();
    EXPECT_GT(RowsOf(image, 75 - 2, red), H / 2);
    EXPECT_LE(RowsOf(image, 75 + 2, red), 4);
}

TEST_F(WaveformViewTest, playPointerMarkAndCursorLandOnTheirColumns)
{
    QObject* view = Show("pointerColor: \"#ff00ff\"; markColor: \"#00ffff\"; color: \"#ffffff\"; "
                         "paintCursor: true; positionColor: \"#00ff00\"");
    ASSERT_TRUE(view);
    // 3 s is record 300: column 300 at scaler 1.
    QSignalSpy moved(view, SIGNAL(playTimeChanged(qint64)));
    view->setProperty("playTime", QVariant::fromValue<qint64>(3 * 10000000LL));
    EXPECT_EQ(moved.count(), 1);
    EXPECT_EQ(view->property("pointerX").toInt(), 300);
    // Silent half: [2.5 s, 3.2 s) marked, the cursor at 3.7 s.
    QSignalSpy marked(view, SIGNAL(markChanged()));
    bool ok = false;
    QMetaObject::invokeMethod(view, "setMark", Q_RETURN_ARG(bool, ok), Q_ARG(int, 2500), Q_ARG(int, 3200));
    EXPECT_TRUE(ok);
    EXPECT_EQ(marked.count(), 1);
    view->setProperty("cursorPosition", QVariant::fromValue<qint64>(3700));

    const QImage image = harness.Grab();
    const int row = H / 8;  // inside the first band, away from lines and peaks
    EXPECT_EQ(image.pixelColor(300, row).rgb(), QColor(255, 0, 255).rgb());
    EXPECT_EQ(RowsOf(image, 300, QColor(255, 0, 255)), H - 4);
    EXPECT_NE(image.pixelColor(299, row).rgb(), QColor(255, 0, 255).rgb());
    EXPECT_NE(image.pixelColor(301, row).rgb(), QColor(255, 0, 255).rgb());
    EXPECT_EQ(image.pixelColor(251, row).rgb(), QColor(0, 255, 255).rgb());
    EXPECT_EQ(image.pixelColor(318, row).rgb(), QColor(0, 255, 255).rgb());
    EXPECT_EQ(image.pixelColor(248, row).rgb(), QColor(255, 255, 255).rgb());
    EXPECT_EQ(image.pixelColor(322, row).rgb(), QColor(255, 255, 255).rgb());
    EXPECT_EQ(image.pixelColor(370, row).rgb(), QColor(0, 255, 0).rgb());
    EXPECT_EQ(image.pixelColor(365, row).rgb(), QColor(255, 255, 255).rgb());

    // A click places the cursor as the widgets' click does: at scaler 1 the
    // scroll-bar rule, 150 of 1000 columns' worth of a 10 s file.
    QSignalSpy cursor(view, SIGNAL(cursorPositionChanged(qint64)));
    QTest::mouseClick(&harness.View(), Qt::LeftButton, {}, QPoint(150, 40));
    ASSERT_EQ(cursor.count(), 1);
    EXPECT_EQ(view->property("cursorPosition").toLongLong(), 1500);

    // A refused mark changes nothing.
    QMetaObject::invokeMethod(view, "setMark", Q_RETURN_ARG(bool, ok), Q_ARG(int, 3000), Q_ARG(int, 2000));
    EXPECT_FALSE(ok);
    EXPECT_EQ(view->property("markStart").toInt(), 2500);
}

TEST_F(WaveformViewTest, playTimePagesTheViewNearTheRightEdge)
{
    QObject* view = Show();
    ASSERT_TRUE(view);
    QSignalSpy scrolled(view, SIGNAL(scrollPositionChanged(int)));
    view->setProperty("playTime", QVariant::fromValue<qint64>(41 * 1000000LL));  // 4.1 s: past the width
    ASSERT_EQ(scrolled.count(), 1);
    EXPECT_GT(view->property("scrollPosition").toInt(), 10);
    const int x = view->property("pointerX").toInt();
    EXPECT_GT(x, 0);
    EXPECT_LT(x, W);
    // Without autoMove the pointer leaves the view instead.
    view->setProperty("scrollPosition", 0);
    view->setProperty("autoMove", false);
    view->setProperty("playTime", QVariant::fromValue<qint64>(45 * 1000000LL));
    EXPECT_EQ(view->property("scrollPosition").toInt(), 0);
    EXPECT_EQ(view->property("pointerX").toInt(), 0);
}

TEST_F(WaveformViewTest, refusedWritesKeepTheValueAndReportError)
{
    QObject* view = Show();
    ASSERT_TRUE(view);
    QSignalSpy errors(view, SIGNAL(error(QString)));
    view->setProperty("timeScaler", 0.01f);
    EXPECT_FLOAT_EQ(view->property("timeScaler").toFloat(), 1.0f);
    view->setProperty("playStepPercent", 50);
    EXPECT_EQ(view->property("playStepPercent").toInt(), 0);
    view->setProperty("peakReduction", 2);
    EXPECT_EQ(view->property("peakReduction").toInt(), 0);
    view->setProperty("builder", QVariant::fromValue<QObject*>(view));
    EXPECT_EQ(view->property("builder").value<QObject*>(), nullptr);
    ASSERT_EQ(errors.count(), 4);
    EXPECT_TRUE(errors.at(0).at(0).toString().contains(QStringLiteral("TimeScaler")));

    // A file that is no peak file: reported, the picture stays.
    const QString bad = dir.filePath(QStringLiteral("bad.pek"));
    ASSERT_TRUE(Write(bad, {1, 2, 3}));
    view->setProperty("source", bad);
    EXPECT_EQ(errors.count(), 5);
    EXPECT_TRUE(view->property("source").toString().isEmpty());
    EXPECT_EQ(view->property("durationMs").toInt(), 10000);
    // A file URL names the same file as its path.
    QSignalSpy loaded(view, SIGNAL(peaksChanged()));
    view->setProperty("source", QUrl::fromLocalFile(pek).toString());
    EXPECT_EQ(loaded.count(), 1);
    EXPECT_EQ(errors.count(), 5);
}

} // namespace

} // namespace kx
