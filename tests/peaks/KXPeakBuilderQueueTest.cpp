#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cstdlib>
#include <sys/stat.h>

#include "peaks/KXPeakBuilder.h"
#include "peaks/PeakFormat.h"
#include "platform/Exception.h"
#include "tests/support/TestHelpers.h"
#include "tests/support/TestMedia.h"
#include "BuildTestSupport.h"
#include <unistd.h>

namespace kx {

namespace {

// Records every queue event as one line, in firing order.
class QueueFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        builder.SetTempFolder(temp.path());
        auto peak = [this](const char* name) {
            return [this, name](QObject*, int i, const QString& f, const QString& p) {
                log << QStringLiteral("%1 %2 %3 %4").arg(name).arg(i).arg(Rel(f), Rel(p));
            };
        };
        builder.OnPeakBefore = peak("Before");
        builder.OnPeakNew = peak("New");
        builder.OnPeakFailed = peak("Failed");
        builder.OnPeakMissing = peak("Missing");
        builder.OnDuplicateFile = [this](QObject*, const QString& f, int i) {
            log << QStringLiteral("Duplicate %1 %2").arg(Rel(f)).arg(i);
        };
        builder.OnFileNotExist = [this](QObject*, const QString& f) { log << "NotExist " + Rel(f); };
    }

    QString Rel(const QString& path) const
    {
        QString p = path;
        p.replace(dir.path(), QStringLiteral("D"));
        p.replace(temp.path(), QStringLiteral("T"));
        return p;
    }

    QString Media(const QString& name)
    {
        const QString path = dir.filePath(name);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("media");
        return path;
    }

    // A valid peak file whose one record is filled with `fill`; its header
    // gives the length of one record (100 frames at 44.1 kHz), or `length`.
    void Peak(const QString& path, uint8_t fill, int64_t length = 10000000 / 441)
    {
        std::vector<uint8_t> b(PeakHeaderSize + 8, fill);
        EncodePeakHeader(MakePeakHeader(44100, 2, 16, 100, length), b.data());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(b.data()), qint64(b.size()));
    }

    QTemporaryDir dir;
    QTemporaryDir temp;
    TKXPeakBuilder builder;
    QStringList log;
};

} // namespace

TEST_F(QueueFixture, appendRefusesDuplicatesIgnoringCaseAndMissingFiles)
{
    const QString a = Media("a.wav");
    EXPECT_TRUE(builder.AppendFilename(a));
    EXPECT_FALSE(builder.AppendFilename(dir.filePath("A.WAV")));
    EXPECT_FALSE(builder.AppendFilename(dir.filePath("nothere.wav")));
    EXPECT_FALSE(builder.AppendFilename(QString()));
    EXPECT_EQ(builder.FileCount(), 1);
    EXPECT_EQ(log, (QStringList{"Missing 0 D/a.wav D/a.pek", "Duplicate D/A.WAV 0", "NotExist D/nothere.wav"}));
}

TEST_F(QueueFixture, namesDifferingInCaseAreOneFileOnlyWhereNoFileOnDiskSaysOtherwise)
{
    const QString upper = Media("Take.wav"), lower = Media("take.wav");
    Peak(dir.filePath("Take.pek"), 0x11);
    Peak(dir.filePath("take.pek"), 0x22);
    // Both on disk, two inodes: two files, each with its own peaks.
    EXPECT_TRUE(builder.AppendFilename(upper));
    EXPECT_TRUE(builder.AppendFilename(lower));
    EXPECT_TRUE(builder.AppendFilenames({upper, lower}) == false);
    EXPECT_EQ(builder.FileCount(), 2);
    EXPECT_EQ(log.filter("Duplicate"), (QStringList{"Duplicate D/Take.wav 0", "Duplicate D/take.wav 1"}));
    TMemoryStream* s = nullptr;
    ASSERT_TRUE(builder.GetStreamByName(lower, s));
    EXPECT_EQ(s->Bytes().back(), 0x22);
    ASSERT_TRUE(builder.GetStreamByName(upper, s));
    EXPECT_EQ(s->Bytes().back(), 0x11);
    // A name not on disk: no file decides, so case is ignored.
    ASSERT_TRUE(builder.GetStreamByName(dir.filePath("TAKE.wav"), s));
    EXPECT_EQ(s->Bytes().back(), 0x11);
    EXPECT_FALSE(builder.AppendFilename(dir.filePath("TAKE.WAV")));
    // Another name of one of them through a link is not the other's.
    ASSERT_TRUE(QFile::link(lower, dir.filePath("tAKE.wav")));
    ASSERT_TRUE(builder.GetStreamByName(dir.filePath("tAKE.wav"), s));
    EXPECT_EQ(s->Bytes().back(), 0x22);
    EXPECT_EQ(builder.FileCount(), 2);
}

