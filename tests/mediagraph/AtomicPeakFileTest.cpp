#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <sys/stat.h>

#include "mediagraph/AtomicPeakFile.h"
#include "platform/LittleEndian.h"
#include "platform/NativeName.h"

#include "tests/support/RawNameFolder.h"
#include "tests/support/TestMedia.h"

namespace kx {

namespace {

// A 16-bit stereo header at 44100 Hz, 100 frames per record, whose decoded
// length stands for `records` records.
std::vector<uint8_t> Header(int64_t records)
{
    std::vector<uint8_t> h = {'P', 'E', 'A', 'K', 4, 2};
    h.resize(16);
    WriteU32LE(h.data() + 6, 44100);
    WriteU32LE(h.data() + 10, uint32_t(records * 100 * 4));
    WriteU16LE(h.data() + 14, 100);
    return h;
}

bool WriteRecords(AtomicPeakFile& f, int64_t records)
{
    const std::vector<uint8_t> block(size_t(records) * 8, 0x80);
    return f.Write(Header(records).data(), 16) && f.Write(block.data(), block.size());
}

QStringList Partials(const QTemporaryDir& dir)
{
    return QDir(dir.path()).entryList({QStringLiteral("*.partial")}, QDir::Files | QDir::System);
}

} // namespace

TEST(AtomicPeakFile, temporaryNamesAreUniqueBesideTheTargetAndTakeTheUmask)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("a.pek");
    const mode_t old = umask(022);
    AtomicPeakFile one, two;
    ASSERT_TRUE(one.Open(target));
    ASSERT_TRUE(two.Open(target));
    umask(old);
    EXPECT_NE(one.TemporaryName(), two.TemporaryName());
    for (const AtomicPeakFile* f : {&one, &two}) {
        EXPECT_EQ(QFileInfo(f->TemporaryName()).absolutePath(), dir.path());
        EXPECT_TRUE(f->TemporaryName().endsWith(".partial"));
        struct stat st {};
        ASSERT_EQ(stat(QFile::encodeName(f->TemporaryName()).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0644u);
    }
    EXPECT_FALSE(QFileInfo::exists(target));
    one.Abandon();
    EXPECT_EQ(Partials(dir).size(), 1);
    {
        AtomicPeakFile dropped;
        ASSERT_TRUE(dropped.Open(target));
    }
    EXPECT_EQ(Partials(dir).size(), 1);  // destroying an open file abandons it
}

TEST(AtomicPeakFile, aNewWriterRemovesTheTemporariesOfWritersThatHaveGone)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("a.pek");
    auto plant = [&](const QString& name) {
        QFile f(dir.filePath(name));
        return f.open(QIODevice::WriteOnly) && f.write("PEAK", 4) == 4;
    };
    // Left by killed writers of a.pek, and files that are not theirs.
    ASSERT_TRUE(plant("a.pek.k1ll3d00.partial"));
    ASSERT_TRUE(plant("a.pek.deadbeef.partial"));
    ASSERT_TRUE(plant("b.pek.k1ll3d00.partial"));
    ASSERT_TRUE(plant("a.pek.notatag.partial.keep"));
    ASSERT_TRUE(plant("a.pek.longer-tag.partial"));
    AtomicPeakFile alive;
    ASSERT_TRUE(alive.Open(target));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("a.pek.k1ll3d00.partial")));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("a.pek.deadbeef.partial")));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("b.pek.k1ll3d00.partial")));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("a.pek.notatag.partial.keep")));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("a.pek.longer-tag.partial")));
    // A writer that is still at work keeps its file.
    AtomicPeakFile next;
    ASSERT_TRUE(next.Open(target));
    EXPECT_TRUE(QFileInfo::exists(alive.TemporaryName()));
    ASSERT_TRUE(WriteRecords(alive, 5));
    EXPECT_TRUE(alive.Commit(5));
}

