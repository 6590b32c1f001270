#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "peaks/PeakFormat.h"
#include "tests/support/TestMedia.h"

#include "tests/support/ToolRun.h"

namespace kx {

namespace {

ToolRun Tool(const QStringList& args, const QString& workingFolder = {}, int timeoutMs = 60000,
             const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    ToolRunOptions options;
    options.folder = workingFolder;
    options.environment = environment;
    options.timeoutMs = timeoutMs;
    return RunTool(QStringLiteral(PEAKTOOL), args, options);
}

bool ShortWav(const QString& path)
{
    return TestMedia::WriteWav(path, {44100, 2, 16, 44100}, TestMedia::Sine(330, 0.5, 44100));
}

void SetModified(const QString& path, const QDateTime& when)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
}

} // namespace

TEST(PeakToolWavpeaks, neverReplacesItsInputAndSaysWhyAFileIsRefused)
{
    QTemporaryDir dir;
    // A WAV that already carries the peak extension: the default output is itself.
    const QString take = dir.filePath("take1.pek"), wav = dir.filePath("a.wav");
    ASSERT_TRUE(ShortWav(take));
    ASSERT_TRUE(ShortWav(wav));
    const QByteArray before = ReadFileContents(take);
    ToolRun r = Tool({"wavpeaks", take});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("would replace the input")) << r.err.toStdString();
    EXPECT_EQ(ReadFileContents(take), before);
    ASSERT_TRUE(QFile::link(wav, dir.filePath("link.pek")));
    for (const QString& out : {wav, dir.filePath("link.pek"), dir.filePath("./a.wav")}) {
        r = Tool({"wavpeaks", wav, "-o", out});
        EXPECT_EQ(r.code, 1) << out.toStdString();
    }
    EXPECT_EQ(ReadFileContents(wav).size(), 44 + 44100 * 4);

    // Each cause named, not "Invalid file" for all of them.
    r = Tool({"wavpeaks", dir.filePath("missing.wav")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("no such file")) << r.err.toStdString();
    ASSERT_TRUE(TestMedia::WriteFile(dir.filePath("text.wav"), std::vector<uint8_t>(200, 'z')));
    r = Tool({"wavpeaks", dir.filePath("text.wav")});
    EXPECT_TRUE(r.err.contains("not a RIFF/WAVE file")) << r.err.toStdString();
    auto bytes = TestMedia::WavBytes({44100, 2, 16, 100}, TestMedia::Sine(1, 0.1, 44100));
    bytes[20] = 3;  // format tag: IEEE float
    ASSERT_TRUE(TestMedia::WriteFile(dir.filePath("float.wav"), bytes));
    r = Tool({"wavpeaks", dir.filePath("float.wav")});
    EXPECT_TRUE(r.err.contains("not PCM")) << r.err.toStdString();

    // A FIFO is refused at once instead of waiting for a writer forever.
    const QString fifo = dir.filePath("pipe.wav");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    r = Tool({"wavpeaks", fifo}, {}, 15000);
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("not a regular file")) << r.err.toStdString();
}

TEST(PeakToolWavpeaks, sparseInputsAreRefusedBeforeTheyCostMemory)
{
    QTemporaryDir dir;
    // 300 MB of silence at 1 Hz, on disk only as a hole: one record per frame.
    const QString wav = dir.filePath("sparse.wav");
    auto header = TestMedia::WavBytes({1, 1, 16, 0}, TestMedia::Sine(1, 0.1, 1));
    const uint32_t dataSize = 300000000;
    for (int i = 0; i < 4; ++i) {
        header[40 + size_t(i)] = uint8_t(dataSize >> (8 * i));
        header[4 + size_t(i)] = uint8_t((dataSize + 36) >> (8 * i));
    }
    ASSERT_TRUE(TestMedia::WriteFile(wav, header));
    ASSERT_EQ(truncate(QFile::encodeName(wav).constData(), off_t(44 + dataSize)), 0);
    ToolRun r = Tool({"wavpeaks", wav, "-o", dir.filePath("out.pek")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("MiB")) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("out.pek")));

    // A peak file of 1 GiB that is all hole.
    const QString peak = dir.filePath("big.pek");
    std::vector<uint8_t> b(PeakHeaderSize);
    EncodePeakHeader(MakePeakHeader(44100, 2, 16, 100, 600 * 10000000LL), b.data());
    ASSERT_TRUE(TestMedia::WriteFile(peak, b));
    ASSERT_EQ(truncate(QFile::encodeName(peak).constData(), off_t(1) << 30), 0);
    r = Tool({"render", peak, "-o", dir.filePath("big.png")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("MiB")) << r.err.toStdString();
}

