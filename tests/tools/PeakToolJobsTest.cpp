// peaktool build over many files: --jobs, --shard and --from-list.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "tests/support/TestMedia.h"

#include "tests/support/ToolRun.h"

namespace kx {

namespace {

ToolRun Build(const QStringList& args, const QByteArray& input = {})
{
    ToolRunOptions options;
    options.input = input;
    options.timeoutMs = 60000;
    return RunTool(QStringLiteral(PEAKTOOL), QStringList{"build"} + args, options);
}

// Files of different lengths, so that with several jobs they finish out of order.
QStringList MakeFiles(const QTemporaryDir& dir, int count)
{
    QStringList files;
    for (int i = 0; i < count; ++i) {
        const QString f = dir.filePath(QStringLiteral("f%1.wav").arg(i));
        const int64_t frames = 8000 * ((count - i) % 4 + 1);
        EXPECT_TRUE(TestMedia::WriteWav(f, {8000, 1, 16, frames}, TestMedia::Sine(100.0 + i, 0.5, 8000)));
        files << f;
    }
    return files;
}

QString FileOf(const QString& line)
{
    return line.section('\t', 1, 1);
}

} // namespace

TEST(PeakToolJobs, resultLinesFollowTheInputOrderWhateverFinishesFirst)
{
    QTemporaryDir dir;
    QStringList files = MakeFiles(dir, 9);
    files.insert(4, dir.filePath("absent.wav"));
    const ToolRun r = Build(QStringList{"--jobs", "3"} + files);
    EXPECT_EQ(r.code, 1) << "one file is missing";
    ASSERT_EQ(r.lines.size(), files.size()) << r.err.toStdString();
    for (int i = 0; i < files.size(); ++i) {
        EXPECT_EQ(FileOf(r.lines[i]), files[i]);
        EXPECT_TRUE(r.lines[i].startsWith(i == 4 ? "not-found\t" : "built\t")) << r.lines[i].toStdString();
    }
    // With one job the same lines come out (the peak files now exist).
    const ToolRun again = Build(QStringList{"--jobs", "1"} + files);
    ASSERT_EQ(again.lines.size(), files.size());
    for (int i = 0; i < files.size(); ++i)
        EXPECT_EQ(FileOf(again.lines[i]), files[i]);
}

TEST(PeakToolJobs, shardsOfOneListCoverEveryInputExactlyOnce)
{
    QTemporaryDir dir;
    const QStringList files = MakeFiles(dir, 12);
    QFile list(dir.filePath("list.txt"));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write((files.join('\n') + "\n\n").toUtf8());
    list.close();

    QStringList seen;
    for (int k = 1; k <= 3; ++k) {
        // The list from a file for some shares, from stdin for the others.
        const ToolRun r = k == 2 ? Build({"--shard", "2/3", "--from-list", "-", "--jobs", "2"}, files.join('\n').toUtf8())
                                 : Build({"--shard", QStringLiteral("%1/3").arg(k), "--from-list", list.fileName()});
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        for (const QString& line : r.lines)
            seen << FileOf(line);
    }
    QStringList sorted = seen;
    sorted.sort();
    QStringList expected = files;
    expected.sort();
    EXPECT_EQ(sorted, expected) << "every input in exactly one share";

    for (const char* bad : {"0/3", "4/3", "3", "a/b", "1/0"}) {
        const ToolRun r = Build({"--shard", bad, files[0]});
        EXPECT_EQ(r.code, 2) << bad;
        EXPECT_TRUE(r.err.contains("--shard")) << r.err.toStdString();
    }
    EXPECT_EQ(Build({"--jobs", "0", files[0]}).code, 2);
    EXPECT_EQ(Build({"--from-list", dir.filePath("none.txt")}).code, 2);
}

} // namespace kx
