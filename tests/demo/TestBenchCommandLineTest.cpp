// The test bench program as a user starts it: options read before any
// window, files from the command line, and nothing stray on stderr.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <sys/stat.h>
#include <gst/gst.h>
#include <gtest/gtest.h>

#include "demo/Form1.h"
#include "mediagraph/AudioOutput.h"
#include "platform/NativeName.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RawNameFolder.h"
#include "tests/support/TestMedia.h"

namespace kx {

namespace {

struct Program {
    bool finished = false;
    int code = -1;
    QString out;
    QString err;
};

// No display, no runtime folder, no sound server: a fresh machine.
QProcessEnvironment BareEnvironment(const QString& temp)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR", "PULSE_SERVER", "QT_MESSAGE_PATTERN",
                             "QT_LOGGING_RULES"})
        env.remove(name);
    env.insert("TMPDIR", temp);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    return env;
}

Program RunTestBench(const QStringList& args, const QProcessEnvironment& env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TESTBENCH), args);
    Program r;
    r.finished = p.waitForFinished(60000);
    if (!r.finished)
        p.kill();
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString ExpectedStderr()
{
    return SoundOutputPresent() ? QString()
                                : QStringLiteral("kx.playback: No sound output found: playback goes to a silent sink.\n");
}

} // namespace

TEST(TestBenchCommandLine, helpNeedsNoDisplay)
{
    QTemporaryDir temp;
    QProcessEnvironment env = BareEnvironment(temp.path());
    env.remove("QT_QPA_PLATFORM");
    const Program r = RunTestBench({"--help"}, env);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("Usage: kxtestbench [options] [FILE...]")) << r.out.toStdString();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    EXPECT_EQ(RunTestBench({"--no-such-option"}, env).code, 2);
}

TEST(TestBenchCommandLine, theManualPageNamesEveryOptionAndGroffReadsItCleanly)
{
    QTemporaryDir temp;
    const Program help = RunTestBench({"--help"}, BareEnvironment(temp.path()));
    ASSERT_EQ(help.code, 0);
    const QString page = QString::fromUtf8(ReadFileContents(KX_SOURCE_DIR "/demo/kxtestbench.1"));
    ASSERT_FALSE(page.isEmpty());
    int options = 0;
    for (auto o = QRegularExpression("--([a-z][a-z-]*)").globalMatch(help.out); o.hasNext(); ++options) {
        QString escaped = o.next().captured(0);
        escaped.replace('-', "\\-");
        EXPECT_TRUE(page.contains(escaped)) << escaped.toStdString();
    }
    EXPECT_GE(options, 4);
    const QString groff = QStandardPaths::findExecutable("groff");
    if (groff.isEmpty())
        GTEST_SKIP() << "groff is not installed";
    QProcess p;
    p.start(groff, {"-man", "-Tutf8", "-ww", "-z", KX_SOURCE_DIR "/demo/kxtestbench.1"});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(QString::fromUtf8(p.readAllStandardError()), QString());
}

TEST(TestBenchCommandLine, screenshotsWithBadMediaFailOnStderrInsteadOfWaiting)
{
    QTemporaryDir temp;
    const QProcessEnvironment env = BareEnvironment(temp.path());
    Program r = RunTestBench({"--media", temp.filePath("nowhere"), "--screenshots", temp.filePath("shots")}, env);
    ASSERT_TRUE(r.finished) << "it waited for someone";
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("no example media there")) << r.err.toStdString();

    // Media that are there but broken: the message box text goes to stderr.
    QDir(temp.path()).mkpath("junk");
    ASSERT_TRUE(TestMedia::WriteFile(temp.filePath("junk/melody.wav"), std::vector<uint8_t>(64, 'x')));
    r = RunTestBench({"--media", temp.filePath("junk"), "--screenshots", temp.filePath("shots")}, env);
    ASSERT_TRUE(r.finished) << "it waited for someone";
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.err.contains("kxtestbench: Invalid file: " + temp.filePath("junk/melody.wav")))
        << r.err.toStdString();

    // A picture folder that cannot be one: said at once, before any media is read.
    ASSERT_TRUE(TestMedia::WriteFile(temp.filePath("file"), std::vector<uint8_t>(4, 'x')));
    for (const QString& shots : {temp.filePath("file"), temp.filePath("file/below")}) {
        r = RunTestBench({"--screenshots", shots}, env);
        ASSERT_TRUE(r.finished);
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.err.contains("--screenshots " + shots + ": ")) << r.err.toStdString();
    }
}

