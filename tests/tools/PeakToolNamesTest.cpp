// File names that are not UTF-8 go from the command line to the file system
// and back to the output in their own bytes.
#include <QByteArray>
#include <QFile>
#include <QList>
#include <cstring>
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "peaks/PeakFormat.h"
#include "platform/NativeName.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RawNameFolder.h"
#include "tests/support/TestMedia.h"

namespace kx {

namespace {

constexpr int TimeLimitMs = 60000;

ChildResult PeakTool(const std::vector<QByteArray>& args)
{
    return RunChild(PEAKTOOL, args, TimeLimitMs);
}

// Runs a shell line with $0 = peaktool and $1.. = args, for a working
// folder or standard input given in bytes.
ChildResult Shell(const QByteArray& line, std::vector<QByteArray> args)
{
    args.insert(args.begin(), {"-c", line, PEAKTOOL});
    return RunChild("/bin/sh", args, TimeLimitMs);
}

bool Exists(const QByteArray& path)
{
    struct stat st {};
    return stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode);
}

QList<QByteArray> Entries(const QByteArray& folder)
{
    QList<QByteArray> names;
    DIR* dir = opendir(folder.constData());
    while (const dirent* entry = dir ? readdir(dir) : nullptr)
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names << entry->d_name;
    if (dir)
        closedir(dir);
    return names;
}

QList<QByteArray> Lines(const QByteArray& out)
{
    QList<QByteArray> lines = out.split('\n');
    lines.removeAll(QByteArray());
    return lines;
}

class PeakToolNames : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.IsValid());
        // "\xff\xfe" is never UTF-8; "caf\xe9" is Latin-1.
        wav_ = dir_.Name("\xff\xfe-x.wav");
        flac_ = dir_.Name("caf\xe9.flac");
        const std::vector<uint8_t> wav = TestMedia::WavBytes({44100, 2, 16, 22050}, TestMedia::Sine(440, 0.5, 44100));
        QFile file;
        ASSERT_TRUE(OpenNativeFile(file, DecodeNativeName(wav_), QIODevice::WriteOnly));
        ASSERT_EQ(file.write(reinterpret_cast<const char*>(wav.data()), qint64(wav.size())), qint64(wav.size()));
        file.close();
        const QByteArray plain = dir_.Name("plain.flac");
        ASSERT_TRUE(TestMedia::EncodeTone(QFile::decodeName(plain), 0.5));
        ASSERT_EQ(rename(plain.constData(), flac_.constData()), 0);
    }

    static QByteArray Peak(const QByteArray& media, const char* ext = ".pek")
    {
        return media.left(media.lastIndexOf('.')) + ext;
    }

    RawNameFolder dir_;
    QByteArray wav_, flac_;
};

} // namespace

TEST_F(PeakToolNames, buildWritesThePeakFileBesideTheMediaUnderItsBytes)
{
    const ChildResult r = PeakTool({"build", "--no-progress", "--", wav_, flac_});
    ASSERT_TRUE(r.Exited(0)) << r.out.toStdString() << r.err.toStdString();
    EXPECT_EQ(r.out, "built\t" + wav_ + "\t" + Peak(wav_) + "\nbuilt\t" + flac_ + "\t" + Peak(flac_) + "\n");
    for (const QByteArray& media : {wav_, flac_}) {
        ASSERT_TRUE(Exists(Peak(media))) << Peak(media).toStdString();
        std::vector<uint8_t> bytes;
        EXPECT_EQ(ReadPeakFile(DecodeNativeName(Peak(media)), PeakReader::ViewerFile, bytes), PeakCheck::Accepted);
    }
    // Nothing else stays behind: no temporary file of the build, only the
    // peak files' RMS side files under the same bytes.
    for (const QByteArray& media : {wav_, flac_})
        EXPECT_TRUE(Exists(Peak(media) + ".rms")) << Peak(media).toStdString();
    EXPECT_EQ(Entries(dir_.Path()).size(), 6) << Entries(dir_.Path()).join(' ').toStdString();

    // Built once: the second run finds them.
    const ChildResult again = PeakTool({"build", "--no-progress", "--", wav_, flac_});
    EXPECT_TRUE(again.Exited(0));
    EXPECT_EQ(again.out,
              "has-peaks\t" + wav_ + "\t" + Peak(wav_) + "\nhas-peaks\t" + flac_ + "\t" + Peak(flac_) + "\n");

    // A name that is not there is still told apart, in its own bytes too.
    const QByteArray missing = dir_.Name("\xe9t\xe9.wav");
    const ChildResult gone = PeakTool({"build", "--no-progress", "--", missing});
    EXPECT_TRUE(gone.Exited(1));
    EXPECT_EQ(gone.out, "not-found\t" + missing + "\n");
}

