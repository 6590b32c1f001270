#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "WavTestFiles.h"

#ifdef KX_PEAKTOOL

#include "tests/support/ToolRun.h"

namespace kx {

using namespace WavTest;

namespace {

ToolRun PeakTool(const QStringList& args)
{
    ToolRunOptions options;
    options.timeoutMs = 30000;
    return RunTool(QStringLiteral(KX_PEAKTOOL), QStringList{"wavpeaks"} + args, options);
}

void Write(const QString& path, const std::vector<uint8_t>& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
}

} // namespace

TEST(PeakToolWavPeaks, writesTheViewersPeakFileForTheGivenWidth)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath("a.wav");
    const auto pcm = Noise(8000 * 2 * 2, 21);
    Write(wav, Riff({Fmt(2, 8000, 8), Chunk("data", pcm)}));
    // 2 s over 100 columns at 8000 Hz: 160 frames a record.
    const ToolRun r = PeakTool({wav, "--seconds", "2", "--width", "100", "-o", dir.filePath("out.pk")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << "no progress bar into a pipe: " << r.err.toStdString();
    QFile f(dir.filePath("out.pk"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    const auto expected = ExpectedRecords(pcm, 2, 8, 160);
    ASSERT_EQ(static_cast<size_t>(bytes.size()), 14 + expected.size());
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 14, bytes.end()), expected);

    // Without -o the file goes beside the WAV.
    EXPECT_EQ(PeakTool({wav}).code, 0);
    EXPECT_TRUE(QFile::exists(dir.filePath("a.pek")));
}

TEST(PeakToolWavPeaks, failuresGoToStderrWithExitStatusOne)
{
    QTemporaryDir dir;
    const QString bad = dir.filePath("bad.wav");
    Write(bad, Riff({Fmt(1, 8000, 24), Chunk("data", {0, 0, 0})}));
    ToolRun r = PeakTool({bad});
    EXPECT_EQ(r.code, 1);
    // The cause itself, not the viewer's "Invalid file" for every one.
    EXPECT_TRUE(r.err.contains("only 8- and 16-bit samples are shown")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("bad.pek")));

    const QString good = dir.filePath("good.wav");
    Write(good, Riff({Fmt(1, 8000, 8), Chunk("data", Noise(100, 3))}));
    r = PeakTool({good, "-o", dir.filePath("missing/dir/x.pek")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("missing/dir") && r.err.contains("No such file or directory")) << r.err.toStdString();

    EXPECT_EQ(PeakTool({good, "--width", "5"}).code, 2);
    EXPECT_EQ(PeakTool({}).code, 2);
}

#endif

} // namespace kx
