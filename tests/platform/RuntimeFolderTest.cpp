#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/GraphRegistry.h"
#include "platform/RuntimeFolder.h"

namespace kx {

namespace {

// Sets environment variables for one test and puts the old values back.
class ScopedEnv
{
public:
    void Set(const char* name, const QByteArray& value)
    {
        saved_.push_back({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~ScopedEnv()
    {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            it->wasSet ? qputenv(it->name, it->value) : qunsetenv(it->name);
    }

private:
    struct Saved {
        const char* name;
        QByteArray value;
        bool wasSet;
    };
    std::vector<Saved> saved_;
};

mode_t Mode(const QString& path)
{
    struct stat st {};
    return lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 0777 : 0;
}

} // namespace

TEST(RuntimeFolder, unsetFolderBecomesAPrivateOneUnderTemp)
{
    QTemporaryDir temp;
    ScopedEnv env;
    env.Set("TMPDIR", QFile::encodeName(temp.path()));
    env.Set("XDG_RUNTIME_DIR", QByteArray());
    EXPECT_TRUE(RuntimeFolder().isEmpty());
    PrepareRuntimeFolder();
    const QString folder = RuntimeFolder();
    ASSERT_FALSE(folder.isEmpty());
    EXPECT_TRUE(folder.startsWith(temp.path() + "/runtime-")) << folder.toStdString();
    EXPECT_EQ(Mode(folder), 0700u);
    // A second call keeps it.
    PrepareRuntimeFolder();
    EXPECT_EQ(RuntimeFolder(), folder);
}

TEST(RuntimeFolder, aFolderOpenToOthersIsNeverUsed)
{
    QTemporaryDir temp;
    ScopedEnv env;
    env.Set("TMPDIR", QFile::encodeName(temp.path()));
    env.Set("XDG_RUNTIME_DIR", QByteArray());
    PrepareRuntimeFolder();
    const QString usual = RuntimeFolder();
    ASSERT_FALSE(usual.isEmpty());
    ASSERT_EQ(chmod(QFile::encodeName(usual).constData(), 0755), 0);
    env.Set("XDG_RUNTIME_DIR", QByteArray());
    PrepareRuntimeFolder();
    const QString fresh = RuntimeFolder();
    ASSERT_FALSE(fresh.isEmpty());
    EXPECT_NE(fresh, usual);
    EXPECT_EQ(Mode(fresh), 0700u);
    EXPECT_EQ(Mode(usual), 0755u) << "someone's folder is left as it was";
}

TEST(RuntimeFolder, graphDumpsFollowGStreamersDumpFolderAndOutliveTheGraph)
{
    QTemporaryDir dumps;
    ScopedEnv env;
    env.Set("GST_DEBUG_DUMP_DOT_DIR", QFile::encodeName(dumps.path()));
    EXPECT_EQ(GraphRegistry::DumpFolder(), dumps.path());
    const uint32_t cookie = GraphRegistry::Register(QStringLiteral("FilterGraph dot pid 2"),
                                                    [] { return QByteArray("digraph {}"); });
    ASSERT_NE(cookie, 0u);
    const QString dump = dumps.filePath("FilterGraph_dot_pid_2.dot");
    EXPECT_TRUE(QFile::exists(dump));
    GraphRegistry::Revoke(cookie);
    EXPECT_TRUE(QFile::exists(dump));
}

} // namespace kx
