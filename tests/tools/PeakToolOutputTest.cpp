// What peaktool writes, and what it never writes over: its inputs, devices,
// read-only files and files of another kind; and result lines that a name
// cannot break.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "peaks/PeakFormat.h"
#include "platform/FileKind.h"
#include "tests/support/TestMedia.h"
#include "tests/support/ToolRun.h"

namespace kx {

namespace {

ToolRun Peaktool(const QStringList& args)
{
    ToolRunOptions options;
    options.timeoutMs = 60000;
    return RunTool(QStringLiteral(PEAKTOOL), args, options);
}

QString Wav(const QTemporaryDir& dir, const QString& name, uint16_t channels = 2, double seconds = 1)
{
    const QString path = dir.filePath(name);
    const auto frames = uint32_t(44100 * seconds);
    TestMedia::WriteWav(path, {44100, channels, 16, frames}, TestMedia::Sine(220, 0.5, 44100));
    return path;
}

void Put(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

FileKind KindOfFile(const QString& path)
{
    const QByteArray b = ReadFileContents(path);
    return DetectFileKind(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(b.constData()), size_t(b.size())),
                          uint64_t(b.size()));
}

mode_t LinkMode(const QString& path)
{
    struct stat st {};
    return lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
}

class PeakToolOutput : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wav = Wav(dir, "a.wav");
        ASSERT_EQ(Peaktool({"build", "-q", wav}).code, 0);
        pek = dir.filePath("a.pek");
        ASSERT_EQ(Peaktool({"export", pek, "--format", "dat", "-o", dir.filePath("a.dat")}).code, 0);
        dat = dir.filePath("a.dat");
    }
    QTemporaryDir dir;
    QString wav, pek, dat;
};

} // namespace

TEST_F(PeakToolOutput, noCommandWritesOverItsInputUnderAnyName)
{
    ASSERT_TRUE(QFile::link(pek, dir.filePath("alias.json")));
    const QList<QStringList> runs = {
        {"export", pek, "--format", "json", "-o", pek},
        {"export", pek, "--format", "json", "-o", dir.filePath("alias.json"), "--force"},
        {"import", dat, "-o", dat, "--force"},
        {"render", pek, "-o", pek},
        {"wavpeaks", wav, "-o", wav, "--force"},
    };
    const QByteArray peaks = ReadFileContents(pek), data = ReadFileContents(dat), media = ReadFileContents(wav);
    for (const QStringList& args : runs) {
        const ToolRun r = Peaktool(args);
        EXPECT_EQ(r.code, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("would replace the input")) << r.err.toStdString();
    }
    EXPECT_EQ(ReadFileContents(pek), peaks);
    EXPECT_EQ(ReadFileContents(dat), data);
    EXPECT_EQ(ReadFileContents(wav), media);
}

TEST_F(PeakToolOutput, buildToWaveformDataKeepsItsMediaAndTheUsersFiles)
{
    // Media whose data would be itself, and the user's notes under another's data name.
    const QString media = dir.filePath("vcd.dat"), other = dir.filePath("v.wav"), notes = dir.filePath("v.dat");
    ASSERT_TRUE(QFile::copy(wav, media));
    Wav(dir, "v.wav");
    Put(notes, "notes\n");
    const QByteArray before = ReadFileContents(media);
    ToolRun r = Peaktool({"build", "--no-progress", "--format", "dat", media, other});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(ReadFileContents(media), before);
    EXPECT_EQ(ReadFileContents(notes), QByteArray("notes\n"));
    ASSERT_EQ(r.lines.size(), 2) << r.out.toStdString();
    EXPECT_TRUE(r.lines[0].startsWith("failed\t" + media + ": ") && r.lines[0].contains("would replace the input"))
        << r.lines[0].toStdString();
    EXPECT_TRUE(r.lines[1].startsWith("failed\t" + other + ": ") && r.lines[1].contains("another kind"))
        << r.lines[1].toStdString();

    // A read-only file of the right kind is kept too.
    const QString json = dir.filePath("a.json");
    ASSERT_EQ(Peaktool({"export", pek, "--format", "json", "-o", json}).code, 0);
    ASSERT_EQ(chmod(QFile::encodeName(json).constData(), 0444), 0);
    const QByteArray kept = ReadFileContents(json);
    QFile::remove(pek);  // so that the data is made, not taken as up to date
    r = Peaktool({"build", "--no-progress", "--format", "json", "--force", wav});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.contains("is read-only")) << r.out.toStdString();
    EXPECT_EQ(ReadFileContents(json), kept);
}

