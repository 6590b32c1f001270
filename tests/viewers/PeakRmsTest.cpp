#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <random>
#include <gtest/gtest.h>

#include "PeakTestData.h"
#include "peaks/RmsFile.h"
#include "platform/MemoryStream.h"
#include "platform/widgets/Color.h"
#include "viewers/KXAudioPeakViewer.h"
#include "viewers/PeakRender.h"
#include "viewers/RmsPyramid.h"

namespace kx {

using namespace PeakTestData;

namespace {

// The RMS of records [first, last) of one channel, from the squares.
double Reference(const std::vector<uint16_t>& values, int channels, int ch, int64_t first, int64_t last)
{
    double sum = 0;
    for (int64_t r = first; r < last; ++r) {
        const double v = values[static_cast<size_t>(r * channels + ch)];
        sum += v * v;
    }
    return std::sqrt(sum / double(last - first));
}

TEST(RmsPyramid, combinesRunsAsTheRootOfTheMeanOfSquares)
{
    std::mt19937 rng(7);
    for (const int channels : {1, 2}) {
        for (const int64_t records : {int64_t(1), int64_t(5), int64_t(64), int64_t(1000)}) {
            std::vector<uint16_t> values(static_cast<size_t>(records * channels));
            for (auto& v : values)
                v = static_cast<uint16_t>(rng() % 65536);
            RmsPyramid p;
            p.Build(values, channels);
            ASSERT_EQ(p.Records(), records);
            for (int k = 0; k < 200; ++k) {
                const int64_t a = static_cast<int64_t>(rng() % uint64_t(records));
                const int64_t b = a + 1 + static_cast<int64_t>(rng() % uint64_t(records - a));
                double rms[2];
                ASSERT_TRUE(p.Over(a, b, rms));
                for (int ch = 0; ch < channels; ++ch)
                    EXPECT_NEAR(rms[ch], Reference(values, channels, ch, a, b), 1e-6) << a << ".." << b;
            }
            double rms[2];
            EXPECT_FALSE(p.Over(records, records + 4, rms));
            EXPECT_FALSE(p.Over(3, 3, rms));
            // Clipped to the records held.
            ASSERT_TRUE(p.Over(-10, records + 10, rms));
            EXPECT_NEAR(rms[0], Reference(values, channels, 0, 0, records), 1e-6);
        }
    }
    RmsPyramid empty;
    double rms[2];
    EXPECT_TRUE(empty.Empty());
    EXPECT_FALSE(empty.Over(0, 10, rms));
}

// Peaks at ±24576 around the centre in both channels; 60 s at 100 records a
// second in a 400 × 200 viewer: each channel's band is 100 px, its centre
// 50 px down, and a level of 24576 about the centre lies 37.5 px from it.
class PeakRmsTest : public ::testing::Test
{
protected:
    static constexpr uint32_t High = 57344, Low = 8192;
    static constexpr int64_t Records = 6000;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        Prepare(v, 400, 200);
        pek = dir.filePath("a.pek");
        ASSERT_TRUE(Write(pek, Stereo16(8000, 80, 60, [](int64_t, int) { return std::pair{High, Low}; })));
    }
    // Side file values from a per-record, per-channel function.
    bool WriteRms(const std::function<uint16_t(int64_t, int)>& level, int64_t records = Records)
    {
        RmsData d;
        d.channels = 2;
        d.samplesPerPeak = 80;
        d.rate = 8000;
        for (int64_t r = 0; r < records; ++r)
            for (int ch = 0; ch < 2; ++ch)
                d.values.push_back(level(r, ch));
        values = d.values;
        QString error;
        OutputRules rules;
        rules.Input(pek);
        const bool ok = WriteRmsFile(RmsFileFor(pek), d, rules, error);
        EXPECT_TRUE(ok) << error.toStdString();
        return ok;
    }
    QImage Picture(bool rms)
    {
        v.SetShowRms(rms);
        v.PaintPeaks(false, nullptr);
        return v.BufferImage().copy();
    }
    // Rows of column x in rows [top, bottom] that have colour c.
    int Rows(const QImage& image, int x, int top, int bottom, QRgb c) const
    {
        int n = 0;
        for (int y = top; y <= bottom; ++y)
            n += image.pixel(x, y) == c;
        return n;
    }

    QTemporaryDir dir;
    QString pek;
    std::vector<uint16_t> values;
    TKXAudioPeakViewer v;
};

TEST_F(PeakRmsTest, bandLiesAboutTheCentreAtTheLevelOfTheSideFile)
{
    // 12288 about the centre lies 18.75 px above and below it: rows 31..69
    // of the first channel, 131..169 of the second.
    ASSERT_TRUE(WriteRms([](int64_t, int ch) { return uint16_t(ch == 0 ? 12288 : 6144); }));
    ASSERT_TRUE(v.LoadFromFile(pek));
    EXPECT_FALSE(v.ShowRms());
    const QImage plain = Picture(false);
    EXPECT_TRUE(v.setProperty("showRms", true));
    EXPECT_TRUE(v.ShowRms());
    const QImage band = Picture(true);
    const QRgb peaks = v.PeaksColorAsQColor().rgb(), rms = v.RmsColor().rgb();
    EXPECT_NE(peaks, rms);
    for (const int x : {5, 200, 390}) {
        EXPECT_EQ(band.pixel(x, 30), peaks);
        EXPECT_EQ(Rows(band, x, 31, 49, rms), 19) << x;
        EXPECT_EQ(Rows(band, x, 51, 69, rms), 19) << x;
        EXPECT_EQ(band.pixel(x, 70), peaks);
        // 6144 is 9.4 px about the second channel's centre at 150.
        EXPECT_EQ(band.pixel(x, 140), peaks);
        EXPECT_EQ(Rows(band, x, 141, 149, rms), 9) << x;
        EXPECT_EQ(Rows(band, x, 151, 159, rms), 9) << x;
        EXPECT_EQ(band.pixel(x, 160), peaks);
    }
    // Only band pixels change, and only from the peaks' colour.
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x) {
            if (band.pixel(x, y) != plain.pixel(x, y)) {
                ASSERT_TRUE(band.pixel(x, y) == rms && plain.pixel(x, y) == peaks) << x << "," << y;
            }
        }

