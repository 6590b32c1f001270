#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/FileKind.h"
#include "platform/LittleEndian.h"
#include "platform/OutputFile.h"

namespace kx {

namespace {

QByteArray Bytes(const std::vector<uint8_t>& v)
{
    return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
}

FileKind KindOf(const QByteArray& b)
{
    return DetectFileKind(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(b.constData()), size_t(b.size())),
                          uint64_t(b.size()));
}

// A builder peak file: 16-byte header and `records` stereo 16-bit records.
QByteArray BuilderPeaks(int records = 10)
{
    std::vector<uint8_t> b(16 + size_t(records) * 8, 0x80);
    std::memcpy(b.data(), "PEAK", 4);
    b[4] = 4;
    b[5] = 2;
    WriteU32LE(b.data() + 6, 44100);
    WriteU32LE(b.data() + 10, uint32_t(records) * 100 * 4);
    WriteU16LE(b.data() + 14, 100);
    return Bytes(b);
}

// The wave viewer's layout: 14-byte header, records of (max, min) per channel.
QByteArray WaveViewerPeaks()
{
    std::vector<uint8_t> b(14 + 7 * 8, 0x10);
    std::memcpy(b.data(), "PEAK", 4);
    b[4] = 4;  // block align: 16-bit stereo
    b[5] = 2;
    WriteU32LE(b.data() + 6, 44100);
    WriteU32LE(b.data() + 10, 44100 * 4);
    return Bytes(b);
}

QByteArray WaveformDat()
{
    std::vector<uint8_t> b(24 + 8, 0);
    WriteU32LE(b.data(), 2);
    WriteU32LE(b.data() + 8, 44100);
    WriteU32LE(b.data() + 12, 256);
    WriteU32LE(b.data() + 16, 2);
    WriteU32LE(b.data() + 20, 1);
    return Bytes(b);
}

const QByteArray WaveformJson = "\xEF\xBB\xBF {\"version\":2,\"channels\":1,\"sample_rate\":44100,\"data\":[]}";
const QByteArray Png = "\x89PNG\r\n\x1a\n rest of a picture";
const QByteArray Wav = QByteArray("RIFF\x24\0\0\0WAVEfmt ", 16) + QByteArray(40, '\0');

OutputRules Rules(FileKind kind, bool force = false)
{
    OutputRules r;
    r.kind = kind;
    r.force = force;
    return r;
}

class OutputFileTest : public ::testing::Test
{
protected:
    QString Path(const char* name) const { return dir_.filePath(QLatin1String(name)); }
    static QByteArray Native(const QString& p) { return QFile::encodeName(p); }
    static void Put(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    static QByteArray Get(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // Everything in the folder: no temporary file may stay behind.
    int Entries() const { return int(QDir(dir_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System).size()); }

    QTemporaryDir dir_;
};

} // namespace

TEST(FileKind, everyKindTheProgramsWriteIsToldApartByItsBytes)
{
    EXPECT_EQ(KindOf({}), FileKind::Empty);
    EXPECT_EQ(KindOf(BuilderPeaks()), FileKind::BuilderPeaks);
    EXPECT_EQ(KindOf(WaveViewerPeaks()), FileKind::WaveViewerPeaks);
    EXPECT_EQ(KindOf(WaveformDat()), FileKind::WaveformDat);
    EXPECT_EQ(KindOf(WaveformJson), FileKind::WaveformJson);
    EXPECT_EQ(KindOf(Png), FileKind::Picture);
    EXPECT_EQ(KindOf("\xFF\xD8\xFF\xE0 jpeg"), FileKind::Picture);
    EXPECT_EQ(KindOf("<?xml version=\"1.0\"?>\n<svg width=\"10\"/>"), FileKind::Picture);
    EXPECT_EQ(KindOf(Wav), FileKind::Wav);
    EXPECT_EQ(KindOf("digraph pipeline {\n}"), FileKind::GraphDump);
    // Text, other JSON, and binary data whose first words only look like a header.
    EXPECT_EQ(KindOf("notes\n"), FileKind::Other);
    EXPECT_EQ(KindOf("{\"segments\":[]}"), FileKind::Other);
    QByteArray zeros = WaveformDat();
    WriteU32LE(reinterpret_cast<uint8_t*>(zeros.data()) + 8, 0);  // no sample rate
    EXPECT_EQ(KindOf(zeros), FileKind::Other);
}

TEST(FileKind, onlyPeakLayoutsAndWaveformDataGiveWayToEachOtherWhenForced)
{
    const FileKind data[] = {FileKind::BuilderPeaks, FileKind::WaveViewerPeaks, FileKind::WaveformDat,
                             FileKind::WaveformJson};
    for (FileKind w : data)
        for (FileKind f : data) {
            EXPECT_EQ(KindMayReplace(w, f, false), w == f) << int(w) << " over " << int(f);
            EXPECT_TRUE(KindMayReplace(w, f, true)) << int(w) << " over " << int(f);
        }
    for (bool force : {false, true}) {
        EXPECT_TRUE(KindMayReplace(FileKind::Picture, FileKind::Empty, force));
        EXPECT_TRUE(KindMayReplace(FileKind::Picture, FileKind::Picture, force));
        EXPECT_FALSE(KindMayReplace(FileKind::Picture, FileKind::BuilderPeaks, force));
        EXPECT_FALSE(KindMayReplace(FileKind::BuilderPeaks, FileKind::Picture, force));
        EXPECT_FALSE(KindMayReplace(FileKind::BuilderPeaks, FileKind::Other, force));
        // Media is never replaced, not even by media.
        EXPECT_FALSE(KindMayReplace(FileKind::Wav, FileKind::Wav, force));
        EXPECT_FALSE(KindMayReplace(FileKind::WaveformDat, FileKind::Wav, force));
    }
}

TEST_F(OutputFileTest, refusesInputsReadOnlyFilesFoldersAndOtherKindsAndKeepsThem)
{
    const QString media = Path("song.dat"), notes = Path("v.dat"), locked = Path("locked.dat");
    Put(media, Wav);
    Put(notes, "my notes\n");
    Put(locked, WaveformDat());
    ASSERT_EQ(chmod(Native(locked).constData(), 0444), 0);
    ASSERT_EQ(symlink(Native(media).constData(), Native(Path("link.dat")).constData()), 0);
    OutputRules rules = Rules(FileKind::WaveformDat, true);
    rules.Input(media);

    const struct {
        QString target;
        const char* reason;
    } refused[] = {
        {media, "would replace the input"},
        {Path("link.dat"), "would replace the input"},  // the input under another name
        {notes, "holds a file of another kind"},
        {locked, "is read-only"},
        {dir_.path(), "is a folder"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.target.toStdString());
        EXPECT_TRUE(OutputRefusal(r.target, rules).contains(QLatin1String(r.reason)))
            << OutputRefusal(r.target, rules).toStdString();
        OutputFile out;
        EXPECT_FALSE(out.Open(r.target, rules));
        EXPECT_TRUE(out.ErrorText().contains(QLatin1String(r.reason))) << out.ErrorText().toStdString();
        QString error;
        EXPECT_FALSE(WriteOutputFile(r.target, rules, {"x"}, error));
        EXPECT_TRUE(error.startsWith(r.target)) << error.toStdString();
    }
    EXPECT_EQ(Get(media), Wav);
    EXPECT_EQ(Get(notes), QByteArray("my notes\n"));
    EXPECT_EQ(Get(locked), WaveformDat());
    EXPECT_EQ(Entries(), 4);
}

TEST_F(OutputFileTest, theOtherLayoutIsKeptUnlessForced)
{
    const QString peaks = Path("a.pek");
    Put(peaks, BuilderPeaks());
    QString error;
    EXPECT_FALSE(WriteOutputFile(peaks, Rules(FileKind::WaveViewerPeaks), {WaveViewerPeaks()}, error));
    EXPECT_TRUE(error.contains("--force")) << error.toStdString();
    EXPECT_EQ(Get(peaks), BuilderPeaks());
    ASSERT_TRUE(WriteOutputFile(peaks, Rules(FileKind::WaveViewerPeaks, true), {WaveViewerPeaks()}, error));
    EXPECT_EQ(Get(peaks), WaveViewerPeaks());
    // The same kind, and an empty file, are replaced without force.
    ASSERT_TRUE(WriteOutputFile(peaks, Rules(FileKind::WaveViewerPeaks), {"new"}, error)) << error.toStdString();
    Put(Path("empty.png"), {});
    EXPECT_TRUE(WriteOutputFile(Path("empty.png"), Rules(FileKind::Picture), {Png}, error)) << error.toStdString();
    // Audio is media: a WAV output never replaces one, and says why.
    Put(Path("take.wav"), Wav);
    EXPECT_FALSE(WriteOutputFile(Path("take.wav"), Rules(FileKind::Wav, true), {Wav}, error));
    EXPECT_TRUE(error.contains("may be media and is never replaced")) << error.toStdString();
    EXPECT_EQ(Entries(), 3);
}

TEST_F(OutputFileTest, devicesFifosAndOpenStreamsAreWrittenDirectly)
{
    // A device, also through a link: written, never replaced by a file.
    const QString link = Path("null.png");
    ASSERT_EQ(symlink("/dev/null", Native(link).constData()), 0);
    QString error;
    for (const QString& target : {QStringLiteral("/dev/null"), link}) {
        ASSERT_TRUE(WriteOutputFile(target, Rules(FileKind::Picture), {Png}, error)) << error.toStdString();
        struct stat st {};
        ASSERT_EQ(lstat(Native(target).constData(), &st), 0);
        EXPECT_TRUE(target == link ? S_ISLNK(st.st_mode) : S_ISCHR(st.st_mode));
    }
    struct stat null {};
    ASSERT_EQ(stat("/dev/null", &null), 0);
    EXPECT_TRUE(S_ISCHR(null.st_mode));

    // A FIFO: the reader gets the bytes, the FIFO stays.
    const QString fifo = Path("pipe.json");
    ASSERT_EQ(mkfifo(Native(fifo).constData(), 0600), 0);
    QByteArray received;
    std::thread reader([&] {
        QFile f(fifo);
        if (f.open(QIODevice::ReadOnly))
            received = f.readAll();
    });
    EXPECT_TRUE(WriteOutputFile(fifo, Rules(FileKind::WaveformJson), {WaveformJson}, error)) << error.toStdString();
    reader.join();
    EXPECT_EQ(received, WaveformJson);
    struct stat st {};
    ASSERT_EQ(lstat(Native(fifo).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    // A writer that goes back to its header cannot use one.
    OutputRules seeking = Rules(FileKind::BuilderPeaks);
    seeking.needsSeek = true;
    EXPECT_FALSE(OutputRefusal(fifo, seeking).isEmpty());

    // An open stream by its /dev/fd name: the pipe's reader gets the bytes.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_TRUE(WriteOutputFile(QStringLiteral("/dev/fd/%1").arg(fds[1]), Rules(FileKind::Picture), {Png}, error))
        << error.toStdString();
    close(fds[1]);
    char buffer[64] = {};
    EXPECT_EQ(read(fds[0], buffer, sizeof buffer), Png.size());
    EXPECT_EQ(QByteArray(buffer, Png.size()), Png);
    close(fds[0]);
    EXPECT_EQ(Entries(), 2);
}

TEST_F(OutputFileTest, newFilesTakeTheUmaskAndReplacedFilesKeepTheirMode)
{
    const mode_t old = umask(027);
    QString error;
    ASSERT_TRUE(WriteOutputFile(Path("new.png"), Rules(FileKind::Picture), {Png}, error));
    struct stat st {};
    ASSERT_EQ(stat(Native(Path("new.png")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    ASSERT_EQ(chmod(Native(Path("new.png")).constData(), 0604), 0);
    ASSERT_TRUE(WriteOutputFile(Path("new.png"), Rules(FileKind::Picture), {Png + "2"}, error));
    ASSERT_EQ(stat(Native(Path("new.png")).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0604u);
    // A link to a regular file is replaced by a file of its own, not followed.
    Put(Path("target.png"), Png);
    ASSERT_EQ(chmod(Native(Path("target.png")).constData(), 0600), 0);
    ASSERT_EQ(symlink(Native(Path("target.png")).constData(), Native(Path("l.png")).constData()), 0);
    ASSERT_TRUE(WriteOutputFile(Path("l.png"), Rules(FileKind::Picture), {Png + "3"}, error));
    ASSERT_EQ(lstat(Native(Path("l.png")).constData(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(Get(Path("target.png")), Png);
    umask(old);
}

TEST_F(OutputFileTest, whatTookTheNameWhileWritingIsJudgedAgainAtTheCommit)
{
    const QString name = Path("out.dat");
    OutputFile out;
    ASSERT_TRUE(out.Open(name, Rules(FileKind::WaveformDat)));
    ASSERT_TRUE(out.Write(Bytes({1, 2, 3})));
    EXPECT_EQ(Entries(), 1);
    // The user saves notes under the name meanwhile: they stay.
    Put(name, "notes written meanwhile");
    EXPECT_FALSE(out.Commit());
    EXPECT_TRUE(out.ErrorText().contains("another kind")) << out.ErrorText().toStdString();
    EXPECT_EQ(Get(name), QByteArray("notes written meanwhile"));
    EXPECT_EQ(Entries(), 1);

    // A committed file is removed again only while it is the one put there.
    ASSERT_TRUE(QFile::remove(name));
    ASSERT_TRUE(out.Open(name, Rules(FileKind::WaveformDat)));
    ASSERT_TRUE(out.Write(WaveformDat()));
    ASSERT_TRUE(out.Commit()) << out.ErrorText().toStdString();
    EXPECT_TRUE(out.RemoveCommitted());
    EXPECT_FALSE(QFile::exists(name));
    OutputFile second;
    ASSERT_TRUE(second.Open(name, Rules(FileKind::WaveformDat)));
    ASSERT_TRUE(second.Write(WaveformDat()));
    ASSERT_TRUE(second.Commit());
    // Another writer's file under the name since (made while ours still
    // exists, so it cannot take its inode number).
    Put(name + ".other", WaveformDat() + "other writer");
    ASSERT_EQ(rename(Native(name + ".other").constData(), Native(name).constData()), 0);
    EXPECT_FALSE(second.RemoveCommitted());
    EXPECT_TRUE(QFile::exists(name));
}

} // namespace kx