TEST_F(PeakToolOutput, devicesAndLinksToThemAreWrittenNotReplaced)
{
    if (access("/dev/null", W_OK) != 0)
        GTEST_SKIP() << "no writable /dev/null";
    const QString link = dir.filePath("zero.dat");
    ASSERT_TRUE(QFile::link("/dev/null", link));
    const QList<QStringList> runs = {
        {"export", pek, "--format", "dat", "-o", "/dev/null"},
        {"export", pek, "--format", "dat", "-o", link},
        {"import", dat, "-o", "/dev/null"},
        {"wavpeaks", wav, "-o", "/dev/null"},
        {"render", pek, "-o", link},
        {"build", "--no-progress", "--format", "json", "-o", "/dev/null", wav},
    };
    for (const QStringList& args : runs) {
        const ToolRun r = Peaktool(args);
        EXPECT_EQ(r.code, 0) << args.join(' ').toStdString() << "\n" << r.err.toStdString();
    }
    EXPECT_TRUE(S_ISCHR(LinkMode("/dev/null")));
    EXPECT_TRUE(S_ISLNK(LinkMode(link)));
    // /dev/stdout is the open stream, whatever it leads to.
    const ToolRun r = Peaktool({"export", pek, "--format", "dat", "-o", "/dev/stdout"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.bytes, ReadFileContents(dat));
}

TEST_F(PeakToolOutput, theOtherPeakLayoutIsReplacedOnlyWhenForced)
{
    const QByteArray builderPeaks = ReadFileContents(pek);
    ToolRun r = Peaktool({"wavpeaks", wav});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("--force")) << r.err.toStdString();
    EXPECT_EQ(ReadFileContents(pek), builderPeaks);
    ASSERT_EQ(Peaktool({"wavpeaks", "--force", wav}).code, 0);
    EXPECT_EQ(KindOfFile(pek), FileKind::WaveViewerPeaks);

    // The builder keeps the wave viewer's file, saying why, until forced.
    r = Peaktool({"build", "--no-progress", wav});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(KindOfFile(pek), FileKind::WaveViewerPeaks);
    r = Peaktool({"build", "--no-progress", "--force", wav});
    EXPECT_EQ(r.code, 0) << r.out.toStdString();
    EXPECT_EQ(r.lines, QStringList{"built\t" + wav + "\t" + pek});
    EXPECT_EQ(ReadFileContents(pek), builderPeaks);
}

TEST_F(PeakToolOutput, resultLinesFollowTheInputOrderAndNamesCannotFakeOne)
{
    // The duplicate and the collision come after the earlier inputs' results.
    const QString flac = dir.filePath("b.flac"), b = Wav(dir, "b.wav");
    ASSERT_TRUE(TestMedia::EncodeTone(flac, 0.5));
    const QString tricky = Wav(dir, "x\tbuilt\tfake\npasswd.wav");
    ToolRun r = Peaktool({"build", "--no-progress", "--jobs", "2", b, flac, tricky, b});
    EXPECT_EQ(r.code, 1);
    const QString escaped = dir.filePath("x\\tbuilt\\tfake\\npasswd");
    EXPECT_EQ(r.lines, (QStringList{"built\t" + b + "\t" + dir.filePath("b.pek"),
                                   "collides\t" + flac + "\t" + dir.filePath("b.pek"),
                                   "built\t" + escaped + ".wav\t" + escaped + ".pek", "duplicate\t" + b}))
        << r.out.toStdString();
    ASSERT_TRUE(QFile::exists(tricky));
    // A backslash of the name itself is escaped too, so lines read back unambiguously.
    const QString slash = Wav(dir, "back\\slash.wav");
    r = Peaktool({"build", "--no-progress", slash});
    EXPECT_EQ(r.lines.value(0), "built\t" + dir.filePath("back\\\\slash.wav") + "\t" + dir.filePath("back\\\\slash.pek"));
}