TEST(TestBenchCommandLine, loadsTheFirstFileGivenAndPrintsNoStrayLines)
{
    QTemporaryDir temp;
    const QString wav = temp.filePath("mine.wav");
    ASSERT_TRUE(TestMedia::WriteWav(wav, {44100, 2, 16, 44100 * 2}, TestMedia::Sine(330, 0.7, 44100)));
    const Program r = RunTestBench({"--screenshots", temp.filePath("shots"), wav, temp.filePath("other.wav")},
                                   BareEnvironment(temp.path()));
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.split('\n', Qt::SkipEmptyParts).size(), 7);
    // "Load both" on the file given: the builder made its peak file beside it.
    EXPECT_TRUE(QFile::exists(temp.filePath("mine.pek")));
    EXPECT_EQ(r.err, ExpectedStderr());
}

TEST(TestBenchCommandLine, aReadOnlyFileOfAnotherKindUnderThePeakNameIsKept)
{
    QTemporaryDir temp;
    const QString wav = temp.filePath("mine.wav");
    ASSERT_TRUE(TestMedia::WriteWav(wav, {44100, 2, 16, 22050}, TestMedia::Sine(330, 0.7, 44100)));
    const QString notes = temp.filePath("mine.pek");
    ASSERT_TRUE(TestMedia::WriteFile(notes, {'n', 'o', 't', 'e', 's', '\n'}));
    ASSERT_EQ(::chmod(QFile::encodeName(notes).constData(), 0444), 0);
    const Program r = RunTestBench({"--screenshots", temp.filePath("shots"), wav}, BareEnvironment(temp.path()));
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(ReadFileContents(notes), QByteArray("notes\n"));
    EXPECT_EQ(QDir(temp.filePath("shots")).entryList(QDir::Files).size(), 7);
}

TEST(TestBenchCommandLine, aPictureFolderThatCannotTakeFilesFailsWithTheName)
{
    // Even root cannot make files there.
    const QString shots = QStringLiteral("/proc/self/fdinfo");
    if (!QFileInfo(shots).isDir())
        GTEST_SKIP() << "no /proc";
    QTemporaryDir temp;
    const Program r = RunTestBench({"--screenshots", shots}, BareEnvironment(temp.path()));
    ASSERT_TRUE(r.finished) << "it waited for someone";
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(shots + "/page-0-")) << r.err.toStdString();
}

TEST(TestBenchCommandLine, aFileNamedInBytesThatAreNotUtf8IsLoaded)
{
    // QProcess would pass the name re-encoded; the child gets the bytes.
    RawNameFolder dir;
    ASSERT_TRUE(dir.IsValid());
    const QByteArray wav = dir.Name("caf\xe9.wav");
    const std::vector<uint8_t> bytes = TestMedia::WavBytes({44100, 2, 16, 22050}, TestMedia::Sine(330, 0.7, 44100));
    QFile file;
    ASSERT_TRUE(OpenNativeFile(file, DecodeNativeName(wav), QIODevice::WriteOnly));
    ASSERT_EQ(file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())), qint64(bytes.size()));
    file.close();
    const ChildResult r = RunChild("/usr/bin/env", {"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "TMPDIR=" + dir.Path(),
                                                    "QT_QPA_PLATFORM=offscreen", TESTBENCH, "--screenshots",
                                                    dir.Name("shots"), wav},
                                   60000);
    ASSERT_TRUE(r.Exited(0)) << r.err.toStdString();
    struct stat st {};
    EXPECT_EQ(stat(dir.Name("caf\xe9.pek").constData(), &st), 0) << "no peak file beside the media";
}

TEST(TestBenchCommandLine, theSilentFallbackIsLoggedOnTheForm)
{
    if (SoundOutputPresent())
        GTEST_SKIP() << "this machine has sound output";
    TForm1 form(QStringList{});
    ResetAudioFallbackNotice();
    for (int i = 0; i < 2; ++i)
        gst_object_unref(gst_object_ref_sink(MakeAudioSink()));
    EXPECT_EQ(form.Memo->toPlainText().count("No sound output found"), 1) << form.Memo->toPlainText().toStdString();
}

TEST(TestBenchCommandLine, theWindowIconIsDrawnFromItsSvg)
{
    // Without Qt's SVG icon engine the icon stays empty and no window shows it.
    const QIcon icon(QStringLiteral(KX_SOURCE_DIR "/demo/kxtestbench.svg"));
    const QImage image = icon.pixmap(48, 48).toImage();
    ASSERT_FALSE(image.isNull());
    int drawn = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            drawn += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    EXPECT_GT(drawn, 48 * 48 / 10);
}

} // namespace kx
