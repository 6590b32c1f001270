// peaktool waveform's pictures checked pixel by pixel, and every file it
// writes checked against the output rules.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QImage>
#include <QTemporaryDir>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/TestMedia.h"
#include "tests/support/ToolRun.h"

namespace kx {

namespace {

ToolRun Waveform(const QStringList& args)
{
    return RunTool(QStringLiteral(PEAKTOOL), QStringList{"waveform"} + args);
}

// Silence with full-scale clicks at the given frames of the given channels.
TestMedia::Signal Clicks(std::vector<std::pair<int64_t, int>> at, double quiet = 0)
{
    return [at, quiet](int64_t frame, int channel) {
        for (const auto& [f, c] : at)
            if (f == frame && c == channel)
                return 1.0;
        return quiet * ((frame / 3) % 2 ? 1 : -1);
    };
}

// Pixels of the column that have this colour.
int CountInColumn(const QImage& image, int x, QRgb color, int top = 0, int bottom = -1)
{
    int n = 0;
    for (int y = top; y < (bottom < 0 ? image.height() : bottom); ++y)
        n += image.pixel(x, y) == color;
    return n;
}

class PeakToolWaveformPicture : public ::testing::Test
{
protected:
    QString Path(const QString& name) const { return dir.filePath(name); }
    QImage Draw(const QString& media, const QStringList& options)
    {
        const QString png = Path("out.png");
        QFile::remove(png);
        const ToolRun r = Waveform(QStringList{"-i", media, "-o", png} + options);
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        return QImage(png);
    }
    QTemporaryDir dir;
};

const QRgb Wave = qRgb(0x12, 0x34, 0x56);

} // namespace

TEST_F(PeakToolWaveformPicture, aClickLandsInTheColumnOfItsTime)
{
    // 8000 Hz, 80 frames a column: 100 columns a second; a click at 1.5 s.
    ASSERT_TRUE(TestMedia::WriteWav(Path("c.wav"), {8000, 1, 16, 24000}, Clicks({{12000, 0}})));
    const QStringList common{"-z", "80", "-w", "300", "-h", "100", "--waveform-color", "123456"};
    QImage image = Draw(Path("c.wav"), common + QStringList{"--no-axis-labels"});
    ASSERT_EQ(image.size(), QSize(300, 100));
    EXPECT_GT(CountInColumn(image, 150, Wave), 45);
    for (int x : {149, 151, 10, 299})
        EXPECT_LE(CountInColumn(image, x, Wave), 1) << x;
    // With the border the waveform moves in by its one pixel.
    image = Draw(Path("c.wav"), common);
    EXPECT_GT(CountInColumn(image, 151, Wave), 45);
    EXPECT_LE(CountInColumn(image, 150, Wave), 1);
    // From --start on: 1 s in, the click is half a second (50 columns) away.
    image = Draw(Path("c.wav"), common + QStringList{"--no-axis-labels", "-s", "1"});
    EXPECT_GT(CountInColumn(image, 50, Wave), 45);
    // --end with the width: 2 s in 200 columns, so 100 a second again.
    image = Draw(Path("c.wav"), QStringList{"-e", "2", "-w", "200", "-h", "100", "--waveform-color", "123456",
                                            "--no-axis-labels"});
    EXPECT_GT(CountInColumn(image, 150, Wave), 45);
    // Compression changes the bytes, never the picture.
    const QString tight = Path("tight.png"), loose = Path("loose.png");
    ASSERT_EQ(Waveform(QStringList{"-i", Path("c.wav"), "-o", tight, "--compression", "9"} + common).code, 0);
    ASSERT_EQ(Waveform(QStringList{"-i", Path("c.wav"), "-o", loose, "--compression", "0"} + common).code, 0);
    EXPECT_LT(QFileInfo(tight).size(), QFileInfo(loose).size());
    EXPECT_EQ(QImage(tight), QImage(loose));
    // SVG has the same geometry.
    ASSERT_EQ(Waveform(QStringList{"-i", Path("c.wav"), "-o", Path("c.svg"), "--no-axis-labels"} + common).code, 0);
    const QByteArray svg = ReadFileContents(Path("c.svg"));
    EXPECT_TRUE(svg.startsWith("<?xml"));
    EXPECT_TRUE(svg.contains("<rect x=\"150\" y=\"0\" width=\"1\"")) << svg.left(600).toStdString();
}

TEST_F(PeakToolWaveformPicture, zoomAutoFitsTheWholeFileAndAmplitudeAutoFillsTheHeight)
{
    // A quiet file whose last frame clicks.
    ASSERT_TRUE(TestMedia::WriteWav(Path("q.wav"), {22050, 1, 16, 22050 * 3}, Clicks({{22050 * 3 - 1, 0}}, 0.05)));
    QImage image = Draw(Path("q.wav"), {"-z", "auto", "-w", "400", "-h", "100", "--no-axis-labels",
                                        "--waveform-color", "123456"});
    // ceil(66150 / 400) = 166 frames a column: the last frame is in column 398.
    EXPECT_GT(CountInColumn(image, 398, Wave), 45);
    EXPECT_EQ(CountInColumn(image, 399, Wave), 0);
    // From waveform data the zoom goes up to a multiple of the data's:
    // 64 frames, so ceil(66150 / 400 / 64) * 64 = 192 a column, the click in column 344.
    ASSERT_EQ(Waveform({"-i", Path("q.wav"), "-o", Path("q.dat"), "-z", "64"}).code, 0);
    image = Draw(Path("q.dat"), {"-z", "auto", "-w", "400", "-h", "100", "--no-axis-labels", "--waveform-color",
                                 "123456"});
    EXPECT_GT(CountInColumn(image, 344, Wave), 45);
    EXPECT_EQ(CountInColumn(image, 345, Wave), 0);
    // Without the click the quiet signal is a thin band; auto scale fills the height.
    ASSERT_TRUE(TestMedia::WriteWav(Path("q2.wav"), {22050, 1, 16, 22050}, Clicks({}, 0.05)));
    image = Draw(Path("q2.wav"), {"-z", "auto", "-w", "100", "-h", "100", "--no-axis-labels", "--waveform-color",
                                  "123456"});
    EXPECT_LT(CountInColumn(image, 50, Wave), 10);
    image = Draw(Path("q2.wav"), {"-z", "auto", "-w", "100", "-h", "100", "--no-axis-labels", "--waveform-color",
                                  "123456", "--amplitude-scale", "auto"});
    EXPECT_GE(CountInColumn(image, 50, Wave), 99);
}

TEST_F(PeakToolWaveformPicture, axisLabelsBorderAndTransparency)
{
    ASSERT_TRUE(TestMedia::WriteWav(Path("l.wav"), {8000, 1, 16, 8000 * 5}, Clicks({})));
    const QImage image = Draw(Path("l.wav"), {"-z", "80", "-w", "450", "-h", "120", "--border-color", "00ff00",
                                              "--axis-label-color", "ff0000", "--background-color", "ffffff00"});
    ASSERT_EQ(image.size(), QSize(450, 120));
    const QRgb border = qRgb(0, 255, 0);
    // A border all round, and ticks every second (100 columns) at top and bottom.
    EXPECT_EQ(CountInColumn(image, 0, border), 120);
    EXPECT_EQ(image.pixel(200, 0), border);
    for (int x : {1, 101, 201, 301, 401}) {
        EXPECT_EQ(CountInColumn(image, x, border, 0, 10), 10) << x;
        EXPECT_EQ(CountInColumn(image, x, border, 110, 120), 10) << x;
    }
    EXPECT_EQ(CountInColumn(image, 50, border, 1, 119), 0);
    // Red label text right of every tick, none between.
    const auto redIn = [&](int x0, int x1) {
        int n = 0;
        for (int x = x0; x < x1; ++x)
            for (int y = 10; y < 30; ++y) {
                const QColor c = image.pixelColor(x, y);
                n += c.alpha() > 100 && c.red() > 150 && c.green() < 100 && c.blue() < 100;
            }
        return n;
    };
    for (int x : {1, 101, 201, 301, 401})
        EXPECT_GT(redIn(x + 2, x + 30), 5) << x;
    EXPECT_EQ(redIn(60, 95), 0);
    // The background is transparent where asked; what is drawn is opaque.
    EXPECT_EQ(qAlpha(image.pixel(50, 30)), 0);
    EXPECT_EQ(qAlpha(image.pixel(0, 60)), 255);
}

TEST_F(PeakToolWaveformPicture, splitChannelsAndBars)
{
    // The right channel clicks at column 20; the left stays silent.
    ASSERT_TRUE(TestMedia::WriteWav(Path("s.wav"), {8000, 2, 16, 8000}, Clicks({{20 * 80 + 5, 1}})));
    QImage image = Draw(Path("s.wav"), {"-z", "80", "-w", "100", "-h", "100", "--no-axis-labels", "--split-channels",
                                        "--waveform-color", "123456"});
    EXPECT_LE(CountInColumn(image, 20, Wave, 0, 50), 1);
    EXPECT_GT(CountInColumn(image, 20, Wave, 50, 100), 20);
    // Bars of 8 columns every 12: each stands for its columns and the gap
    // after it, so the click (column 20, in the gap) raises the bar at 12..19
    // to the mono mix: half the height.
    image = Draw(Path("s.wav"), {"-z", "80", "-w", "100", "-h", "100", "--no-axis-labels", "--waveform-style", "bars",
                                 "--bar-width", "8", "--bar-gap", "4", "--waveform-color", "123456"});
    for (int x = 12; x < 20; ++x)
        EXPECT_GT(CountInColumn(image, x, Wave), 45) << x;
    for (int x = 20; x < 24; ++x)
        EXPECT_EQ(CountInColumn(image, x, Wave), 0) << x;
    EXPECT_LE(CountInColumn(image, 4, Wave), 2);
}

TEST_F(PeakToolWaveformPicture, longFilesAreLabelledInHours)
{
    // 1 h 2 min of silence at 1000 Hz, mostly a hole on disk.
    const QString wav = Path("long.wav");
    auto header = TestMedia::WavBytes({1000, 1, 16, 0}, Clicks({}));
    const uint32_t dataSize = 1000 * 2 * 3720;
    for (int i = 0; i < 4; ++i) {
        header[40 + size_t(i)] = uint8_t(dataSize >> (8 * i));
        header[4 + size_t(i)] = uint8_t((dataSize + 36) >> (8 * i));
    }
    ASSERT_TRUE(TestMedia::WriteFile(wav, header));
    ASSERT_EQ(truncate(QFile::encodeName(wav).constData(), off_t(44 + dataSize)), 0);
    ASSERT_EQ(Waveform({"-i", wav, "-o", Path("long.svg"), "-z", "auto", "-w", "1000"}).code, 0);
    const QByteArray svg = ReadFileContents(Path("long.svg"));
    EXPECT_TRUE(svg.contains(">0:00</text>"));
    EXPECT_TRUE(svg.contains(">1:00:00</text>")) << svg.right(800).toStdString();
}

TEST_F(PeakToolWaveformPicture, outputsNeverReplaceInputsOrFilesOfAnotherKind)
{
    const QString wav = Path("in.wav");
    ASSERT_TRUE(TestMedia::WriteWav(wav, {8000, 1, 16, 800}, Clicks({{5, 0}})));
    const QByteArray original = ReadFileContents(wav);
    // The input under its own name, through a link, and as audio output.
    ASSERT_TRUE(QFile::link(wav, Path("link.wav")));
    ASSERT_TRUE(QFile::link(wav, Path("link.png")));
    for (const QString& out : {wav, Path("link.wav"), Path("link.png"), Path("./in.wav")}) {
        const ToolRun r = Waveform({"-i", wav, "-o", out});
        EXPECT_EQ(r.code, 1) << out.toStdString();
        EXPECT_FALSE(r.err.isEmpty());
    }
    EXPECT_EQ(ReadFileContents(wav), original);
    // Other media is never replaced by decoded audio; a picture never replaces data.
    ASSERT_TRUE(TestMedia::WriteWav(Path("other.wav"), {8000, 1, 16, 10}, Clicks({})));
    EXPECT_EQ(Waveform({"-i", wav, "-o", Path("other.wav")}).code, 1);
    ASSERT_EQ(Waveform({"-i", wav, "-o", Path("d.dat")}).code, 0);
    ASSERT_TRUE(QFile::copy(Path("d.dat"), Path("d.png")));
    EXPECT_EQ(Waveform({"-i", wav, "-o", Path("d.png")}).code, 1);
    EXPECT_EQ(ReadFileContents(Path("d.png")), ReadFileContents(Path("d.dat")));
    // A read-only file stays.
    ASSERT_EQ(Waveform({"-i", wav, "-o", Path("ro.json")}).code, 0);
    const QByteArray ro = ReadFileContents(Path("ro.json"));
    ASSERT_EQ(chmod(QFile::encodeName(Path("ro.json")).constData(), 0444), 0);
    EXPECT_EQ(Waveform({"-i", wav, "-o", Path("ro.json"), "-z", "10"}).code, 1);
    EXPECT_EQ(ReadFileContents(Path("ro.json")), ro);
    // Devices are written directly, and nothing is left behind anywhere.
    for (const QString& ext : QStringList{"dat", "json", "wav", "png", "svg"})
        EXPECT_EQ(Waveform({"-i", wav, "-o", "/dev/null", "--output-format", ext}).code, 0) << ext.toStdString();
    // A FIFO gets the whole data, header first.
    const QString fifo = Path("pipe.dat");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QByteArray fromFifo;
    {
        QProcess reader;
        reader.start(QStringLiteral("cat"), {fifo});
        ASSERT_TRUE(reader.waitForStarted());
        ASSERT_EQ(Waveform({"-i", wav, "-o", fifo}).code, 0);
        ASSERT_TRUE(reader.waitForFinished(20000));
        fromFifo = reader.readAllStandardOutput();
    }
    EXPECT_EQ(fromFifo, ReadFileContents(Path("d.dat")));
    const QStringList left = QDir(dir.path()).entryList({"*.partial"}, QDir::Files | QDir::Hidden);
    EXPECT_TRUE(left.isEmpty()) << left.join(' ').toStdString();
}

} // namespace kx