TEST(AtomicPeakFile, namesThatAreNotUtf8AreWrittenAndClearedUnderTheirBytes)
{
    RawNameFolder dir;
    ASSERT_TRUE(dir.IsValid());
    const QByteArray target = dir.Name("caf\xe9\xff.pek");
    const QByteArray killed = target + ".k1ll3d00.partial";
    {
        QFile f;
        ASSERT_TRUE(OpenNativeFile(f, DecodeNativeName(killed), QIODevice::WriteOnly));
    }
    AtomicPeakFile file;
    ASSERT_TRUE(file.Open(DecodeNativeName(target))) << file.ErrorText().toStdString();
    EXPECT_FALSE(StatNative(DecodeNativeName(killed)).exists) << "an abandoned temporary was kept";
    EXPECT_EQ(EncodeNativeName(file.TemporaryName()).left(target.size() + 1), target + '.');
    ASSERT_TRUE(WriteRecords(file, 3));
    ASSERT_TRUE(file.Commit(3)) << file.ErrorText().toStdString();
    struct stat st {};
    ASSERT_EQ(stat(target.constData(), &st), 0);
    EXPECT_EQ(st.st_size, 16 + 3 * 8);
    EXPECT_TRUE(file.RemoveCommitted());
    EXPECT_NE(stat(target.constData(), &st), 0);
}

TEST(AtomicPeakFile, twoWritersOfOneTargetEachCommitAWholeFile)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("a.pek");
    AtomicPeakFile first, second;
    ASSERT_TRUE(first.Open(target));
    ASSERT_TRUE(second.Open(target));
    // Interleaved writes never meet: each writer has its own file.
    ASSERT_TRUE(first.Write(Header(30).data(), 16));
    ASSERT_TRUE(second.Write(Header(7).data(), 16));
    const std::vector<uint8_t> a(30 * 8, 0x11), b(7 * 8, 0x22);
    ASSERT_TRUE(first.Write(a.data(), a.size()));
    ASSERT_TRUE(second.Write(b.data(), b.size()));
    ASSERT_TRUE(first.Commit(30));
    EXPECT_EQ(ReadFileContents(target).size(), 16 + 30 * 8);
    ASSERT_TRUE(second.Commit(7));
    const QByteArray last = ReadFileContents(target);
    ASSERT_EQ(last.size(), 16 + 7 * 8);
    EXPECT_EQ(uint8_t(last[16]), 0x22);
    EXPECT_TRUE(Partials(dir).isEmpty());
    // The first writer's file is gone, so removing "its" file leaves the second's.
    EXPECT_FALSE(first.RemoveCommitted());
    EXPECT_TRUE(QFileInfo::exists(target));
    EXPECT_TRUE(second.RemoveCommitted());
    EXPECT_FALSE(QFileInfo::exists(target));
}

TEST(AtomicPeakFile, commitRefusesRecordsThatDoNotMatchTheHeader)
{
    QTemporaryDir dir;
    const QString target = dir.filePath("a.pek");
    struct Case {
        int64_t written, claimed, headerRecords;
    };
    // Fewer records than said; the header of a much longer track; a torn header.
    for (const Case c : {Case{9, 10, 10}, Case{9, 9, 100}, Case{0, 0, 0}}) {
        AtomicPeakFile f;
        ASSERT_TRUE(f.Open(target));
        if (c.written > 0 || c.headerRecords > 0) {
            const std::vector<uint8_t> block(size_t(c.written) * 8, 0x80);
            ASSERT_TRUE(f.Write(Header(c.headerRecords).data(), 16));
            ASSERT_TRUE(f.Write(block.data(), block.size()));
        } else {
            ASSERT_TRUE(f.Write("PEA", 3));
        }
        EXPECT_FALSE(f.Commit(c.claimed)) << c.written << " " << c.claimed;
        EXPECT_FALSE(f.ErrorText().isEmpty());
        EXPECT_FALSE(QFileInfo::exists(target));
        EXPECT_TRUE(Partials(dir).isEmpty());
    }
    // A partial last run and the header's rounding are within the slack.
    AtomicPeakFile f;
    ASSERT_TRUE(f.Open(target));
    ASSERT_TRUE(f.Write(Header(10).data(), 16));
    const std::vector<uint8_t> eleven(11 * 8, 0x80);
    ASSERT_TRUE(f.Write(eleven.data(), eleven.size()));
    EXPECT_TRUE(f.Commit(11)) << f.ErrorText().toStdString();
}

