// The spectrogram viewer: a tone's row brighter than the rest, the play line
// at its column, the side file reused while fresh, finer columns when zoomed
// in, and a peak viewer's zoom, scroll and play position followed.
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <sys/time.h>

#include "peaks/PeakFormat.h"
#include "platform/MemoryStream.h"
#include "spectrogram/KXSpectrogramViewer.h"
#include "spectrogram/SpectrogramFile.h"
#include "tests/support/TestMedia.h"
#include "viewers/KXAudioPeakViewer.h"

namespace kx {

namespace {

constexpr uint32_t Rate = 44100;

// Mean grey level of a row over columns [x0, x1).
double RowLevel(const QImage& image, int y, int x0, int x1)
{
    double sum = 0;
    for (int x = x0; x < x1; ++x)
        sum += qGray(image.pixel(x, y));
    return sum / (x1 - x0);
}

class SpectrogramViewer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wav = dir.filePath(QStringLiteral("tone.wav"));
        ASSERT_TRUE(TestMedia::WriteWav(wav, {Rate, 1, 16, 2 * Rate}, TestMedia::Sine(1000, 0.5, Rate)));
        viewer.resize(400, 256);
    }
    // The row of the 1 kHz band on the logarithmic axis.
    int ToneRow() const { return 255 - viewer.Pyramid().Base().BandAtHz(1000); }

    QTemporaryDir dir;
    QString wav;
    TKXSpectrogramViewer viewer;
};

TEST_F(SpectrogramViewer, drawsTheTonesRowBrightAndThePlayLineAtItsColumn)
{
    ASSERT_TRUE(viewer.LoadFromMedia(wav)) << viewer.LastError().toStdString();
    EXPECT_NEAR(viewer.DurationSeconds(), 2.0, 1e-9);
    viewer.SetSecondsPerPixel(2.0 / 400);
    viewer.SetPointerColor(Qt::red);
    viewer.SetPlayTime(10'000'000);  // 1 s: column 200
    EXPECT_EQ(viewer.PlayColumn(), 200);
    const QImage image = viewer.grab().toImage();
    ASSERT_EQ(image.size(), QSize(400, 256));
    const int tone = ToneRow();
    const double bright = RowLevel(image, tone, 20, 180);
    for (int y = 0; y < 256; ++y)
        if (std::abs(y - tone) > 10) {
            ASSERT_LT(RowLevel(image, y, 20, 180), bright - 100) << "row " << y << " against " << tone;
        }
    for (int y : {0, tone, 255})
        EXPECT_EQ(image.pixel(200, y), qRgb(255, 0, 0)) << y;
    EXPECT_NE(image.pixel(199, tone), qRgb(255, 0, 0));
    EXPECT_NE(image.pixel(201, tone), qRgb(255, 0, 0));

    // Scrolled by half a second, the line moves left by 100 columns; past the end is background.
    viewer.SetStartSeconds(0.5);
    viewer.SetColor(Qt::blue);
    const QImage scrolled = viewer.grab().toImage();
    EXPECT_EQ(scrolled.pixel(100, 0), qRgb(255, 0, 0));
    EXPECT_EQ(scrolled.pixel(399, tone), qRgb(0, 0, 255));
    EXPECT_NE(scrolled.pixel(250, tone), qRgb(0, 0, 255));
}

