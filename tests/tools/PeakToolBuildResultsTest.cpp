// peaktool build: the result a file gets where an earlier run or another
// input could mislead it (a cut peak file, names that differ in case, shares).
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "peaks/PeakFormat.h"
#include "tests/support/TestMedia.h"
#include "tests/support/ToolRun.h"

namespace kx {

namespace {

ToolRun Build(const QStringList& args, const QByteArray& input = {})
{
    ToolRunOptions options;
    options.input = input;
    options.timeoutMs = 60000;
    return RunTool(QStringLiteral(PEAKTOOL), QStringList{"build", "--no-progress"} + args, options);
}

} // namespace

TEST(PeakToolBuildResults, aPeakFileCutShortIsStaleAndBuiltAgain)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath("a.wav"), peak = dir.filePath("a.pek");
    ASSERT_TRUE(TestMedia::WriteWav(wav, {8000, 2, 16, 8000 * 3}, TestMedia::Sine(300, 0.5, 8000)));
    ToolRun r = Build({wav});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const std::vector<uint8_t> whole = ReadFileBytes(peak);
    ASSERT_EQ(whole.size(), size_t(PeakHeaderSize + 1440 * 8));
    // The first 1,000 bytes: 123 of 1,440 records.
    ASSERT_TRUE(QFile::resize(peak, 1000));
    r = Build({wav});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.lines, (QStringList{"stale\t" + wav, "built\t" + wav + "\t" + peak}));
    EXPECT_EQ(ReadFileBytes(peak), whole);
    r = Build({wav});
    EXPECT_EQ(r.lines, (QStringList{"has-peaks\t" + wav + "\t" + peak}));
}

TEST(PeakToolBuildResults, namesThatDifferInCaseAreTwoFilesWhenBothAreOnDisk)
{
    QTemporaryDir dir;
    const QString upper = dir.filePath("Take.wav"), lower = dir.filePath("take.wav");
    ASSERT_TRUE(TestMedia::WriteWav(upper, {8000, 1, 16, 8000}, TestMedia::Sine(200, 0.5, 8000)));
    ASSERT_TRUE(TestMedia::WriteWav(lower, {8000, 1, 16, 16000}, TestMedia::Sine(900, 0.5, 8000)));
    const ToolRun r = Build({"--jobs", "1", upper, lower, upper});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.lines.size(), 3) << r.lines.join('\n').toStdString();
    EXPECT_TRUE(r.lines.contains("built\t" + upper + "\t" + dir.filePath("Take.pek"))) << r.lines.join('\n').toStdString();
    EXPECT_TRUE(r.lines.contains("built\t" + lower + "\t" + dir.filePath("take.pek"))) << r.lines.join('\n').toStdString();
    EXPECT_TRUE(r.lines.contains("duplicate\t" + upper));
    // Each has its own peaks: one and two seconds.
    const auto one = DecodePeakHeader(ReadFileBytes(dir.filePath("Take.pek")));
    const auto two = DecodePeakHeader(ReadFileBytes(dir.filePath("take.pek")));
    ASSERT_TRUE(one && two);
    EXPECT_EQ(PeakDurationMs(*one), 1000);
    EXPECT_EQ(PeakDurationMs(*two), 2000);
}

TEST(PeakToolBuildResults, mediaSharingAPeakFileFallInOneShareWhereTheirCollisionIsSeen)
{
    QTemporaryDir dir;
    QStringList files;
    for (int i = 0; i < 6; ++i) {
        const QString stem = dir.filePath(QStringLiteral("s%1").arg(i));
        ASSERT_TRUE(TestMedia::WriteWav(stem + ".wav", {8000, 1, 16, 8000}, TestMedia::Sine(200, 0.5, 8000)));
        ASSERT_TRUE(TestMedia::EncodeTone(stem + ".flac", 0.5, 8000, 1));
        files << stem + ".wav" << stem + ".flac";
    }
    QStringList results;
    for (int k = 1; k <= 3; ++k) {
        const ToolRun r = Build({"--shard", QStringLiteral("%1/3").arg(k), "--from-list", "-"}, files.join('\n').toUtf8());
        results += r.lines;
        // A share with a pair reports the second as colliding and fails.
        EXPECT_EQ(r.code, r.lines.isEmpty() ? 0 : 1) << r.lines.join('\n').toStdString();
    }
    for (int i = 0; i < 6; ++i) {
        const QString stem = dir.filePath(QStringLiteral("s%1").arg(i));
        EXPECT_EQ(results.filter(QRegularExpression("^built\t" + QRegularExpression::escape(stem + ".wav") + "\t")).size(), 1)
            << results.join('\n').toStdString();
        EXPECT_TRUE(results.contains("collides\t" + stem + ".flac\t" + stem + ".pek")) << results.join('\n').toStdString();
    }
    EXPECT_EQ(results.size(), 12);
}

} // namespace kx
