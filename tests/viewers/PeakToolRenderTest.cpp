#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "PeakTestData.h"
#include "peaks/RmsFile.h"
#include "platform/widgets/Color.h"

namespace kx {

using namespace PeakTestData;

namespace {

#ifdef PEAKTOOL_BINARY
int RunPeakTool(const QStringList& args, QByteArray* err = nullptr)
{
    QProcess p;
    p.start(QStringLiteral(PEAKTOOL_BINARY), QStringList{QStringLiteral("render")} + args);
    if (!p.waitForFinished(30000))
        return -1;
    if (err)
        *err = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

class PeakToolRender : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QFile::exists(QStringLiteral(PEAKTOOL_BINARY)))
            GTEST_SKIP() << "peaktool is not built";
        ASSERT_TRUE(dir.isValid());
    }
    QTemporaryDir dir;
};

TEST_F(PeakToolRender, writesThePictureOfTheViewer)
{
    // 60 s, 100 peaks a second, flat levels per channel.
    const QString pek = dir.filePath("a.pek");
    ASSERT_TRUE(Write(pek, Stereo16(8000, 80, 60, Constant(49152, 16384))));
    const QString png = dir.filePath("a.png");
    ASSERT_EQ(RunPeakTool({pek, "-o", png, "--width", "400", "--height", "200", "--mark", "1000:2000", "--cursor",
                           "2500"}),
              0);
    QImage image(png);
    ASSERT_EQ(image.size(), QSize(400, 200));
    const QRgb peaks = ToQColor(clNavy).rgb(), border = ToQColor(128).rgb(), mark = ToQColor(0xA4A0A0).rgb();
    EXPECT_EQ(image.pixel(300, 25), peaks);
    EXPECT_EQ(image.pixel(300, 175), peaks);
    EXPECT_EQ(image.pixel(300, 100), border);
    EXPECT_EQ(image.pixel(150, 60), mark);
    EXPECT_EQ(image.pixel(250, 60), ToQColor(clGreen).rgb());
    EXPECT_EQ(image.pixel(50, 60), ToQColor(clSilver).rgb());

    // Scrolled by 10 s and zoomed out: the mark is out of view.
    ASSERT_EQ(RunPeakTool({pek, "-o", png, "--width", "400", "--height", "200", "--start-seconds", "10",
                           "--scaler", "2", "--mark", "1000:2000"}),
              0);
    image.load(png);
    EXPECT_EQ(image.pixel(150, 60), ToQColor(clSilver).rgb());
}

TEST_F(PeakToolRender, refusesBadFilesAndBadUsage)
{
    const QString pek = dir.filePath("short.pek");
    ASSERT_TRUE(Write(pek, std::vector<uint8_t>(16, 0)));
    QByteArray err;
    EXPECT_EQ(RunPeakTool({pek, "-o", dir.filePath("x.png")}, &err), 1);
    EXPECT_TRUE(err.contains("short.pek")) << err.constData();
    EXPECT_FALSE(QFile::exists(dir.filePath("x.png")));
    EXPECT_EQ(RunPeakTool({pek}), 2);
    EXPECT_EQ(RunPeakTool({pek, "-o", dir.filePath("x.png"), "--scaler", "0.01"}), 2);
}
// One 60 s file with a click of one record in the left channel at 23.45 s
// and silence elsewhere.
class PeakToolRenderOptions : public PeakToolRender
{
protected:
    void SetUp() override
    {
        PeakToolRender::SetUp();
        if (IsSkipped())
            return;
        pek = dir.filePath("click.pek");
        ASSERT_TRUE(Write(pek, Stereo16(8000, 80, 60, [](int64_t p, int ch) {
            return p == 2345 && ch == 0 ? std::pair{65535u, 0u} : std::pair{32768u, 32768u};
        })));
    }
    QImage Render(const QStringList& options)
    {
        const QString png = dir.filePath("out.png");
        QFile::remove(png);
        EXPECT_EQ(RunPeakTool(QStringList{pek, "-o", png, "--width", "400", "--height", "200"} + options), 0)
            << options.join(' ').toStdString();
        return QImage(png);
    }
    // Columns inside the frame whose pixel at row y has the colour.
    static std::vector<int> Columns(const QImage& image, int y, QRgb colour)
    {
        std::vector<int> xs;
        for (int x = 2; x < image.width() - 2; ++x)
            if (image.pixel(x, y) == colour)
                xs.push_back(x);
        return xs;
    }
    QString pek;
    const QRgb navy = ToQColor(clNavy).rgb();
};

TEST_F(PeakToolRenderOptions, extremesAreTheDefaultAndSkippingIsAsked)
{
    // 32 records a column: only the true extremes keep the click.
    EXPECT_EQ(Columns(Render({"--scaler", "32"}), 5, navy).size(), 1u);
    EXPECT_EQ(Columns(Render({"--scaler", "32", "--reduction", "minmax"}), 5, navy).size(), 1u);
    EXPECT_TRUE(Columns(Render({"--scaler", "32", "--reduction", "skip"}), 5, navy).empty());
    EXPECT_EQ(RunPeakTool({pek, "-o", dir.filePath("x.png"), "--reduction", "average"}), 2);
}

