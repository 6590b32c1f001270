// Faults injected into peaktool builds: the process killed while it writes,
// a full disk, the output folder removed, the media replaced after its peaks
// were built, two processes building one file. Whatever happens, a peak file
// that exists afterwards is the complete one, and every run ends clearly.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/ChildProcess.h"
#include "tests/support/TestHelpers.h"
#include "tests/support/TestMedia.h"

#ifdef PEAKTOOL

namespace kx {

namespace {

constexpr int TimeLimitMs = 60000;

QByteArray Bytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

ChildResult Build(const QString& media, const ChildOptions& options = {})
{
    return RunChild(PEAKTOOL, {"build", "--no-progress", "--", QFile::encodeName(media)}, TimeLimitMs, options);
}

// Names in the folder other than the media and its peak file: temporaries.
QStringList Others(const QString& dir)
{
    QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    // The media, the peak file and its RMS side file; temporaries of either remain.
    names.removeIf([](const QString& n) {
        return n.endsWith(QLatin1String(".wav")) || n == QLatin1String("m.pek") || n == QLatin1String("m.pek.rms");
    });
    return names;
}

class Faults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid() && refDir_.isValid());
        media_ = dir_.filePath(QStringLiteral("m.wav"));
        peak_ = dir_.filePath(QStringLiteral("m.pek"));
        // Long enough that a build is still writing when it is interrupted.
        ASSERT_TRUE(TestMedia::WriteWav(media_, format_, TestMedia::Sine(330, 0.7, format_.rate)));
        reference_ = ReferenceFor(media_);
        ASSERT_GT(reference_.size(), 16);
    }

    // The peak file a clean, undisturbed build makes of a copy of the media.
    QByteArray ReferenceFor(const QString& media)
    {
        const QString copy = refDir_.filePath(QStringLiteral("m.wav"));
        QFile::remove(copy);
        QFile::remove(refDir_.filePath(QStringLiteral("m.pek")));
        if (!QFile::copy(media, copy))
            return {};
        const ChildResult r = Build(copy);
        EXPECT_TRUE(r.Exited(0)) << r.out.toStdString() << r.err.toStdString();
        return Bytes(refDir_.filePath(QStringLiteral("m.pek")));
    }

    // A peak file that exists is the whole one.
    void ExpectNoPartialPeakFile()
    {
        if (QFileInfo::exists(peak_)) {
            EXPECT_EQ(Bytes(peak_), reference_) << "a peak file that is not the complete one";
        }
    }

    TestMedia::WavFormat format_{44100, 2, 16, 44100 * 60};
    QTemporaryDir dir_, refDir_;
    QString media_, peak_;
    QByteArray reference_;
};

} // namespace

TEST_F(Faults, killedBuildLeavesNoPeakFileAndTheNextBuildCompletesIt)
{
    int killedWhileWriting = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        QFile::remove(peak_);
        ChildProcess child;
        ASSERT_TRUE(child.Start(PEAKTOOL, {"build", "--no-progress", "--", QFile::encodeName(media_)}));
        // Kill as soon as anything besides the media shows up: the build is then writing.
        bool writing = false;
        for (int i = 0; i < 20000 && !writing && !child.Wait(0); ++i) {
            writing = !Others(dir_.path()).isEmpty() || QFileInfo::exists(peak_);
            if (!writing)
                usleep(250);
        }
        child.Kill(SIGKILL);
        ASSERT_TRUE(child.Wait(TimeLimitMs));
        killedWhileWriting += writing && child.Result().signaled;
        ExpectNoPartialPeakFile();

        const ChildResult again = Build(media_);
        EXPECT_TRUE(again.Exited(0)) << again.out.toStdString() << again.err.toStdString();
        EXPECT_EQ(Bytes(peak_), reference_);
    }
    std::printf("killed while writing: %d of 3\n", killedWhileWriting);
}

// Temporary names are unique, so the next build of the same file removes what
// a killed one left.
TEST_F(Faults, aKilledBuildsTemporaryIsGoneAfterTheNextBuild)
{
    ChildProcess child;
    ASSERT_TRUE(child.Start(PEAKTOOL, {"build", "--no-progress", "--", QFile::encodeName(media_)}));
    for (int i = 0; i < 20000 && Others(dir_.path()).isEmpty() && !child.Wait(0); ++i)
        usleep(250);
    child.Kill(SIGKILL);
    ASSERT_TRUE(child.Wait(TimeLimitMs));
    ASSERT_TRUE(Build(media_).Exited(0));
    EXPECT_EQ(Bytes(peak_), reference_);
    EXPECT_EQ(Others(dir_.path()), QStringList()) << "a temporary file outlived the next build";
}

