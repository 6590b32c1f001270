#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "PeakTestData.h"
#include "platform/Color.h"

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
#endif

} // namespace

} // namespace kx