TEST_F(QueueFixture, appendFilenamesQueuesNamesThatAreNotOnDisk)
{
    const QString a = Media("a.wav");
    EXPECT_TRUE(builder.AppendFilenames({a, dir.filePath("ghost.wav"), a}));
    EXPECT_EQ(builder.FileCount(), 2);
    EXPECT_EQ(log, (QStringList{"Missing 0 D/a.wav D/a.pek", "Missing 1 D/ghost.wav D/ghost.pek",
                                "Duplicate D/a.wav 0"}));
    EXPECT_FALSE(builder.AppendFilenames({a}));
}

TEST_F(QueueFixture, existingPeakFileIsLoadedWholeIntoTheStream)
{
    const QString a = Media("a.mp3");
    Peak(dir.filePath("a.pek"), 0x33);
    ASSERT_TRUE(builder.AppendFilename(a));
    EXPECT_EQ(log, (QStringList{"Before 0 D/a.mp3 D/a.pek", "New 0 D/a.mp3 D/a.pek"}));
    TMemoryStream* s = nullptr;
    ASSERT_TRUE(builder.GetStreamByName(dir.filePath("A.MP3"), s));
    ASSERT_EQ(s->Size(), 24);
    EXPECT_EQ(s->Bytes()[23], 0x33);
    EXPECT_EQ(builder.FilledStreamCount(), 1);
}