TEST_F(SpectrogramViewer, keepsItsSideFileWhileItIsFresh)
{
    ASSERT_TRUE(viewer.LoadFromMedia(wav)) << viewer.LastError().toStdString();
    const QString side = SpectrogramFileFor(wav);
    SpectrogramData kept;
    QString error;
    ASSERT_TRUE(ReadSpectrogramFile(side, kept, error)) << error.toStdString();
    EXPECT_EQ(kept.values, viewer.Pyramid().Base().values);
    // A side file that differs is read as it is, not analysed again...
    std::fill(kept.values.begin(), kept.values.end(), uint8_t(7));
    ASSERT_TRUE(WriteSpectrogramFile(side, kept, {}, error)) << error.toStdString();
    ASSERT_TRUE(viewer.LoadFromMedia(wav));
    EXPECT_EQ(viewer.Pyramid().Base().values, kept.values);
    // ...until the media is newer than it, or it is damaged.
    const timeval later[2] = {{time(nullptr) + 100, 0}, {time(nullptr) + 100, 0}};
    ASSERT_EQ(utimes(QFile::encodeName(wav).constData(), later), 0);
    ASSERT_TRUE(viewer.LoadFromMedia(wav));
    EXPECT_NE(viewer.Pyramid().Base().values, kept.values);
    ASSERT_TRUE(QFile::resize(side, 100));
    const timeval newer[2] = {{time(nullptr) + 200, 0}, {time(nullptr) + 200, 0}};
    ASSERT_EQ(utimes(QFile::encodeName(side).constData(), newer), 0);
    ASSERT_TRUE(viewer.LoadFromMedia(wav));
    EXPECT_EQ(viewer.Pyramid().Base().Columns(), (2 * Rate + 1023) / 1024);
    // Damaged files given directly are refused with the reason; the picture stays.
    ASSERT_TRUE(QFile::resize(side, 100));
    EXPECT_FALSE(viewer.LoadFromFile(side));
    EXPECT_FALSE(viewer.LastError().isEmpty());
    EXPECT_EQ(viewer.Pyramid().Base().Columns(), (2 * Rate + 1023) / 1024);
}

TEST_F(SpectrogramViewer, computesFinerColumnsWhenZoomedInPastTheStoredOnes)
{
    ASSERT_TRUE(viewer.LoadFromMedia(wav));
    QSignalSpy ready(&viewer, &TKXSpectrogramViewer::fineColumnsReady);
    viewer.SetStartSeconds(0.5);
    viewer.SetSecondsPerPixel(64.0 / Rate);  // 16 pixels a stored column
    EXPECT_FALSE(viewer.ShowsFineColumns());
    viewer.grab();
    ASSERT_TRUE(ready.wait(20000));
    EXPECT_TRUE(viewer.ShowsFineColumns());
    const QImage image = viewer.grab().toImage();
    const int tone = ToneRow();
    const double bright = RowLevel(image, tone, 0, 400);
    for (int y = 0; y < 256; ++y)
        if (std::abs(y - tone) > 10) {
            ASSERT_LT(RowLevel(image, y, 0, 400), bright - 100) << "row " << y;
        }
}

TEST_F(SpectrogramViewer, followsALinkedPeakViewer)
{
    // 10 s of mono peaks, 100 a second.
    TPeakHeader h;
    h.BytesPerPeak = 2;
    h.Channels = 1;
    h.SamplesPerSecond = Rate;
    h.SamplesPerPeak = 441;
    h.PcmByteCount = 1000 * 441;
    std::vector<uint8_t> bytes(PeakHeaderSize);
    EncodePeakHeader(h, bytes.data());
    for (int i = 0; i < 1000; ++i)
        bytes.insert(bytes.end(), {200, 50});
    TMemoryStream stream;
    stream.Write(bytes.data(), int64_t(bytes.size()));
    TKXAudioPeakViewer peaks;
    peaks.resize(400, 150);
    ASSERT_TRUE(peaks.LoadFromStream(&stream));

    viewer.LinkToPeakViewer(&peaks);
    QSignalSpy view(&viewer, &TKXSpectrogramViewer::viewChanged);
    const auto follows = [&] {
        EXPECT_DOUBLE_EQ(viewer.SecondsPerPixel(), peaks.TimeScaler() * 0.01);
        EXPECT_DOUBLE_EQ(viewer.StartSeconds(), peaks.ScrollPos() * 0.01);
        EXPECT_EQ(viewer.PlayTime(), peaks.PlayTime());
    };
    follows();
    peaks.setTimeScaler(0.5f);
    follows();
    peaks.setScrollPosition(300);
    ASSERT_EQ(peaks.ScrollPos(), 300);
    follows();
    EXPECT_DOUBLE_EQ(viewer.StartSeconds(), 3.0);
    peaks.setPlayTime(35'000'000);
    follows();
    EXPECT_EQ(viewer.PlayColumn(), 100);  // 0.5 s past the start at 0.005 s a column
    EXPECT_GE(view.count(), 2);
    // Unlinked, it stays where it was.
    viewer.LinkToPeakViewer(nullptr);
    peaks.setScrollPosition(0);
    EXPECT_DOUBLE_EQ(viewer.StartSeconds(), 3.0);
}

} // namespace

} // namespace kx