TEST_F(PeakToolOutput, waveformDataIsKeptWhenUpToDateAndGoesWhereItIsAskedTo)
{
    QFile::remove(pek);
    ToolRun r = Peaktool({"build", "--no-progress", "--format", "json", wav});
    ASSERT_EQ(r.code, 0) << r.out.toStdString();
    const QString json = dir.filePath("a.json");
    EXPECT_EQ(r.lines, QStringList{"built\t" + wav + "\t" + json});
    const QDateTime made = QFileInfo(json).lastModified();
    r = Peaktool({"build", "--no-progress", "--format", "json", wav});
    EXPECT_EQ(r.lines, QStringList{"has-peaks\t" + wav + "\t" + json});
    EXPECT_EQ(QFileInfo(json).lastModified(), made);
    r = Peaktool({"build", "--no-progress", "--format", "json", "--force", wav});
    EXPECT_EQ(r.lines, QStringList{"built\t" + wav + "\t" + json});

    // -o for one input, --output-dir for many; one name from two folders collides there.
    QDir(dir.path()).mkpath("out");
    QDir(dir.path()).mkpath("sub");
    const QString second = Wav(dir, "sub/a.wav");
    r = Peaktool({"build", "--no-progress", "--format", "dat", "--output-dir", dir.filePath("out"), wav, second});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.lines, (QStringList{"built\t" + wav + "\t" + dir.filePath("out/a.dat"),
                                   "collides\t" + second + "\t" + dir.filePath("out/a.dat")}));
    r = Peaktool({"build", "--no-progress", "--format", "dat", "-o", dir.filePath("one.dat"), second});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(KindOfFile(dir.filePath("one.dat")), FileKind::WaveformDat);
    r = Peaktool({"build", "--no-progress", "--format", "dat", "-o", "-", second});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.bytes, ReadFileContents(dir.filePath("one.dat")));
    EXPECT_EQ(Peaktool({"build", "--format", "dat", "-o", dir.filePath("x.dat"), wav, second}).code, 2);
}

TEST_F(PeakToolOutput, contentDecidesWhatAFileIs)
{
    // info reads fields from peak files only.
    ToolRun r = Peaktool({"info", wav});
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(r.out.contains("SamplesPerSecond")) << r.out.toStdString();
    EXPECT_TRUE(r.err.contains("not a peak file (it holds a WAV file)")) << r.err.toStdString();

    // Data of no pixels makes no peak file.
    QByteArray empty = ReadFileContents(dat).left(24);
    empty[16] = empty[17] = empty[18] = empty[19] = 0;
    Put(dir.filePath("empty.dat"), empty);
    r = Peaktool({"import", dir.filePath("empty.dat"), "-o", dir.filePath("empty.pek")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("no pixels")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath("empty.pek")));

    // JSON is JSON with a byte-order mark, and an array is named for what it is.
    const QString json = dir.filePath("a.json");
    ASSERT_EQ(Peaktool({"export", pek, "--format", "json", "-o", json}).code, 0);
    Put(dir.filePath("bom.json"), "\xEF\xBB\xBF" + ReadFileContents(json));
    r = Peaktool({"import", dir.filePath("bom.json"), "-o", dir.filePath("bom.pek")});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(ReadFileContents(dir.filePath("bom.pek")), ReadFileContents(pek));
    Put(dir.filePath("array.json"), "[1, 2, 3]");
    r = Peaktool({"import", dir.filePath("array.json"), "-o", dir.filePath("array.pek")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("not a JSON object")) << r.err.toStdString();
}

TEST_F(PeakToolOutput, wavFilesOfAnyChannelCountBuild)
{
    for (const uint16_t channels : std::initializer_list<uint16_t>{3, 7, 9, 12}) {
        const QString media = Wav(dir, QStringLiteral("c%1.wav").arg(channels), channels, 0.5);
        const ToolRun r = Peaktool({"build", "--no-progress", media});
        EXPECT_EQ(r.code, 0) << channels << " channels: " << r.out.toStdString() << r.err.toStdString();
        EXPECT_FALSE(r.err.contains("WARNING")) << r.err.toStdString();
        std::vector<uint8_t> peaks;
        EXPECT_EQ(ReadPeakFile(dir.filePath(QStringLiteral("c%1.pek").arg(channels)), PeakReader::ViewerFile, peaks),
                  PeakCheck::Accepted);
    }
}

} // namespace kx
