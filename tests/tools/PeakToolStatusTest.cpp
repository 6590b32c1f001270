#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "peaks/PeakFormat.h"

#include "tests/support/ToolRun.h"

namespace kx {

namespace {

using Result = ToolRun;

ToolRun RunPeakTool(const QStringList& args)
{
    ToolRunOptions options;
    options.timeoutMs = 60000;
    return RunTool(QStringLiteral(PEAKTOOL), args, options);
}

void WriteBytes(const QString& path, const std::vector<uint8_t>& b)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(b.data()), qint64(b.size()));
}

} // namespace

TEST(PeakToolInfo, printsTheHeaderAndTheReadersVerdicts)
{
    QTemporaryDir dir;
    std::vector<uint8_t> b(PeakHeaderSize + 8 * 3, 0x80);
    EncodePeakHeader(MakePeakHeader(44100, 2, 16, 100, 10 * 10000000LL), b.data());
    WriteBytes(dir.filePath("a.pek"), b);
    const Result r = RunPeakTool({"info", dir.filePath("a.pek")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "Magic: PEAK\nBytesPerPeak: 4\nChannels: 2\nSamplesPerSecond: 44100\nPcmByteCount: 1764000\n"
                     "SamplesPerPeak: 100\nRecords: 3\nDurationMs: 10000\nBuilder: accepted\nViewer: accepted\n");
}

TEST(PeakToolInfo, refusedFilesExitOneAndSayWhy)
{
    QTemporaryDir dir;
    std::vector<uint8_t> header(PeakHeaderSize);
    EncodePeakHeader(MakePeakHeader(44100, 2, 16, 100, 10000000), header.data());
    WriteBytes(dir.filePath("h.pek"), header);  // header only: the builder takes it, the viewer does not
    Result r = RunPeakTool({"info", dir.filePath("h.pek")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.contains("Builder: accepted\nViewer: refused"));
    EXPECT_TRUE(r.err.contains("no peak records")) << r.err.toStdString();

    r = RunPeakTool({"info", dir.filePath("missing.pek")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("cannot be opened"));

    EXPECT_EQ(RunPeakTool({"info"}).code, 2);
    EXPECT_EQ(RunPeakTool({"info", "a", "b"}).code, 2);
    EXPECT_EQ(RunPeakTool({"nonsense"}).code, 2);
    EXPECT_EQ(RunPeakTool({"info", "--help"}).code, 0);
}

TEST(PeakToolStatus, reportsEveryEventAndTheTotals)
{
    QTemporaryDir dir;
    const QString media = QStringLiteral(EXAMPLE_MEDIA);
    QFile::copy(media + "/beats.wav", dir.filePath("beats.wav"));
    QFile::copy(media + "/melody.wav", dir.filePath("melody.wav"));
    std::vector<uint8_t> b(PeakHeaderSize + 8, 0x80);
    EncodePeakHeader(MakePeakHeader(44100, 2, 16, 100, 10000000), b.data());
    WriteBytes(dir.filePath("melody.pek"), b);

    const Result r = RunPeakTool({"status", "--temp-folder", dir.path(), dir.filePath("beats.wav"), dir.filePath("melody.wav"),
                          dir.filePath("beats.wav")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    const QString d = dir.path();
    EXPECT_EQ(r.out, QStringLiteral("OnPeakMissing\t0\t%1/beats.wav\t%1/beats.pek\n"
                                    "OnPeakBefore\t1\t%1/melody.wav\t%1/melody.pek\n"
                                    "OnPeakNew\t1\t%1/melody.wav\t%1/melody.pek\n"
                                    "OnDuplicateFile\t%1/beats.wav\t0\n"
                                    "files: 2 missing: 1 filled: 1\n")
                         .arg(d));
    EXPECT_EQ(RunPeakTool({"status"}).code, 2);
    EXPECT_EQ(RunPeakTool({"status", "--bogus", "x"}).code, 2);
}

} // namespace kx
