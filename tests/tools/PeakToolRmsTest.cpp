// peaktool build and the RMS side file beside each peak file it builds.
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

#include "peaks/PeakFormat.h"
#include "peaks/RmsFile.h"
#include "platform/NativeName.h"
#include "tests/support/TestMedia.h"
#include "tests/support/ToolRun.h"

namespace kx {

namespace {

ToolRun Build(const QStringList& args)
{
    ToolRunOptions options;
    options.timeoutMs = 60000;
    return RunTool(QStringLiteral(PEAKTOOL), QStringList{"build", "--no-progress"} + args, options);
}

// The side file's levels when it counts for the peak file.
std::optional<RmsData> SideFileOf(const QString& peak)
{
    const std::vector<uint8_t> bytes = ReadFileBytes(peak);
    const auto header = DecodePeakHeader(bytes);
    return header ? ReadRmsFor(peak, *header, PeakRecordCount(*header, bytes.size())) : std::nullopt;
}

} // namespace

TEST(PeakToolRms, buildWritesTheSideFileUnlessToldNotTo)
{
    QTemporaryDir dir;
    const QString a = dir.filePath("a.wav"), b = dir.filePath("b.wav");
    for (const QString& wav : {a, b})
        ASSERT_TRUE(TestMedia::WriteWav(wav, {8000, 2, 16, 8000 * 2}, TestMedia::Sine(300, 0.5, 8000)));
    ToolRun r = Build({"--rate", "8000", "--samples-per-peak", "80", a});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const auto levels = SideFileOf(dir.filePath("a.pek"));
    ASSERT_TRUE(levels);
    // 2 s of 80-frame records, each three whole periods of a half-scale sine.
    ASSERT_EQ(levels->Records(), 200);
    EXPECT_EQ(levels->channels, 2);
    EXPECT_NEAR(levels->values[100], 0.5 * 32767 / std::sqrt(2.0), 2.0);

    r = Build({"--no-rms", b});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(StatNative(dir.filePath("b.pek")).isFile);
    EXPECT_FALSE(StatNative(dir.filePath("b.pek.rms")).exists);
    // A peak file that exists is not built again just for its side file.
    r = Build({b});
    EXPECT_EQ(r.lines, QStringList{"has-peaks\t" + b + "\t" + dir.filePath("b.pek")});
    EXPECT_FALSE(StatNative(dir.filePath("b.pek.rms")).exists);
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
}

TEST(PeakToolRms, anOccupiedSideFileIsKeptWithAWarningAndTheBuildSucceeds)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath("a.wav"), peak = dir.filePath("a.pek");
    ASSERT_TRUE(TestMedia::WriteWav(wav, {8000, 1, 16, 8000}, TestMedia::Sine(300, 0.5, 8000)));
    const std::vector<uint8_t> notes = {'m', 'y', ' ', 'n', 'o', 't', 'e', 's', '\n'};
    ASSERT_TRUE(TestMedia::WriteFile(RmsFileFor(peak), notes));
    const ToolRun r = Build({wav});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.lines, QStringList{"built\t" + wav + "\t" + peak});
    EXPECT_TRUE(r.err.contains("warning")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(RmsFileFor(peak))) << r.err.toStdString();
    EXPECT_EQ(ReadFileBytes(RmsFileFor(peak)), notes);
}

} // namespace kx
