// peaktool starts only what a command uses: commands that draw nothing load no
// GUI library and none of the drawing components. The dynamic loader's own
// record of every object it maps (LD_DEBUG=files) is read after each run, so
// a library loaded later by dlopen counts too.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "tests/support/TestMedia.h"
#include "tests/support/ToolRun.h"

namespace kx {

namespace {

struct LoaderRun {
    ToolRun run;
    QSet<QString> libraries;  // file names of every shared object loaded
};

LoaderRun RunLogged(const QStringList& args)
{
    QTemporaryDir logs;
    ToolRunOptions options;
    options.environment.insert(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
    options.environment.insert(QStringLiteral("LD_DEBUG_OUTPUT"), logs.filePath(QStringLiteral("ld")));
    options.timeoutMs = 60000;
    LoaderRun result;
    result.run = RunTool(QStringLiteral(PEAKTOOL), args, options);
    // One log per process ("ld.PID"); "file=NAME [0];  needed by ..." or "... dynamically loaded by ...".
    const QRegularExpression loaded(QStringLiteral(R"(file=(\S+)\s+\[\d+\];\s+(needed|dynamically loaded) by)"));
    for (const QString& name : QDir(logs.path()).entryList({QStringLiteral("ld.*")}, QDir::Files)) {
        QFile log(logs.filePath(name));
        if (!log.open(QIODevice::ReadOnly))
            continue;
        auto it = loaded.globalMatch(QString::fromLocal8Bit(log.readAll()));
        while (it.hasNext())
            result.libraries.insert(QFileInfo(it.next().captured(1)).fileName());
    }
    return result;
}

// The libraries of the set whose names contain one of the parts.
QStringList Matching(const QSet<QString>& libraries, const QStringList& parts)
{
    QStringList found;
    for (const QString& lib : libraries)
        for (const QString& part : parts)
            if (lib.contains(part))
                found << lib;
    return found;
}

const QStringList Drawing = {"libQt6Gui", "libQt6Widgets", "libkxaudio-viewers", "libkxaudio-wavviewer",
                             "libkxaudio-platform-widgets", "libkxaudio-playback"};

} // namespace

TEST(PeakToolStartup, commandsThatDrawNothingLoadNoGuiLibrary)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath("a.wav"), pek = dir.filePath("a.pek"), dat = dir.filePath("a.dat");
    ASSERT_TRUE(TestMedia::WriteWav(wav, {44100, 2, 16, 44100}, TestMedia::Sine(440, 0.5, 44100)));
    const QList<QStringList> commands = {
        {"--version"},
        {"--help"},
        {"build", "--no-progress", wav},
        {"info", pek},
        {"status", wav},
        {"export", pek, "--format", "dat", "-o", dat},
        {"import", dat, "-o", dir.filePath("b.pek")},
        {"info", "--no-such-option"},
    };
    for (const QStringList& args : commands) {
        const LoaderRun r = RunLogged(args);
        const QString what = args.join(' ');
        EXPECT_TRUE(r.run.finished) << what.toStdString();
        EXPECT_EQ(r.run.code, args.last() == "--no-such-option" ? 2 : 0) << what.toStdString() << r.run.err.toStdString();
        // The log is read: Qt Core is always there.
        EXPECT_FALSE(Matching(r.libraries, {"libQt6Core"}).isEmpty()) << what.toStdString();
        EXPECT_EQ(Matching(r.libraries, Drawing), QStringList()) << what.toStdString();
    }
}

TEST(PeakToolStartup, drawingCommandsStillDrawWithTheGuiLibraries)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath("a.wav"), pek = dir.filePath("a.pek");
    ASSERT_TRUE(TestMedia::WriteWav(wav, {44100, 1, 16, 44100}, TestMedia::Sine(440, 0.5, 44100)));
    ASSERT_EQ(RunLogged({"build", "--no-progress", wav}).run.code, 0);
    const LoaderRun render = RunLogged({"render", pek, "-o", dir.filePath("a.png")});
    EXPECT_EQ(render.run.code, 0) << render.run.err.toStdString();
    EXPECT_TRUE(QFileInfo(dir.filePath("a.png")).size() > 0);
    EXPECT_FALSE(Matching(render.libraries, {"libQt6Gui"}).isEmpty());
    EXPECT_FALSE(Matching(render.libraries, {"libQt6Widgets"}).isEmpty());
    const LoaderRun wavpeaks = RunLogged({"wavpeaks", wav, "-o", dir.filePath("w.pek")});
    EXPECT_EQ(wavpeaks.run.code, 0) << wavpeaks.run.err.toStdString();
    EXPECT_FALSE(Matching(wavpeaks.libraries, {"libQt6Widgets"}).isEmpty());
}

} // namespace kx