TEST_F(PeakToolNames, statusInfoAndExportReachTheFiles)
{
    ASSERT_TRUE(PeakTool({"build", "--no-progress", "--", wav_}).Exited(0));
    ChildResult r = PeakTool({"status", "--", wav_, flac_});
    ASSERT_TRUE(r.Exited(0)) << r.err.toStdString();
    const QList<QByteArray> lines = Lines(r.out);
    EXPECT_TRUE(lines.contains("OnPeakNew\t0\t" + wav_ + "\t" + Peak(wav_))) << r.out.toStdString();
    EXPECT_TRUE(lines.contains("OnPeakMissing\t1\t" + flac_ + "\t" + Peak(flac_))) << r.out.toStdString();
    EXPECT_EQ(lines.value(lines.size() - 1), "files: 2 missing: 1 filled: 1");

    r = PeakTool({"info", "--", Peak(wav_)});
    EXPECT_TRUE(r.Exited(0)) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("Viewer: accepted")) << r.out.toStdString();

    // The default output is named after the input, bytes and all.
    r = PeakTool({"export", "--format", "json", "--", Peak(wav_)});
    EXPECT_TRUE(r.Exited(0)) << r.err.toStdString();
    EXPECT_TRUE(Exists(Peak(wav_, ".json")));
    r = PeakTool({"export", "--format", "dat", "-o", dir_.Name("out\xe9.dat"), "--", Peak(wav_)});
    EXPECT_TRUE(r.Exited(0)) << r.err.toStdString();
    EXPECT_TRUE(Exists(dir_.Name("out\xe9.dat")));

    // Errors name the file in its bytes as well.
    r = PeakTool({"info", "--", dir_.Name("caf\xe9-missing.pek")});
    EXPECT_TRUE(r.Exited(1));
    EXPECT_TRUE(r.err.contains(dir_.Name("caf\xe9-missing.pek") + ": cannot be opened")) << r.err.toStdString();
}

TEST_F(PeakToolNames, relativeNamesAndNameListsKeepTheirBytes)
{
    // From a working folder that is itself not UTF-8.
    const QByteArray folder = dir_.Name("d\xe9");
    ASSERT_EQ(mkdir(folder.constData(), 0755), 0);
    ASSERT_EQ(rename(flac_.constData(), (folder + "/caf\xe9.flac").constData()), 0);
    ChildResult r = Shell("cd \"$1\" && exec \"$0\" build --no-progress -- \"$2\"", {folder, "caf\xe9.flac"});
    ASSERT_TRUE(r.Exited(0)) << r.out.toStdString() << r.err.toStdString();
    EXPECT_EQ(r.out, "built\t" + folder + "/caf\xe9.flac\t" + folder + "/caf\xe9.pek\n");

    // Names read from standard input, one a line.
    r = Shell("printf '%s\\n' \"$1\" | exec \"$0\" build --no-progress -", {wav_});
    ASSERT_TRUE(r.Exited(0)) << r.out.toStdString() << r.err.toStdString();
    EXPECT_EQ(r.out, "built\t" + wav_ + "\t" + Peak(wav_) + "\n");
}

} // namespace kx
