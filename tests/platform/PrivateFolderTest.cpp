#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <sys/stat.h>

#include "platform/GraphRegistry.h"
#include "platform/PrivateFolder.h"

#include "tests/support/TestMedia.h"

namespace kx {

namespace {

mode_t ModeOf(const QString& path)
{
    struct stat st {};
    return lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 0777 : 0;
}

// Points XDG_RUNTIME_DIR and XDG_CACHE_HOME at a folder of the test's own.
class PrivateFolders : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* var : {"XDG_RUNTIME_DIR", "XDG_CACHE_HOME"}) {
            saved_.append(qgetenv(var));
            had_.append(qEnvironmentVariableIsSet(var));
        }
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path()));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(dir.filePath("cache")));
    }
    void TearDown() override
    {
        int i = 0;
        for (const char* var : {"XDG_RUNTIME_DIR", "XDG_CACHE_HOME"}) {
            if (had_[i])
                qputenv(var, saved_[i]);
            else
                qunsetenv(var);
            ++i;
        }
    }
    QTemporaryDir dir;

private:
    QList<QByteArray> saved_;
    QList<bool> had_;
};

} // namespace

TEST_F(PrivateFolders, everyLevelIsMadeForThisUserAlone)
{
    ASSERT_TRUE(MakePrivateFolder(dir.path(), "one/two"));
    EXPECT_EQ(ModeOf(dir.filePath("one")), 0700u);
    EXPECT_EQ(ModeOf(dir.filePath("one/two")), 0700u);
    // A level that is there already loses group and other access.
    ASSERT_TRUE(QDir().mkpath(dir.filePath("open/x")));
    chmod(QFile::encodeName(dir.filePath("open")).constData(), 0777);
    ASSERT_TRUE(MakePrivateFolder(dir.path(), "open/x"));
    EXPECT_EQ(ModeOf(dir.filePath("open")), 0700u);
    // A link in the way is never taken for the folder.
    ASSERT_TRUE(QDir().mkpath(dir.filePath("elsewhere")));
    ASSERT_TRUE(QFile::link(dir.filePath("elsewhere"), dir.filePath("linked")));
    EXPECT_FALSE(MakePrivateFolder(dir.path(), "linked/peaks"));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("elsewhere/peaks")));

    const QString cache = PrivateCacheFolder("peaks");
    EXPECT_EQ(cache, dir.filePath("cache/kxaudio/peaks"));
    EXPECT_EQ(ModeOf(cache), 0700u);
}

TEST_F(PrivateFolders, graphDumpsReplaceALinkPlantedUnderTheirNameButNoOtherKind)
{
    const QString victim = dir.filePath("victim");
    {
        QFile v(victim);
        ASSERT_TRUE(v.open(QIODevice::WriteOnly));
        v.write("digraph old {}");
    }
    const QString name = QStringLiteral("FilterGraph 00AB pid 1");
    ASSERT_TRUE(MakePrivateFolder(dir.path(), "kxaudio-graphs"));
    const QString dump = GraphRegistry::DumpFolder() + QStringLiteral("/FilterGraph_00AB_pid_1.dot");
    ASSERT_EQ(QFileInfo(dump).absolutePath(), dir.filePath("kxaudio-graphs"));
    ASSERT_TRUE(QFile::link(victim, dump));

    const uint32_t cookie = GraphRegistry::Register(name, [] { return QByteArray("digraph {}"); });
    ASSERT_NE(cookie, 0u);
    EXPECT_EQ(ReadFileContents(victim), QByteArray("digraph old {}"));
    EXPECT_FALSE(QFileInfo(dump).isSymLink());
    EXPECT_EQ(ReadFileContents(dump), QByteArray("digraph {}"));
    EXPECT_EQ(ModeOf(dir.filePath("kxaudio-graphs")), 0700u);
    GraphRegistry::Revoke(cookie);
    EXPECT_FALSE(QFileInfo::exists(dump));

    // A link to a file that is no graph dump is left as it is, and so is the file.
    const QString notes = dir.filePath("notes");
    {
        QFile n(notes);
        ASSERT_TRUE(n.open(QIODevice::WriteOnly));
        n.write("keep");
    }
    ASSERT_TRUE(QFile::link(notes, dump));
    const uint32_t second = GraphRegistry::Register(name, [] { return QByteArray("digraph {}"); });
    EXPECT_EQ(ReadFileContents(notes), QByteArray("keep"));
    EXPECT_TRUE(QFileInfo(dump).isSymLink());
    GraphRegistry::Revoke(second);
}

} // namespace kx