TEST_F(Faults, fullDiskFailsTheBuildWithAReasonAndLeavesNothing)
{
    ChildOptions small;
    small.fileSizeLimit = 4096;  // far below the peak file
    const ChildResult r = Build(media_, small);
    EXPECT_TRUE(r.Exited(1)) << r.out.toStdString() << r.err.toStdString();
    const QByteArray output = r.out + r.err;
    EXPECT_TRUE(output.contains("m.wav: ")) << "no reason given: " << output.toStdString();
    EXPECT_FALSE(QFileInfo::exists(peak_));
    EXPECT_EQ(Others(dir_.path()), QStringList());
    // With room again the same file builds.
    const ChildResult again = Build(media_);
    EXPECT_TRUE(again.Exited(0)) << again.out.toStdString();
    EXPECT_EQ(Bytes(peak_), reference_);
}

TEST_F(Faults, outputFolderRemovedDuringTheBuildEndsClearly)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        QTemporaryDir parent;
        const QString folder = parent.filePath(QStringLiteral("music"));
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString media = folder + QStringLiteral("/m.wav");
        ASSERT_TRUE(QFile::copy(media_, media));
        ChildProcess child;
        ASSERT_TRUE(child.Start(PEAKTOOL, {"build", "--no-progress", "--", QFile::encodeName(media)}));
        for (int i = 0; i < 20000 && Others(folder).isEmpty() && !child.Wait(0); ++i)
            usleep(250);
        // The build may add a file between listing and removing: try until it is gone.
        for (int i = 0; i < 100 && QFileInfo::exists(folder); ++i)
            QDir(folder).removeRecursively();
        ASSERT_FALSE(QFileInfo::exists(folder));
        ASSERT_TRUE(child.Wait(TimeLimitMs)) << "the build hangs once its folder is gone";
        const ChildResult& r = child.Result();
        EXPECT_TRUE(r.Exited(0) || r.Exited(1)) << "signal " << r.signal << "\n" << r.err.toStdString();
        if (r.Exited(1)) {
            EXPECT_TRUE((r.out + r.err).contains("m.wav: ")) << "no reason given: " << (r.out + r.err).toStdString();
        }
        // Nothing is made again where the folder was.
        EXPECT_FALSE(QFileInfo::exists(folder)) << "the removed folder came back";
    }
}

TEST_F(Faults, replacedMediaIsRebuiltNotServedFromItsOldPeaks)
{
    ASSERT_TRUE(Build(media_).Exited(0));
    ASSERT_EQ(Bytes(peak_), reference_);
    // Other audio under the same name, clearly newer than its peak file.
    const TestMedia::WavFormat other{22050, 1, 16, 22050 * 3};
    ASSERT_TRUE(TestMedia::WriteWav(media_, other, TestMedia::Sine(1000, 0.3, other.rate)));
    const timespec later[2] = {{time(nullptr) + 5, 0}, {time(nullptr) + 5, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(media_).constData(), later, 0), 0);
    const QByteArray expected = ReferenceFor(media_);

    const ChildResult r = Build(media_);
    EXPECT_TRUE(r.Exited(0)) << r.out.toStdString() << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("stale")) << "the old peak file was not reported: " << r.out.toStdString();
    EXPECT_EQ(Bytes(peak_), expected) << "the peaks of the replaced media are served";
}

TEST_F(Faults, twoProcessesBuildingOneFileBothEndWithTheCompletePeakFile)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        QFile::remove(peak_);
        ChildProcess a, b;
        const std::vector<QByteArray> args = {"build", "--no-progress", "--", QFile::encodeName(media_)};
        ASSERT_TRUE(a.Start(PEAKTOOL, args));
        ASSERT_TRUE(b.Start(PEAKTOOL, args));
        ASSERT_TRUE(a.Wait(TimeLimitMs) && b.Wait(TimeLimitMs));
        for (const ChildProcess* c : {&a, &b}) {
            const ChildResult& r = c->Result();
            EXPECT_TRUE(r.Exited(0)) << r.out.toStdString() << r.err.toStdString();
            EXPECT_TRUE(r.out.startsWith("built") || r.out.startsWith("has-peaks")) << r.out.toStdString();
        }
        EXPECT_EQ(Bytes(peak_), reference_);
        EXPECT_EQ(Others(dir_.path()), QStringList());
    }
}

} // namespace kx

#endif