TEST(PeakToolBuild, everyInputGetsALineSayingWhatHappenedAndWhy)
{
    QTemporaryDir dir;
    const QString a = dir.filePath("a.wav"), flac = dir.filePath("a.flac"), text = dir.filePath("t.wav");
    ASSERT_TRUE(ShortWav(a));
    ASSERT_TRUE(TestMedia::EncodeTone(flac, 0.5));
    ASSERT_TRUE(TestMedia::WriteFile(text, std::vector<uint8_t>(3000, 'z')));
    ToolRun r = Tool({"build", "--no-progress", a, flac, text, a});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.lines.filter("built\t" + a).size(), 1) << r.lines.join('\n').toStdString();
    // Same peak file as a.wav: reported, never silently dropped.
    EXPECT_TRUE(r.lines.contains("collides\t" + flac + "\t" + dir.filePath("a.pek"))) << r.lines.join('\n').toStdString();
    EXPECT_TRUE(r.lines.contains("duplicate\t" + a));
    const QStringList failed = r.lines.filter(QRegularExpression("^failed\t" + QRegularExpression::escape(text) + ": .+"));
    ASSERT_EQ(failed.size(), 1) << r.lines.join('\n').toStdString();
    EXPECT_FALSE(failed[0].contains("cannot start decoding")) << failed[0].toStdString();

    // The media replaced after its peaks were made: rebuilt, and said so.
    const QStringList rebuilt = {"stale\t" + a, "built\t" + a + "\t" + dir.filePath("a.pek")};
    SetModified(dir.filePath("a.pek"), QFileInfo(a).lastModified().addSecs(-30));
    r = Tool({"build", "--no-progress", a});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.lines, rebuilt);
    r = Tool({"build", "--no-progress", a});
    EXPECT_EQ(r.lines, (QStringList{"has-peaks\t" + a + "\t" + dir.filePath("a.pek")}));
    // Media dated in the future stay newer than any new peak file: built once.
    SetModified(a, QDateTime::currentDateTime().addSecs(3600));
    r = Tool({"build", "--no-progress", a});
    EXPECT_EQ(r.lines, rebuilt);
}

TEST(PeakToolBuild, twoBuildsOfOneFileAtOnceLeaveOneWholePeakFile)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath("a.wav"), peak = dir.filePath("a.pek");
    ASSERT_TRUE(TestMedia::WriteWav(wav, {44100, 2, 16, 44100 * 20}, TestMedia::Sine(200, 0.5, 44100)));
    for (int round = 0; round < 3; ++round) {
        QFile::remove(peak);
        QProcess one, two;
        one.start(QStringLiteral(PEAKTOOL), {"build", "--no-progress", "--samples-per-peak", "100", wav});
        two.start(QStringLiteral(PEAKTOOL), {"build", "--no-progress", "--samples-per-peak", "37", wav});
        ASSERT_TRUE(one.waitForFinished(60000) && two.waitForFinished(60000));
        EXPECT_EQ(one.exitCode(), 0);
        EXPECT_EQ(two.exitCode(), 0);
        // Whichever won, its records and its header belong together.
        std::vector<uint8_t> bytes;
        ASSERT_EQ(ReadPeakFile(peak, PeakReader::ViewerFile, bytes), PeakCheck::Accepted);
        const auto h = DecodePeakHeader(bytes);
        ASSERT_TRUE(h);
        const int64_t frames = 20 * 48000;
        ASSERT_TRUE(h->SamplesPerPeak == 100 || h->SamplesPerPeak == 37) << h->SamplesPerPeak;
        EXPECT_EQ(PeakRecordCount(*h, bytes.size()), (frames + h->SamplesPerPeak - 1) / h->SamplesPerPeak);
        EXPECT_EQ(bytes.size() % 8, size_t(PeakHeaderSize % 8));
        EXPECT_TRUE(QDir(dir.path()).entryList({"*.partial"}, QDir::Files).isEmpty());
    }
}

TEST(PeakToolBuild, aMissingDecoderIsNamed)
{
    QTemporaryDir dir;
    const QString mp3 = dir.filePath("a.mp3");
    ASSERT_TRUE(TestMedia::EncodeTone(mp3, 0.5));
    // Every MP3 decoder out of automatic plugging, as on a system without them.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("GST_PLUGIN_FEATURE_RANK",
               "mpg123audiodec:NONE,avdec_mp3:NONE,avdec_mp3float:NONE,avdec_mp2float:NONE,avdec_mp1float:NONE");
    const ToolRun r = Tool({"build", "--no-progress", mp3}, {}, 60000, env);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.lines, (QStringList{"failed\t" + mp3 + ": missing GStreamer plug-in: MPEG-1 Layer 3 (MP3) decoder"}));
}

TEST(PeakToolBuild, aWaveViewerPeakFileIsNamedByEveryReader)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath("a.wav"), own = dir.filePath("a.pek");
    ASSERT_TRUE(ShortWav(wav));
    ASSERT_EQ(Tool({"wavpeaks", wav}).code, 0);
    ASSERT_TRUE(QFileInfo::exists(own));
    for (const QStringList& args : {QStringList{"info", own}, QStringList{"render", own, "-o", dir.filePath("x.png")}}) {
        const ToolRun r = Tool(args);
        EXPECT_EQ(r.code, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("wave viewer's peak file")) << r.err.toStdString();
    }
    const ToolRun r = Tool({"build", "--no-progress", wav});
    EXPECT_EQ(r.code, 1);
    ASSERT_EQ(r.lines.size(), 1);
    EXPECT_TRUE(r.lines[0].startsWith("failed\t" + wav + ": ")) << r.lines[0].toStdString();
    EXPECT_TRUE(r.lines[0].contains("wave viewer's peak file")) << r.lines[0].toStdString();
}

TEST(PeakToolStatus, relativeNamesAreReportedAbsoluteAndFindTheirPeakFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(ShortWav(dir.filePath("rel.wav")));
    ASSERT_EQ(Tool({"build", "--no-progress", dir.filePath("rel.wav")}).code, 0);
    const ToolRun r = Tool({"status", "rel.wav"}, dir.path());
    EXPECT_TRUE(r.lines.contains("OnPeakNew\t0\t" + dir.filePath("rel.wav") + "\t" + dir.filePath("rel.pek")))
        << r.lines.join('\n').toStdString();
    EXPECT_EQ(r.lines.value(r.lines.size() - 1), "files: 1 missing: 0 filled: 1");
}

} // namespace kx
