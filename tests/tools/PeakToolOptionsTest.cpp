// The conventions every peaktool command shares: one option parser, quiet
// runs, "-" for stdin and stdout, and a progress bar only on a terminal.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include "kxaudio/Version.h"
#include "peaks/PeakFormat.h"
#include "tests/support/TestMedia.h"

#include "tests/support/ToolRun.h"

namespace kx {

namespace {

ToolRun Peaktool(const QStringList& args, const QByteArray& input = {}, const QString& folder = {},
                 const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
{
    ToolRunOptions options;
    options.input = input;
    options.folder = folder;
    options.environment = env;
    options.timeoutMs = 60000;
    return RunTool(QStringLiteral(PEAKTOOL), args, options);
}

// Runs peaktool with its stderr on a pseudo-terminal; gives what it drew there.
QByteArray StderrOnTerminal(const QStringList& args)
{
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return "openpty failed";
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    QProcess p;
    p.setChildProcessModifier([slave] { dup2(slave, STDERR_FILENO); });
    p.start(QStringLiteral(PEAKTOOL), args);
    QByteArray drawn;
    char buffer[4096];
    // Drained while it runs: a full terminal buffer would stall the program.
    for (bool finished = false; !finished;) {
        finished = p.waitForFinished(20) || p.state() == QProcess::NotRunning;
        for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;)
            drawn.append(buffer, n);
    }
    close(slave);
    close(master);
    return drawn;
}

QString MakeWav(const QTemporaryDir& dir, const QString& name, uint32_t rate = 44100)
{
    const QString path = dir.filePath(name);
    TestMedia::WriteWav(path, {rate, 2, 16, rate}, TestMedia::Sine(220, 0.5, rate));
    return path;
}

} // namespace

TEST(PeakToolOptions, versionComesFromTheLibraryVersion)
{
    const ToolRun r = Peaktool({"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.bytes, QByteArray("peaktool " KXAUDIO_VERSION_STRING "\n"));
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
}

TEST(PeakToolOptions, valuesAfterAnEqualsSignOrAsTheNextArgument)
{
    QTemporaryDir dir;
    const QString a = MakeWav(dir, "a.wav"), b = MakeWav(dir, "b.wav");
    ASSERT_EQ(Peaktool({"build", "--rate=22050", "--samples-per-peak=441", a}).code, 0);
    ASSERT_EQ(Peaktool({"build", "--rate", "22050", "--samples-per-peak", "441", b}).code, 0);
    const QByteArray pa = ReadFileContents(dir.filePath("a.pek")), pb = ReadFileContents(dir.filePath("b.pek"));
    ASSERT_GE(pa.size(), PeakHeaderSize);
    EXPECT_EQ(pa, pb);
    const ToolRun info = Peaktool({"info", dir.filePath("a.pek")});
    EXPECT_TRUE(info.bytes.contains("SamplesPerSecond: 22050\n")) << info.bytes.constData();
    EXPECT_TRUE(info.bytes.contains("SamplesPerPeak: 441\n")) << info.bytes.constData();

    // Short options take theirs attached or apart.
    EXPECT_EQ(Peaktool({"wavpeaks", a, "-o" + dir.filePath("x.pk")}).code, 0);
    EXPECT_EQ(Peaktool({"wavpeaks", a, "-o", dir.filePath("y.pk")}).code, 0);
    EXPECT_EQ(ReadFileContents(dir.filePath("x.pk")), ReadFileContents(dir.filePath("y.pk")));
}

TEST(PeakToolOptions, doubleDashEndsTheOptions)
{
    QTemporaryDir dir;
    std::vector<uint8_t> b(PeakHeaderSize + 8, 0x80);
    EncodePeakHeader(MakePeakHeader(44100, 2, 16, 100, 10000000), b.data());
    ASSERT_TRUE(TestMedia::WriteFile(dir.filePath("-q.pek"), b));
    // Without "--" the name is taken for the quiet option.
    const ToolRun asOption = Peaktool({"info", "-q.pek"}, {}, dir.path());
    EXPECT_EQ(asOption.code, 2);
    const ToolRun asFile = Peaktool({"info", "--", "-q.pek"}, {}, dir.path());
    EXPECT_EQ(asFile.code, 0) << asFile.err.toStdString();
    EXPECT_TRUE(asFile.bytes.startsWith("Magic: PEAK\n"));
    // Options before the "--" still count.
    const ToolRun quiet = Peaktool({"info", "-q", "--", "-q.pek"}, {}, dir.path());
    EXPECT_EQ(quiet.code, 0);
    EXPECT_TRUE(quiet.bytes.isEmpty());
}

TEST(PeakToolOptions, quietPrintsErrorsOnly)
{
    QTemporaryDir dir;
    const QString a = MakeWav(dir, "a.wav");
    ToolRun r = Peaktool({"build", "-q", a});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.bytes.isEmpty()) << r.bytes.constData();
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    EXPECT_TRUE(QFile::exists(dir.filePath("a.pek")));

    // Before the command it counts too; failures still reach stderr.
    r = Peaktool({"--quiet", "build", dir.filePath("gone.wav")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.bytes.isEmpty());
    EXPECT_TRUE(r.err.contains("gone.wav: not-found")) << r.err.toStdString();

    r = Peaktool({"status", "-q", a});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.bytes.isEmpty());
}

TEST(PeakToolOptions, dashOutputWritesTheDataToStdout)
{
    QTemporaryDir dir;
    const QString a = MakeWav(dir, "a.wav");
    ASSERT_EQ(Peaktool({"build", a}).code, 0);
    const QString pek = dir.filePath("a.pek");

    ASSERT_EQ(Peaktool({"render", pek, "-o", dir.filePath("file.png"), "--width=300", "--height=60"}).code, 0);
    const ToolRun png = Peaktool({"render", pek, "-o", "-", "--width=300", "--height=60"});
    ASSERT_EQ(png.code, 0) << png.err.toStdString();
    EXPECT_TRUE(png.bytes.startsWith("\x89PNG")) << "only the image goes to stdout";
    const QImage fromStdout = QImage::fromData(png.bytes, "PNG");
    EXPECT_EQ(fromStdout.size(), QSize(300, 60));
    EXPECT_EQ(fromStdout, QImage(dir.filePath("file.png")));

    ASSERT_EQ(Peaktool({"wavpeaks", a, "--output", dir.filePath("w.pk")}).code, 0);
    const ToolRun peaks = Peaktool({"wavpeaks", a, "--output=-"});
    ASSERT_EQ(peaks.code, 0) << peaks.err.toStdString();
    EXPECT_EQ(peaks.bytes, ReadFileContents(dir.filePath("w.pk")));
}

TEST(PeakToolOptions, dashInputReadsTheNamesFromStdin)
{
    QTemporaryDir dir;
    const QString a = MakeWav(dir, "a.wav"), b = MakeWav(dir, "b.wav");
    const ToolRun r = Peaktool({"build", "-"}, (a + "\n\n" + b + "\r\n").toUtf8());
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.bytes, QString("built\t%1\t%2\nbuilt\t%3\t%4\n")
                         .arg(a, dir.filePath("a.pek"), b, dir.filePath("b.pek"))
                         .toUtf8());

    const ToolRun status = Peaktool({"status", "-", dir.filePath("c.wav")}, a.toUtf8());
    EXPECT_TRUE(status.bytes.endsWith("files: 2 missing: 1 filled: 1\n")) << status.bytes.constData();
}

TEST(PeakToolOptions, everyCommandReportsUsageErrorsTheSameWay)
{
    const ToolRun top = Peaktool({"--verbose"});
    EXPECT_EQ(top.code, 2);
    EXPECT_TRUE(top.err.startsWith("peaktool: unknown option '--verbose'\nTry 'peaktool --help'"))
        << top.err.toStdString();
    const QStringList commands = {"build", "status", "info", "render", "wavpeaks"};
    for (const QString& c : commands) {
        const ToolRun r = Peaktool({c, "--frobnicate=1", "x"});
        EXPECT_EQ(r.code, 2) << c.toStdString();
        EXPECT_TRUE(r.bytes.isEmpty());
        EXPECT_TRUE(r.err.startsWith(QString("peaktool %1: unknown option '--frobnicate'\n"
                                             "Try 'peaktool %1 --help'")
                                         .arg(c)))
            << r.err.toStdString();
        EXPECT_EQ(Peaktool({c, "--help"}).code, 0) << c.toStdString();
    }
    // A near miss gets a hint; a missing value is named.
    ToolRun r = Peaktool({"build", "--sample-per-peak", "3", "x.wav"});
    EXPECT_TRUE(r.err.contains("did you mean '--samples-per-peak'?")) << r.err.toStdString();
    r = Peaktool({"build", "x.wav", "--rate"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("'--rate'")) << r.err.toStdString();
    r = Peaktool({"biuld", "x.wav"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("unknown command 'biuld' (did you mean 'build'?)")) << r.err.toStdString();
}

TEST(PeakToolOptions, progressIsDrawnOnlyOnATerminal)
{
    QTemporaryDir dir;
    const QString a = MakeWav(dir, "a.wav", 8000);
    const QByteArray drawn = StderrOnTerminal({"wavpeaks", a, "-o", dir.filePath("a.pk")});
    EXPECT_TRUE(drawn.contains("100%")) << drawn.constData();
    EXPECT_TRUE(drawn.endsWith("\r\033[K")) << "the bar is erased at the end";
    EXPECT_FALSE(StderrOnTerminal({"wavpeaks", "-q", a, "-o", dir.filePath("b.pk")}).contains("%"));

    const QByteArray build = StderrOnTerminal({"build", a});
    EXPECT_TRUE(build.contains("file 1/1")) << build.constData();
    QFile::remove(dir.filePath("a.pek"));
    EXPECT_FALSE(StderrOnTerminal({"build", "--no-progress", a}).contains("%"));
    // Into a pipe: nothing at all.
    QFile::remove(dir.filePath("a.pek"));
    const ToolRun piped = Peaktool({"build", a});
    EXPECT_EQ(piped.code, 0);
    EXPECT_TRUE(piped.err.isEmpty()) << piped.err.toStdString();
}

TEST(PeakToolOptions, normalRunsPrintNoStrayLinesWithoutARuntimeFolder)
{
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("XDG_RUNTIME_DIR");
    env.remove("QT_QPA_PLATFORM");
    env.insert("TMPDIR", dir.path());
    const QString a = MakeWav(dir, "a.wav");
    const QString pek = dir.filePath("a.pek");
    const QList<QStringList> runs = {{"build", a},
                                     {"status", a},
                                     {"info", pek},
                                     {"render", pek, "-o", dir.filePath("a.png")},
                                     {"wavpeaks", a, "-o", dir.filePath("a.pk")}};
    for (const QStringList& args : runs) {
        const ToolRun r = Peaktool(args, {}, {}, env);
        EXPECT_EQ(r.code, 0) << args.join(' ').toStdString();
        EXPECT_EQ(r.err, QString()) << args.join(' ').toStdString();
    }
}

TEST(PeakToolOptions, diagnosticsAreSwitchedOnByTheUser)
{
    QTemporaryDir dir;
    // Compressed, so that the peak filter element does the reduction.
    const QString a = dir.filePath("a.flac");
    ASSERT_TRUE(TestMedia::EncodeTone(a, 0.5));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("QT_MESSAGE_PATTERN");
    env.insert("QT_LOGGING_RULES", "kx.peaks.debug=true");
    env.insert("GST_DEBUG", "kxpeaksink:4");
    env.insert("GST_DEBUG_NO_COLOR", "1");
    const ToolRun r = Peaktool({"build", a}, {}, {}, env);
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.err.contains(QString("kx.peaks: built \"%1\"").arg(a))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("kxpeaksink")) << "the peak filter's own debug category";
    EXPECT_EQ(r.bytes, QString("built\t%1\t%2\n").arg(a, dir.filePath("a.pek")).toUtf8()) << "stdout stays clean";
}

} // namespace kx