TEST_F(QueueFixture, refusedPeakFileTakesTheMediaOutOfTheQueueAndStaysOnDisk)
{
    const QString a = Media("a.wav"), b = Media("b.wav");
    ASSERT_TRUE(builder.AppendFilename(a));
    QFile bad(dir.filePath("b.pek"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("PEAK\x04\x02\x00\x00\x00\x00", 10);  // truncated header
    bad.close();
    EXPECT_TRUE(builder.AppendFilename(b));
    EXPECT_EQ(builder.FileCount(), 1);
    TMemoryStream* s = nullptr;
    EXPECT_EQ(builder.GetStreamByIndex(1, s), false);
    EXPECT_EQ(s, nullptr);
    EXPECT_TRUE(QFile::exists(bad.fileName()));
    EXPECT_EQ(log.last(), QStringLiteral("Failed 1 D/b.wav D/b.pek"));
}

TEST_F(QueueFixture, readOnlyFolderUsesTheTempFolder)
{
    const QString a = Media("ro/a.wav");
    chmod(QFile::encodeName(dir.filePath("ro")).constData(), 0555);
    ASSERT_TRUE(builder.AppendFilename(a));
    bool exists = true;
    QString name;
    builder.GetPeakFilename(0, exists, name);
    EXPECT_TRUE(QRegularExpression("^T/a\\.[0-9a-f]{8}\\.pek$").match(Rel(name)).hasMatch()) << name.toStdString();
    EXPECT_FALSE(exists);
    builder.FindNextMissing();
    EXPECT_EQ(builder.CurrentItemIndex(), 0);
    EXPECT_EQ(builder.MissingCount(), 1);

    // A peak file beside the media also counts as present.
    chmod(QFile::encodeName(dir.filePath("ro")).constData(), 0755);
    Peak(dir.filePath("ro/a.pek"), 1);
    chmod(QFile::encodeName(dir.filePath("ro")).constData(), 0555);
    builder.FindNextMissing();
    EXPECT_EQ(builder.CurrentItemIndex(), -1);
    EXPECT_EQ(builder.MissingCount(), 0);
    chmod(QFile::encodeName(dir.filePath("ro")).constData(), 0755);
    bool out = true;
    builder.GetPeakFilename(5, out, name);
    EXPECT_FALSE(out);
}

TEST_F(QueueFixture, setFilenamesKeepsStreamsAlignedWithFiles)
{
    const QString a = Media("a.wav"), b = Media("b.wav"), c = Media("c.wav");
    Peak(dir.filePath("a.pek"), 0xA0);
    Peak(dir.filePath("c.pek"), 0xC0);
    builder.SetFilenames({a, b, dir.filePath("gone.wav"), c});
    ASSERT_EQ(builder.Files(), (QStringList{a, b, c}));
    TMemoryStream* s = nullptr;
    ASSERT_TRUE(builder.GetStreamByIndex(0, s));
    EXPECT_EQ(s->Bytes().back(), 0xA0);
    ASSERT_TRUE(builder.GetStreamByIndex(1, s));
    EXPECT_EQ(s->Size(), 0);
    ASSERT_TRUE(builder.GetStreamByIndex(2, s));
    EXPECT_EQ(s->Bytes().back(), 0xC0);
    EXPECT_FALSE(builder.GetStreamByIndex(3, s));
    EXPECT_EQ(builder.CurrentItemIndex(), 1);
    EXPECT_EQ(builder.MissingCount(), 1);
    EXPECT_TRUE(log.contains("NotExist D/gone.wav"));
}

TEST_F(QueueFixture, mediaOfOneNameInTwoReadOnlyFoldersGetTwoTemporaryPeakFiles)
{
    const QString a = Media("one/song.wav"), b = Media("two/song.wav");
    for (const char* sub : {"one", "two"})
        chmod(QFile::encodeName(dir.filePath(sub)).constData(), 0555);
    ASSERT_TRUE(builder.AppendFilename(a));
    ASSERT_TRUE(builder.AppendFilename(b));
    bool exists = true;
    QString first, second;
    builder.GetPeakFilename(0, exists, first);
    builder.GetPeakFilename(1, exists, second);
    EXPECT_NE(first, second);
    EXPECT_TRUE(first.startsWith(temp.path()) && second.startsWith(temp.path()));
    // A peak file made for the first never counts for the second.
    Peak(first, 1);
    builder.FindNextMissing();
    EXPECT_EQ(builder.CurrentItemIndex(), 1);
    EXPECT_EQ(builder.MissingCount(), 1);
    for (const char* sub : {"one", "two"})
        chmod(QFile::encodeName(dir.filePath(sub)).constData(), 0755);
}

TEST_F(QueueFixture, setFilenamesHandsOutEachFilesOwnStreamDuringItsEvents)
{
    const QString a = Media("a.wav"), b = Media("b.wav"), c = Media("c.wav");
    Peak(dir.filePath("a.pek"), 0xA0);
    Peak(dir.filePath("b.pek"), 0xB0);
    Peak(dir.filePath("c.pek"), 0xC0);
    QStringList seen;
    builder.OnPeakNew = [&](QObject*, int index, const QString& file, const QString&) {
        TMemoryStream* byName = nullptr;
        TMemoryStream* byIndex = nullptr;
        const bool named = builder.GetStreamByName(file, byName);
        const bool indexed = builder.GetStreamByIndex(index, byIndex);
        TMemoryStream* past = nullptr;
        // One stream per queued name, no more, no fewer.
        const bool aligned = builder.GetStreamByIndex(builder.FileCount() - 1, past) &&
                             !builder.GetStreamByIndex(builder.FileCount(), past);
        seen << QStringLiteral("%1 %2 %3 %4 %5")
                    .arg(Rel(file))
                    .arg(named && byName == byIndex)
                    .arg(indexed ? int(byIndex->Bytes().back()) : -1, 0, 16)
                    .arg(aligned)
                    .arg(builder.Files().value(index) == file);
    };
    builder.SetFilenames({a, b, c});
    EXPECT_EQ(seen, (QStringList{"D/c.wav 1 c0 1 1", "D/b.wav 1 b0 1 1", "D/a.wav 1 a0 1 1"}));
}

TEST_F(QueueFixture, relativeNamesAreMadeAbsoluteAndFindTheirPeakFile)
{
    const QString rel = Media("rel.wav");
    Peak(dir.filePath("rel.pek"), 0x44);
    Media("other.wav");
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const bool appended = builder.AppendFilename("rel.wav");
    builder.AppendFilenames({"./other.wav"});
    TMemoryStream* s = nullptr;
    const bool found = builder.GetStreamByName("rel.wav", s);
    QDir::setCurrent(before);
    ASSERT_TRUE(appended);
    EXPECT_EQ(builder.Files(), (QStringList{rel, dir.filePath("other.wav")}));
    EXPECT_EQ(log.value(1), QStringLiteral("New 0 D/rel.wav D/rel.pek"));
    EXPECT_EQ(log.value(2), QStringLiteral("Missing 1 D/other.wav D/other.pek"));
    ASSERT_TRUE(found);
    EXPECT_EQ(s->Bytes().back(), 0x44);
}

TEST_F(QueueFixture, rebuildStaleTakesAPeakFileOlderThanItsMediaAsMissing)
{
    const QString a = Media("a.wav");
    const QString peak = dir.filePath("a.pek");
    Peak(peak, 0x55);
    QFile f(peak);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QFileInfo(a).lastModified().addSecs(-60), QFileDevice::FileModificationTime));
    f.close();
    // Off (the default): any peak file is taken.
    ASSERT_TRUE(builder.AppendFilename(a));
    EXPECT_EQ(log.last(), QStringLiteral("New 0 D/a.wav D/a.pek"));
    EXPECT_FALSE(builder.PeakFileStale(0));

    TKXPeakBuilder fresh;
    fresh.SetRebuildStale(true);
    QStringList events;
    fresh.OnPeakMissing = [&](QObject*, int i, const QString&, const QString& p) {
        events << QStringLiteral("Missing %1 %2 %3").arg(i).arg(Rel(p)).arg(fresh.PeakFileStale(i));
    };
    fresh.OnPeakNew = [&](QObject*, int, const QString&, const QString&) { events << "New"; };
    ASSERT_TRUE(fresh.AppendFilename(a));
    EXPECT_EQ(events, (QStringList{"Missing 0 D/a.pek 1"}));
    fresh.FindNextMissing();
    EXPECT_EQ(fresh.CurrentItemIndex(), 0);
    // A peak file as new as its media is used.
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.setFileTime(QFileInfo(a).lastModified(), QFileDevice::FileModificationTime));
    f.close();
    fresh.FindNextMissing();
    EXPECT_EQ(fresh.CurrentItemIndex(), -1);
    EXPECT_FALSE(fresh.PeakFileStale(0));
}

