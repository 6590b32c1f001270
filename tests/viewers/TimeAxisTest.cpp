#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QSignalSpy>
#include <cmath>
#include <limits>
#include <gtest/gtest.h>

#include "PeakTestData.h"
#include "platform/MemoryStream.h"
#include "viewers/KXAudioPeakViewer.h"
#include "viewers/PeakRender.h"
#include "viewers/TimeAxis.h"

namespace kx {

using namespace PeakTestData;

namespace {

// Seven pixels a character, as a fixed-pitch face would measure.
double FixedPitch(const QString& s)
{
    return 7.0 * double(s.size());
}

// The labels the step just below `step` would show over the view.
double WidestLabelOfStep(const TimeAxisView& view, int64_t step, const TimeAxisMeasure& measure, bool hours)
{
    const double msPerPixel = view.SecondsPerPixel * 1000;
    double widest = 0;
    for (int64_t t = int64_t(std::ceil(view.StartSeconds * 1000 / double(step))) * step;
         (double(t) - view.StartSeconds * 1000) / msPerPixel < view.Width; t += step)
        widest = std::max(widest, measure(TimeAxisLabel(t, step, hours)));
    return widest;
}

// Checks the layout of one view: ticks on the step's multiples where their
// times lie, labels apart and inside, the step the smallest that fits.
void CheckLayout(const TimeAxisView& view, const TimeAxisMeasure& measure)
{
    SCOPED_TRACE(testing::Message() << "width " << view.Width << " s/px " << view.SecondsPerPixel << " start "
                                    << view.StartSeconds << " duration " << view.DurationSeconds);
    const TimeAxisLayout layout = LayoutTimeAxis(view, measure);
    ASSERT_GT(layout.StepMs, 0);
    const double msPerPixel = view.SecondsPerPixel * 1000;
    const double spacing = double(layout.StepMs) / msPerPixel;
    const bool hours = view.DurationSeconds >= 3600 || view.StartSeconds + view.Width * view.SecondsPerPixel >= 3600;
    double right = -1e9, widest = 0;
    for (size_t i = 0; i < layout.Major.size(); ++i) {
        const TimeAxisTick& t = layout.Major[i];
        EXPECT_EQ(t.Ms % layout.StepMs, 0);
        EXPECT_NEAR(t.X, (double(t.Ms) - view.StartSeconds * 1000) / msPerPixel, 1e-6);
        EXPECT_GE(t.X, 0);
        EXPECT_LT(t.X, view.Width);
        if (i > 0) {
            EXPECT_EQ(t.Ms - layout.Major[i - 1].Ms, layout.StepMs);
        }
        if (t.Label.isEmpty())
            continue;
        // Never overlapping, never past the right edge.
        const double w = measure(t.Label);
        EXPECT_DOUBLE_EQ(t.Width, w);
        widest = std::max(widest, w);
        EXPECT_GE(t.X + TimeAxisLabelOffset, right + TimeAxisLabelGap) << t.Label.toStdString();
        right = t.X + TimeAxisLabelOffset + w;
        EXPECT_LE(right, view.Width) << t.Label.toStdString();
        EXPECT_EQ(t.Label.contains('.'), layout.StepMs < 1000) << t.Label.toStdString();
        EXPECT_EQ(t.Label.count(':'), hours ? 2 : 1) << t.Label.toStdString();
    }
    EXPECT_GE(spacing, widest + TimeAxisLabelGap);
    // The step below would overlap: the labels are as dense as they can be.
    const auto& steps = TimeAxisSteps();
    const auto at = std::find(steps.begin(), steps.end(), layout.StepMs);
    ASSERT_NE(at, steps.end());
    if (at != steps.begin()) {
        const int64_t below = *(at - 1);
        EXPECT_LT(double(below) / msPerPixel, WidestLabelOfStep(view, below, measure, hours) + TimeAxisLabelGap)
            << "step " << layout.StepMs << " could be " << below;
    }
    for (const TimeAxisTick& t : layout.Minor) {
        EXPECT_EQ(t.Ms % layout.MinorMs, 0);
        EXPECT_NE(t.Ms % layout.StepMs, 0);
        EXPECT_TRUE(t.Label.isEmpty());
    }
    if (!layout.Minor.empty()) {
        EXPECT_GE(double(layout.MinorMs) / msPerPixel, 4.0);
    }
}

} // namespace

TEST(TimeAxis, labelsShowMillisecondsBelowASecondStepAndHoursForLongFiles)
{
    EXPECT_EQ(TimeAxisLabel(61234, 100, false), "1:01.234");
    EXPECT_EQ(TimeAxisLabel(5, 1, false), "0:00.005");
    EXPECT_EQ(TimeAxisLabel(61234, 1000, false), "1:01");
    EXPECT_EQ(TimeAxisLabel(0, 60000, false), "0:00");
    EXPECT_EQ(TimeAxisLabel(59 * 60000 + 59000, 1000, false), "59:59");
    EXPECT_EQ(TimeAxisLabel(3723000, 1000, true), "1:02:03");
    EXPECT_EQ(TimeAxisLabel(3723045, 5, true), "1:02:03.045");
    EXPECT_EQ(TimeAxisLabel(0, 3600000, true), "0:00:00");
    EXPECT_EQ(TimeAxisLabel(36 * 3600000LL, 3600000, true), "36:00:00");
    EXPECT_EQ(TimeAxisLabel(-1500, 100, false), "-0:01.500");
    EXPECT_TRUE(TimeAxisLabel(std::numeric_limits<int64_t>::min(), 1, true).startsWith("-2562047788015:12:55.808"));
}

TEST(TimeAxis, stepsAreOneTwoFiveOverMillisecondsThenClockStepsAscending)
{
    const auto& s = TimeAxisSteps();
    ASSERT_GE(s.size(), 20u);
    EXPECT_EQ(std::vector<int64_t>(s.begin(), s.begin() + 10),
              (std::vector<int64_t>{1, 2, 5, 10, 20, 50, 100, 200, 500, 1000}));
    EXPECT_TRUE(std::is_sorted(s.begin(), s.end()));
    EXPECT_NE(std::find(s.begin(), s.end(), 15000), s.end());
    EXPECT_NE(std::find(s.begin(), s.end(), 3600000), s.end());
}

TEST(TimeAxis, labelsNeverOverlapAtAnyWidthZoomOrLength)
{
    const QFontMetricsF metrics(QFont(QStringLiteral("Arial Narrow"), 9));
    const TimeAxisMeasure font = [&](const QString& s) { return metrics.horizontalAdvance(s); };
    for (const TimeAxisMeasure& measure : {TimeAxisMeasure(FixedPitch), font}) {
        for (double duration : {2.0, 95.0, 2400.0, 3 * 3600.0, 30 * 3600.0}) {
            for (int width : {100, 137, 333, 640, 1000, 1920, 2560, 4000}) {
                // From near single samples to the whole file in view.
                for (double spp = 1.0 / 44100 / 10; spp <= duration / width * 1.01; spp *= 3.7) {
                    TimeAxisView v{0, spp, width, duration};
                    CheckLayout(v, measure);
                    v.StartSeconds = std::max(0.0, duration / 2.7 - spp * width / 2);
                    CheckLayout(v, measure);
                }
            }
        }
    }
}

TEST(TimeAxis, zoomingInShortensTheStepAndShowsMilliseconds)
{
    const TimeAxisView whole{0, 180.0 / 1000, 1000, 180};
    const TimeAxisView close{60, 0.0001, 1000, 180};
    const TimeAxisLayout a = LayoutTimeAxis(whole, FixedPitch);
    const TimeAxisLayout b = LayoutTimeAxis(close, FixedPitch);
    EXPECT_GE(a.StepMs, 10000);
    EXPECT_LE(b.StepMs, 20);
    ASSERT_FALSE(a.Major.empty());
    ASSERT_FALSE(b.Major.empty());
    EXPECT_EQ(a.Major.front().Label, "0:00");
    EXPECT_EQ(b.Major.front().Label, "1:00.000");
    EXPECT_FALSE(b.Minor.empty());
}

TEST(TimeAxis, anEmptyOrBrokenViewHasNoTicks)
{
    for (const TimeAxisView& v : {TimeAxisView{0, 0, 400, 10}, TimeAxisView{0, 0.01, 0, 10},
                                  TimeAxisView{0, -1, 400, 10}, TimeAxisView{0, std::nan(""), 400, 10},
                                  TimeAxisView{1e300, 1, 400, 10}, TimeAxisView{0, 1e300, 400, 10},
                                  TimeAxisView{0, 1e9, 400, 10}}) {
        const TimeAxisLayout l = LayoutTimeAxis(v, FixedPitch);
        EXPECT_EQ(l.StepMs, 0);
        EXPECT_TRUE(l.Major.empty());
        EXPECT_TRUE(l.Minor.empty());
    }
}

// --- the strip in the peak viewer ----------------------------------------------

class TimeAxisViewerTest : public ::testing::Test
{
protected:
    void SetUp() override { Prepare(v, 400, 200); }
    bool Load(const std::vector<uint8_t>& bytes)
    {
        TMemoryStream s;
        s.Write(bytes.data(), static_cast<int64_t>(bytes.size()));
        return v.LoadFromStream(&s);
    }
    QRgb Pixel(int x, int y) const { return v.BufferImage().pixel(x, y); }
    TimeAxisLayout Layout() const
    {
        const QFontMetricsF m(v.font(), &v.BufferImage());
        return LayoutTimeAxis(TimeAxisViewOf(v.Model()), [&](const QString& s) { return m.horizontalAdvance(s); });
    }
    TKXAudioPeakViewer v;
};

TEST_F(TimeAxisViewerTest, offByDefaultAndHeightZeroGivesThePictureBack)
{
    EXPECT_EQ(v.TimeAxisHeight(), 0);
    EXPECT_EQ(v.property("timeAxisHeight").toInt(), 0);
    ASSERT_TRUE(Load(Stereo16(8000, 80, 60, Constant(49152, 16384))));
    const QImage plain = v.BufferImage().copy();
    v.SetTimeAxisHeight(30);
    EXPECT_NE(v.BufferImage(), plain);
    v.SetTimeAxisHeight(0);
    EXPECT_EQ(v.BufferImage(), plain);
    EXPECT_EQ(v.BandHeight(), v.ClientHeight());
}

TEST_F(TimeAxisViewerTest, bandsShareTheHeightAboveTheStripAndTicksStandBelowIt)
{
    ASSERT_TRUE(Load(Stereo16(8000, 80, 60, Constant(49152, 16384))));
    v.setProperty("timeAxisHeight", 40);
    ASSERT_EQ(v.TimeAxisHeight(), 40);
    ASSERT_EQ(v.BandHeight(), 160);
    const QRgb border = ToQColor(v.BorderColor()).rgb(), back = ToQColor(v.Color()).rgb();
    // Four half-bands of 40 pixels: centre lines at 40 and 120, the boundary at 80.
    EXPECT_EQ(ComputeBands(v.Model(), v.BandHeight()).q, 40);
    EXPECT_EQ(Pixel(300, 40), border);
    EXPECT_EQ(Pixel(300, 120), border);
    EXPECT_EQ(Pixel(300, 79), border);
    EXPECT_EQ(Pixel(300, 80), border);
    // The line over the strip, then the strip's own background.
    EXPECT_EQ(Pixel(300, 160), border);
    EXPECT_EQ(Pixel(300, 161), border);
    const TimeAxisLayout layout = Layout();
    ASSERT_GE(layout.Major.size(), 2u);
    // 100 peaks a second at one peak a column: four seconds across 400 pixels.
    EXPECT_EQ(layout.StepMs, 1000);
    EXPECT_EQ(layout.Major[1].Label, "0:01");
    const int x = int(std::lround(layout.Major[1].X));
    EXPECT_EQ(x, 100);
    EXPECT_EQ(Pixel(x, 163), border);
    EXPECT_EQ(Pixel(x + 1, 163), back);
    EXPECT_EQ(Pixel(x - 1, 163), back);
    // Its label is drawn to the right of the tick, below it.
    int ink = 0;
    for (int y = 170; y < 197; ++y)
        for (int dx = 3; dx < 30; ++dx)
            ink += Pixel(x + dx, y) != back;
    EXPECT_GT(ink, 10);
    // Nothing of the peaks reaches into the strip.
    for (int y = 162; y < 197; ++y)
        EXPECT_NE(Pixel(x + 50, y), ToQColor(v.PeaksColor()).rgb()) << y;
}

TEST_F(TimeAxisViewerTest, scrollingAndZoomingMoveTheTicks)
{
    ASSERT_TRUE(Load(Stereo16(8000, 80, 60, Constant(49152, 16384))));
    v.SetTimeAxisHeight(24);
    v.ScrollToSeconds(30);
    EXPECT_EQ(Layout().Major.front().Label, "0:30");
    v.SetTimeScaler(0.25f);
    const TimeAxisLayout close = Layout();
    EXPECT_LT(close.StepMs, 1000);
    EXPECT_TRUE(close.Major.front().Label.startsWith("0:30."));
}

TEST_F(TimeAxisViewerTest, refusedHeightsAreReportedAndIgnored)
{
    QSignalSpy error(&v, &TKXCustomPeakViewer::error);
    v.setTimeAxisHeight(-1);
    v.setTimeAxisHeight(TKXCustomPeakViewer::MaxTimeAxisHeight + 1);
    EXPECT_EQ(error.count(), 2);
    EXPECT_EQ(v.TimeAxisHeight(), 0);
    v.setTimeAxisHeight(TKXCustomPeakViewer::MaxTimeAxisHeight);
    EXPECT_EQ(error.count(), 2);
    // Taller than the client area: no bands, the strip alone.
    EXPECT_EQ(v.BandHeight(), 0);
}

} // namespace kx