TEST_F(PeakToolRenderOptions, zoomFromPixelsPerSecondOrFromAnEndSecond)
{
    // 100 records a second: 25 pixels a second is scaler 4, and 20 s to 36 s
    // over 400 columns is also scaler 4, the click at column (2345 - 2000) / 4.
    const QImage byScaler = Render({"--scaler", "4", "--start-seconds", "20"});
    ASSERT_EQ(Columns(byScaler, 5, navy), std::vector<int>{86});
    EXPECT_EQ(Render({"--pixels-per-second", "25", "--start-seconds", "20"}), byScaler);
    EXPECT_EQ(Render({"--end-seconds", "36", "--start-seconds", "20"}), byScaler);
    EXPECT_EQ(RunPeakTool({pek, "-o", dir.filePath("x.png"), "--scaler", "2", "--end-seconds", "30"}), 2);
    EXPECT_EQ(RunPeakTool({pek, "-o", dir.filePath("x.png"), "--start-seconds", "30", "--end-seconds", "30"}), 2);
    EXPECT_EQ(RunPeakTool({pek, "-o", dir.filePath("x.png"), "--pixels-per-second", "0"}), 2);
    // 100 records over 10000 columns a second is below a tenth of a record a column.
    EXPECT_EQ(RunPeakTool({pek, "-o", dir.filePath("x.png"), "--pixels-per-second", "10000"}), 2);
}

TEST_F(PeakToolRenderOptions, colorsAndChannelLayout)
{
    const QImage coloured = Render({"--colors", "#ff0000,white,#00ff00", "--start-seconds", "23"});
    EXPECT_EQ(coloured.pixel(45, 5), qRgb(255, 0, 0));      // the click
    EXPECT_EQ(coloured.pixel(200, 30), qRgb(255, 255, 255));  // background
    EXPECT_EQ(coloured.pixel(200, 100), qRgb(0, 255, 0));    // grid between the channels
    const QImage grid = Render({"--colors", ",,blue", "--start-seconds", "23"});
    EXPECT_EQ(grid.pixel(200, 30), ToQColor(clSilver).rgb());
    EXPECT_EQ(grid.pixel(200, 100), qRgb(0, 0, 255));
    EXPECT_EQ(RunPeakTool({pek, "-o", dir.filePath("x.png"), "--colors", "nocolour"}), 2);

    // Split (the default): the left channel's click stays in the upper band.
    const QImage split = Render({"--split-channels", "--start-seconds", "23"});
    EXPECT_EQ(split.pixel(45, 5), navy);
    EXPECT_NE(split.pixel(45, 150), navy);
    // Merged: one band over the whole height, the click from top to bottom.
    const QImage merged = Render({"--merge-channels", "--start-seconds", "23"});
    EXPECT_EQ(merged.pixel(45, 5), navy);
    EXPECT_EQ(merged.pixel(45, 150), navy);
    EXPECT_EQ(merged.pixel(45, 195), navy);
    EXPECT_NE(merged.pixel(200, 150), navy);
    EXPECT_EQ(RunPeakTool({pek, "-o", dir.filePath("x.png"), "--merge-channels", "--split-channels"}), 2);
}
TEST_F(PeakToolRender, rmsBandDiffersFromThePlainPictureOnlyInsideThePeaks)
{
    // Extremes at ±24576, RMS rising over the minute in the left channel.
    const QString pek = dir.filePath("rms.pek");
    ASSERT_TRUE(Write(pek, Stereo16(8000, 80, 60, [](int64_t, int) { return std::pair{57344u, 8192u}; })));
    const QString plainPng = dir.filePath("plain.png"), rmsPng = dir.filePath("rms.png");
    QByteArray err;
    // Without a side file: drawn, without the band, and said so.
    ASSERT_EQ(RunPeakTool({pek, "-o", rmsPng, "--width", "400", "--height", "200", "--rms", "--scaler", "7"}, &err), 0);
    EXPECT_TRUE(err.contains("without RMS")) << err.constData();
    ASSERT_EQ(RunPeakTool({pek, "-o", plainPng, "--width", "400", "--height", "200", "--scaler", "7"}), 0);
    const QImage plain(plainPng);
    EXPECT_EQ(QImage(rmsPng), plain);

    RmsData rms;
    rms.samplesPerPeak = 80;
    rms.rate = 8000;
    for (int r = 0; r < 6000; ++r)
        rms.values.insert(rms.values.end(), {static_cast<uint16_t>(r * 4), 6000});
    QString error;
    ASSERT_TRUE(WriteRmsFile(RmsFileFor(pek), rms, OutputRules().Input(pek), error)) << error.toStdString();
    ASSERT_EQ(RunPeakTool({pek, "-o", rmsPng, "--width", "400", "--height", "200", "--rms", "--scaler", "7"}, &err), 0);
    EXPECT_FALSE(err.contains("without RMS")) << err.constData();
    const QImage band(rmsPng);
    ASSERT_EQ(band.size(), plain.size());
    const QRgb navy = ToQColor(clNavy).rgb(), light = qRgb(127, 127, 191);
    int changed = 0;
    for (int y = 0; y < band.height(); ++y)
        for (int x = 0; x < band.width(); ++x)
            if (band.pixel(x, y) != plain.pixel(x, y)) {
                ASSERT_EQ(plain.pixel(x, y), navy) << x << "," << y;
                ASSERT_EQ(band.pixel(x, y), light) << x << "," << y;
                ++changed;
            }
    EXPECT_GT(changed, 400 * 2 * 10);
    // The left band grows with the RMS; the right one stays at 6000 (9 rows each way).
    EXPECT_EQ(band.pixel(20, 45), navy);
    EXPECT_EQ(band.pixel(380, 45), light);
    EXPECT_EQ(band.pixel(200, 142), light);
    EXPECT_EQ(band.pixel(200, 139), navy);
}
#endif

} // namespace

} // namespace kx