TEST(AtomicPeakFile, aLinkAtTheTargetIsReplacedNotFollowedAndNeverOverAnotherKind)
{
    QTemporaryDir dir;
    const QString victim = dir.filePath("victim"), target = dir.filePath("a.pek");
    // A link planted to an older peak file: replaced by a file of its own.
    {
        AtomicPeakFile first;
        ASSERT_TRUE(first.Open(victim));
        ASSERT_TRUE(WriteRecords(first, 2));
        ASSERT_TRUE(first.Commit(2));
    }
    const QByteArray before = ReadFileContents(victim);
    ASSERT_TRUE(QFile::link(victim, target));
    AtomicPeakFile f;
    ASSERT_TRUE(f.Open(target)) << f.ErrorText().toStdString();
    ASSERT_TRUE(WriteRecords(f, 3));
    ASSERT_TRUE(f.Commit(3)) << f.ErrorText().toStdString();
    EXPECT_EQ(ReadFileContents(victim), before);
    EXPECT_FALSE(QFileInfo(target).isSymLink());
    EXPECT_EQ(ReadFileContents(target).size(), 16 + 3 * 8);

    // A link to a file of another kind: neither followed nor replaced.
    const QString notes = dir.filePath("notes"), other = dir.filePath("b.pek");
    QFile v(notes);
    ASSERT_TRUE(v.open(QIODevice::WriteOnly));
    v.write("keep");
    v.close();
    ASSERT_TRUE(QFile::link(notes, other));
    AtomicPeakFile g;
    EXPECT_FALSE(g.Open(other));
    EXPECT_TRUE(g.ErrorText().contains("another kind")) << g.ErrorText().toStdString();
    EXPECT_EQ(ReadFileContents(notes), QByteArray("keep"));
    EXPECT_TRUE(QFileInfo(other).isSymLink());
    EXPECT_TRUE(Partials(dir).isEmpty());
}

TEST(AtomicPeakFile, unwritableFolderIsReportedWithItsCause)
{
    AtomicPeakFile f;
    EXPECT_FALSE(f.Open("/proc/no-such-folder/a.pek"));
    EXPECT_TRUE(f.ErrorText().contains("No such file or directory")) << f.ErrorText().toStdString();
    EXPECT_FALSE(f.IsOpen());
}

TEST(PeakLengthAgrees, allowsAPartialRunAndTheWrapButNotAnotherTrack)
{
    // 16-bit stereo, 100 frames per record: 400 bytes of audio per record.
    EXPECT_TRUE(PeakLengthAgrees(4, 2, 1000 * 400, 100, 1000));
    EXPECT_TRUE(PeakLengthAgrees(4, 2, 999 * 400 + 1, 100, 1000));
    EXPECT_FALSE(PeakLengthAgrees(4, 2, 500 * 400, 100, 1000));
    EXPECT_FALSE(PeakLengthAgrees(4, 2, 1000 * 400, 50, 1000));
    EXPECT_TRUE(PeakLengthAgrees(4, 2, 0, 100, 0));
    // Past 4 GiB only the low 32 bits are stored.
    const int64_t records = (int64_t(5) << 30) / 400;
    EXPECT_TRUE(PeakLengthAgrees(4, 2, uint32_t(uint64_t(records) * 400), 100, records));
    // No usable length: nothing to compare.
    EXPECT_TRUE(PeakLengthAgrees(1, 1, 7, 100, 1000));
    EXPECT_TRUE(PeakLengthAgrees(4, 2, 7, 0, 1000));
}

} // namespace kx