TEST_F(QueueFixture, rebuildStaleTakesAPeakFileWithFewerRecordsThanItsHeaderImpliesAsMissing)
{
    const QString a = Media("a.wav"), b = Media("b.wav");
    // a.pek's header says one second (441 records); it holds one.
    Peak(dir.filePath("a.pek"), 0x55, 10000000);
    Peak(dir.filePath("b.pek"), 0x66);
    ASSERT_TRUE(builder.AppendFilenames({a, b}));
    EXPECT_EQ(log, (QStringList{"Before 0 D/a.wav D/a.pek", "New 0 D/a.wav D/a.pek", "Before 1 D/b.wav D/b.pek",
                                "New 1 D/b.wav D/b.pek"}));
    EXPECT_FALSE(builder.PeakFileStale(0));

    TKXPeakBuilder fresh;
    fresh.SetRebuildStale(true);
    QStringList events;
    fresh.OnPeakMissing = [&](QObject*, int i, const QString&, const QString& p) {
        events << QStringLiteral("Missing %1 %2 %3").arg(i).arg(Rel(p)).arg(fresh.PeakFileStale(i));
    };
    fresh.OnPeakNew = [&](QObject*, int i, const QString&, const QString&) { events << QStringLiteral("New %1").arg(i); };
    ASSERT_TRUE(fresh.AppendFilenames({a, b}));
    EXPECT_EQ(events, (QStringList{"Missing 0 D/a.pek 1", "New 1"}));
    fresh.FindNextMissing();
    EXPECT_EQ(fresh.CurrentItemIndex(), 0);
    EXPECT_EQ(fresh.MissingCount(), 1);
}