namespace kx {

TEST_F(SpectrogramViewer, aBackgroundLoadReportsProgressAndShowsWhatALoadInPlaceShows)
{
    QSignalSpy progress(&viewer, &TKXSpectrogramViewer::loadProgress);
    QSignalSpy finished(&viewer, &TKXSpectrogramViewer::loadFinished);
    QSignalSpy changed(&viewer, &TKXSpectrogramViewer::spectrogramChanged);
    viewer.LoadFromMediaInBackground(wav);
    EXPECT_TRUE(viewer.Loading());
    ASSERT_TRUE(finished.wait(20000));
    ASSERT_EQ(finished.count(), 1);
    EXPECT_TRUE(finished.at(0).at(0).toBool()) << viewer.LastError().toStdString();
    EXPECT_FALSE(viewer.Loading());
    EXPECT_EQ(changed.count(), 1);
    // The analysis reported its way up to the whole file, in order.
    ASSERT_FALSE(progress.isEmpty());
    int last = -1;
    for (const QList<QVariant>& p : progress) {
        EXPECT_GT(p.at(0).toInt(), last);
        last = p.at(0).toInt();
    }
    EXPECT_EQ(last, 100);
    // The side file was written and matches an analysis in place.
    EXPECT_TRUE(QFile::exists(SpectrogramFileFor(wav)));
    TKXSpectrogramViewer inPlace;
    ASSERT_TRUE(inPlace.LoadFromMedia(wav));
    EXPECT_EQ(viewer.Pyramid().Base().values, inPlace.Pyramid().Base().values);
}

TEST_F(SpectrogramViewer, aBackgroundLoadThatFailsSaysWhyAndKeepsThePicture)
{
    ASSERT_TRUE(viewer.LoadFromMedia(wav));
    const auto shown = viewer.Pyramid().Base().values;
    const QString junk = dir.filePath(QStringLiteral("junk.flac"));
    ASSERT_TRUE(TestMedia::WriteFile(junk, std::vector<uint8_t>(5000, 0x33)));
    QSignalSpy finished(&viewer, &TKXSpectrogramViewer::loadFinished);
    viewer.LoadFromMediaInBackground(junk);
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_FALSE(finished.at(0).at(0).toBool());
    EXPECT_FALSE(viewer.LastError().isEmpty());
    EXPECT_EQ(viewer.Pyramid().Base().values, shown);
    EXPECT_FALSE(QFile::exists(SpectrogramFileFor(junk)));
}

TEST_F(SpectrogramViewer, aNewLoadOrTheViewersEndCancelsABackgroundLoad)
{
    // A longer file, so that the first load is still running when cancelled.
    const QString longer = dir.filePath(QStringLiteral("long.wav"));
    ASSERT_TRUE(TestMedia::WriteWav(longer, {Rate, 2, 16, 60 * Rate}, TestMedia::Sine(300, 0.5, Rate)));
    QSignalSpy finished(&viewer, &TKXSpectrogramViewer::loadFinished);
    viewer.LoadFromMediaInBackground(longer);
    viewer.LoadFromMediaInBackground(wav);
    ASSERT_TRUE(finished.wait(20000));
    QCoreApplication::processEvents();
    // Only the second load finished, and it shows the short file.
    EXPECT_EQ(finished.count(), 1);
    EXPECT_NEAR(viewer.DurationSeconds(), 2.0, 1e-9);
    {
        TKXSpectrogramViewer gone;
        gone.LoadFromMediaInBackground(longer);
    }
    QCoreApplication::processEvents();
    // Both long loads stopped before their analysis ended: nothing was kept.
    EXPECT_FALSE(QFile::exists(SpectrogramFileFor(longer)));
}

} // namespace kx
