// peaktool render --spectrogram: a tone's row bright in the PNG, on either
// frequency axis, from media or from its spectrogram file; bad usage refused.
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "spectrogram/SpectrogramAnalysis.h"
#include "spectrogram/SpectrogramFile.h"
#include "tests/support/TestMedia.h"
#include "tests/support/ToolRun.h"

#ifdef PEAKTOOL_BINARY

namespace kx {

namespace {

constexpr uint32_t Rate = 44100;

// The row whose mean grey level is highest.
int BrightestRow(const QImage& image)
{
    int best = -1;
    double level = -1;
    for (int y = 0; y < image.height(); ++y) {
        double sum = 0;
        for (int x = 0; x < image.width(); ++x)
            sum += qGray(image.pixel(x, y));
        if (sum > level) {
            level = sum;
            best = y;
        }
    }
    return best;
}

class PeakToolSpectrogram : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        wav = dir.filePath(QStringLiteral("tone.wav"));
        ASSERT_TRUE(TestMedia::WriteWav(wav, {Rate, 2, 16, 3 * Rate}, TestMedia::Sine(2000, 0.5, Rate)));
        png = dir.filePath(QStringLiteral("out.png"));
    }
    ToolRun Render(const QStringList& args)
    {
        return RunTool(QStringLiteral(PEAKTOOL_BINARY), QStringList{QStringLiteral("render")} + args);
    }
    QTemporaryDir dir;
    QString wav, png;
};

TEST_F(PeakToolSpectrogram, writesAPictureWhoseToneRowIsBright)
{
    ToolRun r = Render({"--spectrogram", wav, "-o", png, "--width", "300", "--height", "256"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("300 x 256"))) << r.out.toStdString();
    QImage image(png);
    ASSERT_EQ(image.size(), QSize(300, 256));
    SpectrogramData layout;
    layout.rate = Rate;
    const int band = layout.BandAtHz(2000);
    EXPECT_NEAR(BrightestRow(image), 255 - band, 1);
    EXPECT_GT(qGray(image.pixel(150, 255 - band)), 150);
    EXPECT_LT(qGray(image.pixel(150, 10)), 60);

    // Rows evenly in Hz: 2 kHz lies at 2000 / 22050 of the height from the bottom.
    r = Render({"--spectrogram", wav, "-o", png, "--width", "300", "--height", "256", "--linear-frequency"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    image.load(png);
    EXPECT_NEAR(BrightestRow(image), 256 - 2000.0 / 22050 * 256, 2);

    // The same picture from the side file; the cursor line where asked (1.5 s of 3: column 150).
    SpectrogramData d;
    QString error;
    ASSERT_TRUE(AnalyseMedia(wav, d, error)) << error.toStdString();
    const QString sgram = SpectrogramFileFor(wav);
    ASSERT_TRUE(WriteSpectrogramFile(sgram, d, {}, error)) << error.toStdString();
    const QString fromFile = dir.filePath(QStringLiteral("file.png"));
    r = Render({"--spectrogram", sgram, "-o", fromFile, "--width", "300", "--height", "256", "--linear-frequency"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(QImage(fromFile), image);
    r = Render({"--spectrogram", sgram, "-o", fromFile, "--width", "300", "--height", "256", "--cursor", "1500"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(QImage(fromFile).pixel(150, 10), qRgb(255, 255, 255));
    EXPECT_NE(QImage(fromFile).pixel(140, 10), qRgb(255, 255, 255));
}

TEST_F(PeakToolSpectrogram, refusesWhatItCannotDrawAndBadUsage)
{
    const QString notes = dir.filePath(QStringLiteral("notes.txt"));
    ASSERT_TRUE(TestMedia::WriteFile(notes, {'n', 'o', 't', 'e', 's', '\n'}));
    ToolRun r = Render({"--spectrogram", notes, "-o", png});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("notes.txt"))) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(png));
    const QString damaged = dir.filePath(QStringLiteral("d.sgram"));
    std::vector<uint8_t> bytes = EncodeSpectrogram(SpectrogramData{});
    bytes[4] = 9;
    ASSERT_TRUE(TestMedia::WriteFile(damaged, bytes));
    r = Render({"--spectrogram", damaged, "-o", png});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(QStringLiteral("version"))) << r.err.toStdString();
    EXPECT_EQ(Render({"--spectrogram", wav}).code, 2);
    EXPECT_EQ(Render({"--spectrogram", wav, "-o", png, "--scaler", "2"}).code, 2);
    EXPECT_EQ(Render({"--spectrogram", wav, "-o", png, "--end-seconds", "1", "--pixels-per-second", "4"}).code, 2);
    EXPECT_EQ(Render({"--spectrogram", wav, wav, "-o", png}).code, 2);
    EXPECT_FALSE(QFile::exists(png));
}

} // namespace

} // namespace kx

#endif