    // A colour of its own; by default a lighter shade of the peaks.
    EXPECT_EQ(v.RmsColor(), RmsShadeOf(v.PeaksColorAsQColor()));
    v.setRmsColor(QColor(Qt::red));
    EXPECT_EQ(Picture(true).pixel(200, 40), QColor(Qt::red).rgb());
    int refusals = 0;
    QObject::connect(&v, &TKXCustomPeakViewer::error, [&] { ++refusals; });
    v.setRmsColor(QColor());
    EXPECT_EQ(refusals, 1);
    EXPECT_EQ(v.RmsColor(), QColor(Qt::red));
}

TEST_F(PeakRmsTest, zoomedOutColumnsShowTheRmsOfAllTheirRecords)
{
    // Four levels repeating: the root of the mean of squares is 11217, the
    // mean of the levels 10240 (a row lower).
    ASSERT_TRUE(WriteRms([](int64_t r, int) { return uint16_t(4096 * (1 + r % 4)); }));
    ASSERT_TRUE(v.LoadFromFile(pek));
    v.SetPeakReduction(prMinMax);
    v.SetTimeScaler(16);
    v.SetShowRms(true);
    const double expected = Reference(values, 2, 0, 32, 48);
    EXPECT_NEAR(expected, 11217.3, 0.1);
    double rms[2];
    ASSERT_TRUE(v.Model().Rms.Over(32, 48, rms));
    EXPECT_DOUBLE_EQ(rms[0], expected);
    const QImage band = Picture(true);
    const QRgb peaks = v.PeaksColorAsQColor().rgb(), c = v.RmsColor().rgb();
    for (const int x : {2, 100, 300}) {
        EXPECT_EQ(band.pixel(x, 32), peaks) << x;
        EXPECT_EQ(Rows(band, x, 33, 67, c), 35 - 1) << x;  // all but the centre line at 50
        EXPECT_EQ(band.pixel(x, 68), peaks) << x;
    }
    // Every zoom out to the whole file keeps a band of that height.
    for (const float scaler : {3.0f, 7.5f, 15.0f}) {
        v.SetTimeScaler(scaler);
        const QImage image = Picture(true);
        EXPECT_EQ(image.pixel(200, 40), c) << scaler;
        EXPECT_EQ(image.pixel(200, 60), c) << scaler;
    }
}

TEST_F(PeakRmsTest, staleOrMismatchedSideFilesAreIgnored)
{
    ASSERT_TRUE(v.LoadFromFile(pek));
    const QImage none = Picture(false);
    EXPECT_TRUE(v.Model().Rms.Empty());
    EXPECT_EQ(Picture(true), none);
    // Off by default: a side file changes nothing until asked for.
    ASSERT_TRUE(WriteRms([](int64_t, int) { return uint16_t(12288); }));
    v.SetShowRms(false);
    ASSERT_TRUE(v.LoadFromFile(pek));
    EXPECT_FALSE(v.Model().Rms.Empty());
    EXPECT_EQ(Picture(false), none);

    // One record short.
    ASSERT_TRUE(WriteRms([](int64_t, int) { return uint16_t(12288); }, Records - 1));
    ASSERT_TRUE(v.LoadFromFile(pek));
    EXPECT_TRUE(v.Model().Rms.Empty());
    EXPECT_EQ(Picture(true), none);

    // Older than its peak file.
    ASSERT_TRUE(WriteRms([](int64_t, int) { return uint16_t(12288); }));
    QFile side(RmsFileFor(pek));
    ASSERT_TRUE(side.open(QIODevice::ReadWrite));
    ASSERT_TRUE(side.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    side.close();
    ASSERT_TRUE(v.LoadFromFile(pek));
    EXPECT_TRUE(v.Model().Rms.Empty());
    EXPECT_EQ(Picture(true), none);

    // A stream load has no side file: the band of the file before goes.
    ASSERT_TRUE(WriteRms([](int64_t, int) { return uint16_t(12288); }));
    ASSERT_TRUE(v.LoadFromFile(pek));
    EXPECT_NE(Picture(true), none);
    QFile f(pek);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    TMemoryStream s;
    s.Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    ASSERT_TRUE(v.LoadFromStream(&s));
    EXPECT_EQ(Picture(true), none);
}

} // namespace

} // namespace kx
