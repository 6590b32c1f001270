#include <QDir>
#include <QImage>
#include <QProcess>
#include <gtest/gtest.h>

namespace kx {

// The real program on a real (virtual) X display: every page is saved as a
// picture for a person to look at.
TEST(TestBench, savesAScreenshotOfEveryPage_xvfb)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        GTEST_SKIP() << "needs an X display (run under xvfb-run)";
    const QString folder = QStringLiteral(KX_TEST_BINARY_DIR "/screenshots");
    QDir(folder).removeRecursively();
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(TESTBENCH), {"--media", EXAMPLE_MEDIA, "--screenshots", folder});
    ASSERT_TRUE(program.waitForFinished(90000));
    ASSERT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    const QStringList files = QString::fromUtf8(program.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(files.size(), 8);
    for (const QString& f : files) {
        std::printf("screenshot: %s\n", qPrintable(f));
        const QImage image(f);
        ASSERT_FALSE(image.isNull()) << f.toStdString();
        EXPECT_EQ(image.size(), QSize(706, 729));
    }
    // The viewer page shows the navy peaks of the example.
    const QImage viewer(files[1]);
    int navy = 0;
    for (int x = 60; x < 450; ++x)
        navy += viewer.pixelColor(x, 160) == QColor(0, 0, 128) ? 1 : 0;
    EXPECT_GT(navy, 5);
    // The overview page shows the same peaks twice: overview and zoom view.
    const QImage pair(files[6]);
    int pairNavy = 0;
    for (int y = 0; y < pair.height(); ++y)
        for (int x = 0; x < pair.width(); ++x)
            pairNavy += pair.pixelColor(x, y) == QColor(0, 0, 128) ? 1 : 0;
    EXPECT_GT(pairNavy, 500);
    // The spectrogram page shows the analysed example in colour, not a blank viewer.
    const QImage spectrogram(files[7]);
    int coloured = 0;
    for (int y = spectrogram.height() / 2; y < spectrogram.height(); ++y)
        for (int x = 0; x < spectrogram.width(); ++x)
            coloured += spectrogram.pixelColor(x, y).hsvSaturation() > 100 ? 1 : 0;
    EXPECT_GT(coloured, spectrogram.width() * spectrogram.height() / 8);
}

} // namespace kx
