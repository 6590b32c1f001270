// Every peaktool output option pointed at what it must never replace: its
// own input, a link to it, a read-only file of its own kind and a file of
// another kind (each left byte for byte, exit 1 with the reason), and at a
// device and a link to one (written, and still a device and a link).
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/ChildProcess.h"
#include "tests/support/TestMedia.h"

#ifdef PEAKTOOL

namespace kx {

namespace {

QByteArray Native(const QString& path)
{
    return QFile::encodeName(path);
}

// What lies under a name: its type, mode and contents.
QByteArray State(const QString& path)
{
    struct stat st {};
    if (lstat(Native(path).constData(), &st) != 0)
        return "missing";
    QByteArray s = QByteArray::number(st.st_mode, 8);
    if (S_ISREG(st.st_mode))
        s += ' ' + ReadFileContents(path);
    else if (S_ISLNK(st.st_mode))
        s += ' ' + QFile::encodeName(QFile::symLinkTarget(path));
    return s;
}

ChildResult Peaktool(const QStringList& args)
{
    std::vector<QByteArray> native;
    for (const QString& a : args)
        native.push_back(Native(a));
    return RunChild(PEAKTOOL, native, 60000);
}

struct Writer {
    const char* what;
    QString input;
    QString sameKind;  // a file of the kind the command writes
    // The command with its output pointed at target.
    std::function<QStringList(const QString& target)> args;
};

} // namespace

TEST(HostileOutputs, everyOutputOptionKeepsWhatItMustAndWritesDevicesInPlace)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath("a.wav");
    ASSERT_TRUE(TestMedia::WriteWav(wav, {44100, 2, 16, 44100}, TestMedia::Sine(330, 0.5, 44100)));
    const QString pek = dir.filePath("a.pek"), dat = dir.filePath("a.dat"), png = dir.filePath("a.png"),
                  viewer = dir.filePath("w.pek"), json = dir.filePath("a.json");
    ASSERT_TRUE(Peaktool({"build", "-q", wav}).Exited(0));
    ASSERT_TRUE(Peaktool({"export", pek, "--format", "dat", "-o", dat}).Exited(0));
    ASSERT_TRUE(Peaktool({"export", pek, "--format", "json", "-o", json}).Exited(0));
    ASSERT_TRUE(Peaktool({"render", pek, "-o", png}).Exited(0));
    ASSERT_TRUE(Peaktool({"wavpeaks", wav, "-o", viewer}).Exited(0));

    const std::vector<Writer> writers = {
        {"export", pek, dat, [&](const QString& t) { return QStringList{"export", pek, "--format", "dat", "-o", t}; }},
        {"import", dat, pek, [&](const QString& t) { return QStringList{"import", dat, "-o", t}; }},
        {"render", pek, png, [&](const QString& t) { return QStringList{"render", pek, "-o", t}; }},
        {"render --spectrogram", wav, png,
         [&](const QString& t) { return QStringList{"render", "--spectrogram", wav, "-o", t}; }},
        {"wavpeaks", wav, viewer, [&](const QString& t) { return QStringList{"wavpeaks", wav, "-o", t}; }},
        {"build --format", wav, json,
         [&](const QString& t) { return QStringList{"build", "--format", "json", "--force", "-o", t, wav}; }},
    };
    const QString notes = dir.filePath("notes.txt"), locked = dir.filePath("locked"),
                  inputLink = dir.filePath("input-link"), notesLink = dir.filePath("notes-link"),
                  deviceLink = dir.filePath("device-link");
    ASSERT_TRUE(TestMedia::WriteFile(notes, {'m', 'y', ' ', 'n', 'o', 't', 'e', 's', '\n'}));
    ASSERT_EQ(symlink(Native(notes).constData(), Native(notesLink).constData()), 0);
    ASSERT_EQ(symlink("/dev/null", Native(deviceLink).constData()), 0);

    for (const Writer& w : writers) {
        SCOPED_TRACE(w.what);
        QFile::remove(inputLink);
        ASSERT_EQ(symlink(Native(w.input).constData(), Native(inputLink).constData()), 0);
        QFile::remove(locked);
        ASSERT_TRUE(QFile::copy(w.sameKind, locked));
        ASSERT_EQ(chmod(Native(locked).constData(), 0444), 0);
        for (const QString& target : {w.input, inputLink, locked, notes, notesLink}) {
            const QByteArray before = State(target), input = State(w.input);
            const ChildResult r = Peaktool(w.args(target));
            EXPECT_TRUE(r.Exited(1)) << target.toStdString() << ": exit " << r.exitCode << "\n" << r.err.constData();
            EXPECT_TRUE(r.err.contains(": ") || r.out.contains(": ")) << r.err.constData();
            EXPECT_EQ(State(target), before) << target.toStdString();
            EXPECT_EQ(State(w.input), input);
        }
        if (access("/dev/null", W_OK) != 0)
            continue;
        for (const QString& target : {QStringLiteral("/dev/null"), deviceLink}) {
            const ChildResult r = Peaktool(w.args(target));
            EXPECT_TRUE(r.Exited(0)) << target.toStdString() << ": exit " << r.exitCode << "\n" << r.err.constData();
        }
        struct stat st {};
        ASSERT_EQ(stat("/dev/null", &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode) && (st.st_mode & 0777) == 0666);
        ASSERT_EQ(lstat(Native(deviceLink).constData(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode));
    }
    // No temporary file of any writer stays behind.
    for (const QString& name : QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::Hidden))
        EXPECT_FALSE(name.endsWith(".partial")) << name.toStdString();
}

} // namespace kx

#endif