TEST_F(QueueFixture, setFilenameReplacesTheQueueOnlyForAnExistingFile)
{
    const QString a = Media("a.wav"), b = Media("b.wav");
    builder.AppendFilenames({a, b});
    builder.SetFilename(dir.filePath("none.wav"));
    EXPECT_EQ(builder.FileCount(), 2);
    builder.SetFilename(b);
    EXPECT_EQ(builder.Files(), QStringList{b});
    EXPECT_EQ(builder.CurrentItemIndex(), 0);
    builder.Clear();
    EXPECT_EQ(builder.FileCount(), 0);
    TMemoryStream* s = reinterpret_cast<TMemoryStream*>(1);
    EXPECT_FALSE(builder.GetStreamByIndex(-1, s));
    EXPECT_EQ(s, nullptr);
}

TEST(KXPeakBuilderSettings, settersRefuseWithTheirMessages)
{
    TKXPeakBuilder b;
    EXPECT_EQ(RaisedMessage([&] { b.SetVRMAudioCache(0); }), "Cache must be between 1 and 50");
    EXPECT_EQ(RaisedMessage([&] { b.SetVRMVideoCache(51); }), "Cache must be between 1 and 50");
    b.SetVRMAudioCache(50);
    b.SetVRMVideoCache(1);
    EXPECT_EQ(b.VRMAudioCache(), 50);
    EXPECT_EQ(b.VRMVideoCache(), 1);
    EXPECT_EQ(RaisedMessage([&] { b.SetOutputChannels(chNone); }), "Channels must be chMono or chStereo");
    const int outOfRange = std::atoi("7");  // not a constant, so it reaches the setter as stored data would
    EXPECT_EQ(RaisedMessage([&] { b.SetOutputBPS(static_cast<TBPS>(outOfRange)); }), "BitsPerSample must be bps8 or bps16");
    b.SetOutputBPS(bp8);
    EXPECT_EQ(b.BitsPerSample(), 8u);
    EXPECT_EQ(b.OutputBPS(), bp8);
}

TEST(KXPeakBuilderSettings, sampleRateMapsBothWays)
{
    TKXPeakBuilder b;
    EXPECT_EQ(b.SampleRate(), 48000u);
    const std::pair<TSPS, uint32_t> table[] = {{sps44100, 44100}, {sps32000, 32000}, {sps22050, 22050},
                                               {sps11025, 11025}, {sps8000, 8000},   {sps48000, 48000}};
    for (auto [sps, hz] : table) {
        b.SetOutputSamplesPerSecond(sps);
        EXPECT_EQ(b.SampleRate(), hz);
        EXPECT_EQ(b.OutputSamplesPerSecond(), sps);
    }
    const int unknown = std::atoi("42");
    b.SetOutputSamplesPerSecond(static_cast<TSPS>(unknown));
    EXPECT_EQ(b.SampleRate(), 48000u);
}

TEST(KXPeakBuilderSettings, tempFolderMustBeAWritableExistingFolder)
{
    TKXPeakBuilder b;
    EXPECT_TRUE(b.TempFolder().endsWith('/'));
    QTemporaryDir dir;
    b.SetTempFolder(dir.path() + "/missing");
    EXPECT_NE(b.TempFolder(), dir.path() + "/missing/");  // ignored silently
    QDir(dir.path()).mkdir("sub");
    b.SetTempFolder(dir.path() + "/sub");
    EXPECT_EQ(b.TempFolder(), dir.path() + "/sub/");
    QDir(dir.path()).mkdir("sub2");
    chmod(QFile::encodeName(dir.filePath("sub2")).constData(), 0555);
    try {
        b.SetTempFolder(dir.path() + "/sub2/");
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Temp Folder must be writable");
    }
    EXPECT_EQ(b.TempFolder(), dir.path() + "/sub/");
    chmod(QFile::encodeName(dir.filePath("sub2")).constData(), 0755);
}

