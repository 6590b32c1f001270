#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include "tests/support/TestMedia.h"

#ifdef PEAKTOOL

#include "tests/support/ToolRun.h"

namespace kx {

namespace {

using Result = ToolRun;

ToolRun Peaktool(const QStringList& args)
{
    return RunTool(QStringLiteral(PEAKTOOL), args);
}

} // namespace

TEST(PeakToolBuild, buildsAFolderOfMixedMediaAndReportsEachFile)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath("a.wav"), flac = dir.filePath("b.flac"), mp3 = dir.filePath("c.mp3");
    const QString text = dir.filePath("d.wav"), video = dir.filePath("e.avi");
    ASSERT_TRUE(TestMedia::WriteWav(wav, {44100, 2, 16, 44100 * 2 + 5}, TestMedia::Sine(97, 0.6, 44100)));
    ASSERT_TRUE(TestMedia::EncodeTone(flac, 1.0));
    ASSERT_TRUE(TestMedia::EncodeTone(mp3, 1.0));
    ASSERT_TRUE(TestMedia::WriteFile(text, std::vector<uint8_t>(3000, 'z')));
    ASSERT_TRUE(TestMedia::EncodeVideoOnly(video, 1.0));
    const QStringList files = {wav, flac, mp3, text, video};

    const Result r = Peaktool(QStringList{"build", "--no-progress", "--rate", "44100", "--samples-per-peak", "441"} + files);
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    QStringList built, failed;
    for (const QString& line : r.lines) {
        const QStringList f = line.split('\t');
        if (f[0] == "built")
            built << f.value(1);
        else if (f[0] == "failed") {
            // "failed FILE: REASON", with a reason for every failure.
            const qsizetype colon = f.value(1).indexOf(": ");
            failed << f.value(1).left(colon);
            EXPECT_GT(f.value(1).size(), colon + 2) << line.toStdString();
        }
    }
    EXPECT_EQ(built, (QStringList{wav, flac, mp3}));
    EXPECT_EQ(failed, (QStringList{text, video}));

    for (const QString& f : {wav, flac, mp3}) {
        const QString peak = f.left(f.lastIndexOf('.')) + ".pek";
        EXPECT_EQ(Peaktool({"info", peak}).code, 0) << peak.toStdString();
    }
    // A second run loads what exists and builds nothing new.
    const Result again = Peaktool(QStringList{"build", "--no-progress"} + files.mid(0, 3));
    EXPECT_EQ(again.code, 0);
    EXPECT_EQ(again.lines.filter("has-peaks").size(), 3);
    const Result status = Peaktool(QStringList{"status"} + files);
    EXPECT_TRUE(status.lines.last().startsWith("files: 5 missing: 2")) << status.lines.join("\n").toStdString();
}

TEST(PeakToolBuild, refusesBadOptions)
{
    for (const QStringList& bad : {QStringList{"--channels", "3", "x.wav"}, QStringList{"--rate", "12345", "x.wav"},
                                   QStringList{"--samples-per-peak", "0", "x.wav"}, QStringList{"--bits", "16"},
                                   QStringList{"--gain", "70000", "x.wav"}})
        EXPECT_EQ(Peaktool(QStringList{"build"} + bad).code, 2) << bad.join(' ').toStdString();
    QTemporaryDir dir;
    const Result missing = Peaktool({"build", dir.filePath("nothing.wav")});
    EXPECT_EQ(missing.code, 1);
    EXPECT_TRUE(missing.lines.value(0).startsWith("not-found"));
}

} // namespace kx

#endif
