// Known signals through the analysis: a slow linear sweep on its diagonal,
// two tones in their bands at their level, and a range at a finer hop equal
// to the same columns of the whole stream, read or sought.
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "spectrogram/SpectrogramAnalysis.h"
#include "tests/support/TestMedia.h"

namespace kx {

namespace {

constexpr uint32_t Rate = 44100;

int LoudestBand(std::span<const uint8_t> column)
{
    return int(std::max_element(column.begin(), column.end()) - column.begin());
}

// The value a level in dBFS is stored as.
double ValueOfDb(double db)
{
    return (db + SpectrogramFloorDb) * 255.0 / SpectrogramFloorDb;
}

class SpectrogramAnalysis : public ::testing::Test
{
protected:
    SpectrogramData Analyse(const TestMedia::Signal& signal, double seconds, uint16_t channels = 1)
    {
        const QString wav = dir.filePath(QStringLiteral("s.wav"));
        EXPECT_TRUE(TestMedia::WriteWav(wav, {Rate, channels, 16, int64_t(seconds * Rate)}, signal));
        SpectrogramData d;
        QString error;
        EXPECT_TRUE(AnalyseMedia(wav, d, error)) << error.toStdString();
        return d;
    }
    QTemporaryDir dir;
};

TEST_F(SpectrogramAnalysis, aLinearSweepLiesOnTheDiagonal)
{
    // 300 Hz to 8 kHz over 40 s: under 20 Hz of sweep within one window.
    const double f0 = 300, f1 = 8000, seconds = 40;
    const double slope = (f1 - f0) / seconds;
    const SpectrogramData d = Analyse(
        [&](int64_t frame, int) {
            const double t = double(frame) / Rate;
            return 0.5 * std::sin(2 * std::numbers::pi * (f0 * t + slope * t * t / 2));
        },
        seconds);
    ASSERT_EQ(d.rate, Rate);
    ASSERT_EQ(d.Columns(), (uint64_t(seconds * Rate) + SpectrogramHop - 1) / SpectrogramHop);
    int checked = 0, previous = 0;
    for (uint64_t c = 4; c + 4 < d.Columns(); ++c) {
        const double t = (double(c) * d.hop + d.hop / 2.0) / Rate;
        const double hz = f0 + slope * t;
        const int loudest = LoudestBand(d.Column(c));
        EXPECT_GE(loudest, previous - 1) << "column " << c;
        previous = loudest;
        // Below 1 kHz the bands are narrower than the bins.
        if (hz < 1000)
            continue;
        EXPECT_LE(std::abs(loudest - d.BandAtHz(hz)), 1)
            << "column " << c << " at " << hz << " Hz: band centre " << d.BandCentreHz(loudest);
        EXPECT_GE(d.Column(c)[size_t(loudest)], ValueOfDb(-10)) << "column " << c;
        ++checked;
    }
    EXPECT_GT(checked, 1000);
}

TEST_F(SpectrogramAnalysis, twoTonesLandInTheirBandsAtTheirLevelAndNothingLoudElsewhere)
{
    const double a = 440, b = 3000, amplitude = 0.4;
    // Both channels carry both tones: the mono mix keeps their level.
    const SpectrogramData d = Analyse(
        [&](int64_t frame, int) {
            const double t = double(frame) / Rate;
            return amplitude * (std::sin(2 * std::numbers::pi * a * t) + std::sin(2 * std::numbers::pi * b * t));
        },
        2, 2);
    const int bandA = d.BandAtHz(a), bandB = d.BandAtHz(b);
    const double level = 20 * std::log10(amplitude);
    for (uint64_t c = 4; c + 4 < d.Columns(); ++c) {
        const auto column = d.Column(c);
        for (int band : {bandA, bandB}) {
            // Within the window's scalloping loss of the tone's level.
            EXPECT_NEAR(d.ValueDb(column[size_t(band)]), level, 2.0) << "column " << c << " band " << band;
        }
        for (int band = 0; band < d.bands; ++band)
            if (std::abs(band - bandA) > 8 && std::abs(band - bandB) > 8) {
                ASSERT_LT(column[size_t(band)], ValueOfDb(-50)) << "column " << c << " band " << band;
            }
    }
    // Before the sound starts, silence reads as the floor.
    const SpectrogramData quiet = Analyse([](int64_t, int) { return 0.0; }, 0.5);
    EXPECT_TRUE(std::all_of(quiet.values.begin(), quiet.values.end(), [](uint8_t v) { return v == 0; }));
}

TEST_F(SpectrogramAnalysis, aRangeAtAFinerHopHasTheColumnsOfTheWholeStream)
{
    // 440 Hz for one second, then 3 kHz.
    const QString wav = dir.filePath(QStringLiteral("switch.wav"));
    ASSERT_TRUE(TestMedia::WriteWav(wav, {Rate, 1, 16, 2 * Rate}, [](int64_t frame, int) {
        const double hz = frame < Rate ? 440 : 3000;
        return 0.5 * std::sin(2 * std::numbers::pi * hz * double(frame) / Rate);
    }));
    // Compressed media are sought to the range rather than decoded from their start.
    const QString flac = dir.filePath(QStringLiteral("switch.flac"));
    ASSERT_TRUE(TestMedia::EncodeWav(wav, QStringLiteral("flacenc"), flac));
    SpectrogramData whole, range;
    QString error;
    for (const QString& media : {wav, flac}) {
        SCOPED_TRACE(media.toStdString());
        ASSERT_TRUE(AnalyseMedia(media, whole, error, 256)) << error.toStdString();
        const uint64_t first = 150 * 256, last = 200 * 256 + 100;
        ASSERT_TRUE(AnalyseMedia(media, range, error, 256, first, last)) << error.toStdString();
        EXPECT_EQ(range.hop, 256u);
        EXPECT_EQ(range.firstFrame, first);
        EXPECT_EQ(range.frames, last - first);
        ASSERT_EQ(range.Columns(), 51u);
        EXPECT_TRUE(std::equal(range.values.begin(), range.values.end(), whole.values.begin() + 150 * range.bands));
        // The switch at 1 s lies in column 172; a window reaches 8 columns either side.
        const int band440 = whole.BandAtHz(440), band3k = whole.BandAtHz(3000);
        EXPECT_NEAR(LoudestBand(range.Column(172 - 150 - 10)), band440, 1);
        EXPECT_NEAR(LoudestBand(range.Column(172 - 150 + 10)), band3k, 1);
    }

    // A range past the end is empty; media that is not audio is refused with a reason.
    ASSERT_TRUE(AnalyseMedia(wav, range, error, 256, 10 * Rate, 11 * Rate));
    EXPECT_EQ(range.Columns(), 0u);
    const QString text = dir.filePath(QStringLiteral("notes.wav"));
    ASSERT_TRUE(TestMedia::WriteFile(text, {'n', 'o', 't', 'e', 's'}));
    EXPECT_FALSE(AnalyseMedia(text, range, error));
    EXPECT_FALSE(error.isEmpty());
}

} // namespace

} // namespace kx