TEST(KXPeakBuilderSettings, theDefaultTempFolderIsThisUsersOwn)
{
    QTemporaryDir cache;
    const QByteArray saved = qgetenv("XDG_CACHE_HOME");
    const bool had = qEnvironmentVariableIsSet("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    const QString folder = TKXPeakBuilder().TempFolder();
    if (had)
        qputenv("XDG_CACHE_HOME", saved);
    else
        qunsetenv("XDG_CACHE_HOME");
    EXPECT_EQ(folder, cache.path() + "/kxaudio/peaks/");
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(folder).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(KXPeakBuilderSettings, anUnsafeTemporaryFolderFailsClosedWithItsCause)
{
    // The cache's folder is a link to a folder anyone may write, and the
    // fallback under the temporary folder is taken by someone's file.
    QTemporaryDir root;
    const QByteArray open = QFile::encodeName(root.filePath("open"));
    ASSERT_EQ(mkdir(open.constData(), 0777), 0);
    ASSERT_EQ(chmod(open.constData(), 0777), 0);
    ASSERT_TRUE(QDir(root.path()).mkpath("cache") && QDir(root.path()).mkpath("tmp"));
    ASSERT_EQ(symlink(open.constData(), QFile::encodeName(root.filePath("cache/kxaudio")).constData()), 0);
    ASSERT_TRUE(TestMedia::WriteFile(root.filePath(QStringLiteral("tmp/kxaudio-%1").arg(geteuid())), {'x'}));
    const QByteArray savedCache = qgetenv("XDG_CACHE_HOME"), savedTmp = qgetenv("TMPDIR");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(root.filePath("cache")));
    qputenv("TMPDIR", QFile::encodeName(root.filePath("tmp")));
    TKXPeakBuilder b;
    qputenv("XDG_CACHE_HOME", savedCache);
    qputenv("TMPDIR", savedTmp);
    if (savedTmp.isEmpty())
        qunsetenv("TMPDIR");
    const QString problem = b.TempFolderProblem();
    EXPECT_TRUE(problem.contains("is a link") && problem.contains(QStringLiteral("kxaudio-%1").arg(geteuid())))
        << problem.toStdString();

    // Media in a read-only folder would have its peaks there: the build fails, saying why.
    ASSERT_TRUE(QDir(root.path()).mkpath("media"));
    const QString media = root.filePath("media/song.wav");
    ASSERT_TRUE(TestMedia::WriteWav(media, {44100, 2, 16, 4410}, TestMedia::Sine(220, 0.5, 44100)));
    ASSERT_EQ(chmod(QFile::encodeName(root.filePath("media")).constData(), 0555), 0);
    b.SetSaveToPeakFiles(true);
    ASSERT_TRUE(b.AppendFilename(media));
    b.StartBuild();
    ASSERT_TRUE(WaitUntilIdle(b, 30000));
    EXPECT_TRUE(b.LastBuildFailure().contains("temporary folder cannot be used")) << b.LastBuildFailure().toStdString();
    EXPECT_TRUE(QDir(QFile::decodeName(open)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
    chmod(QFile::encodeName(root.filePath("media")).constData(), 0755);
}

TEST(KXPeakBuilderSettings, gainsArePackedLowLeftHighRight)
{
    TKXPeakBuilder b;
    EXPECT_EQ(b.LeftGain(), 4096);
    b.SetGains(0x0400FFFF);
    EXPECT_EQ(b.LeftGain(), 0xFFFF);
    EXPECT_EQ(b.RightGain(), 0x0400);
}

} // namespace kx
