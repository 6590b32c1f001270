// Every peaktool command that takes a file, run on every input of the hostile
// corpus: no crash, no hang, bounded memory, a clear result, and the folders
// exactly as they were (apart from an output a success was asked to write).
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <algorithm>
#include <functional>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

#include "HostileInputs.h"
#include "tests/support/TestHelpers.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/RawNameFolder.h"

#ifdef PEAKTOOL

namespace kx {

namespace {

using Hostile::Expect;
using Hostile::Input;
using Hostile::Kind;

constexpr long MemoryLimitKb = 300 * 1024;
// Under the sanitizer the limits only catch hangs; the optimised build holds
// the real ones.
constexpr int TimeLimitMs = UnderAddressSanitizer ? 60000 : 10000;

// What a folder holds: per entry its type, size, time and (for small
// regular files) a hash of the content. FIFOs are never opened.
using Snapshot = std::map<QByteArray, QByteArray>;

void Walk(const QByteArray& dir, Snapshot& out)
{
    DIR* d = opendir(dir.constData());
    if (!d)
        return;
    while (dirent* e = readdir(d)) {
        const QByteArray name = e->d_name;
        if (name == "." || name == "..")
            continue;
        const QByteArray path = dir + '/' + name;
        struct stat st {};
        if (lstat(path.constData(), &st) != 0)
            continue;
        QByteArray v = QByteArray::number(st.st_mode) + ' ' + QByteArray::number(qlonglong(st.st_size)) + ' ' +
                       QByteArray::number(qlonglong(st.st_mtim.tv_sec)) + '.' +
                       QByteArray::number(qlonglong(st.st_mtim.tv_nsec));
        if (S_ISREG(st.st_mode) && st.st_size < (8 << 20)) {
            QFile f(QFile::decodeName(path));
            if (f.open(QIODevice::ReadOnly))
                v += ' ' + QCryptographicHash::hash(f.readAll(), QCryptographicHash::Md5).toHex();
        }
        out[path] = v;
        if (S_ISDIR(st.st_mode))
            Walk(path, out);
    }
    closedir(d);
}

Snapshot Take(const QByteArray& dir)
{
    Snapshot s;
    Walk(dir, s);
    return s;
}

// The longest printable run of the file's name, as a command prints it.
QByteArray NameInOutput(const QByteArray& path)
{
    const QByteArray base = path.mid(path.lastIndexOf('/') + 1);
    QByteArray best, run;
    for (char c : base + '\x01') {
        if (c >= 32 && c < 127) {
            run += c;
        } else {
            if (run.size() > best.size())
                best = run;
            run.clear();
        }
    }
    return best;
}

// A clear failure names the file and says why: "NAME: reason" on one line,
// or the builder's "not-found" result.
bool GivesReason(const QByteArray& output, const QByteArray& name)
{
    for (const QByteArray& line : output.split('\n')) {
        const qsizetype at = line.indexOf(name);
        if (at < 0)
            continue;
        if (line.startsWith("not-found"))
            return true;
        const qsizetype colon = line.indexOf(": ", at + name.size());
        if (colon >= 0 && line.size() - colon > 4)
            return true;
    }
    return false;
}

struct Command {
    const char* name;
    // Arguments for an input; outputs go to outDir, builder files to tempDir.
    std::function<std::vector<QByteArray>(const Input&, const QByteArray& outDir, const QByteArray& tempDir)> args;
    // What the command should make of an input.
    std::function<Expect(const Input&)> expect;
};

Expect ForKind(const Input& in, Kind kind)
{
    return in.kind == kind ? in.expect : Expect::Refuse;
}

const Command commands[] = {
    {"build",
     [](const Input& in, const QByteArray&, const QByteArray& temp) {
         return std::vector<QByteArray>{"build", "--no-progress", "--temp-folder", temp, "--", in.path};
     },
     [](const Input& in) { return in.kind == Kind::Other ? Expect::Refuse : in.build; }},
    {"status",
     [](const Input& in, const QByteArray&, const QByteArray& temp) {
         return std::vector<QByteArray>{"status", "--temp-folder", temp, "--", in.path};
     },
     // Status reports what it finds; it decodes nothing.
     [](const Input&) { return Expect::Either; }},
    {"info",
     [](const Input& in, const QByteArray&, const QByteArray&) {
         return std::vector<QByteArray>{"info", "--", in.path};
     },
     [](const Input& in) { return ForKind(in, Kind::PeakFile); }},
    {"render",
     [](const Input& in, const QByteArray& out, const QByteArray&) {
         return std::vector<QByteArray>{"render", "-o", out + "/r.png", "--", in.path};
     },
     [](const Input& in) { return ForKind(in, Kind::PeakFile); }},
    {"export",
     [](const Input& in, const QByteArray& out, const QByteArray&) {
         return std::vector<QByteArray>{"export", "--format", "dat", "-o", out + "/e.dat", "--", in.path};
     },
     [](const Input& in) { return ForKind(in, Kind::PeakFile); }},
    {"import",
     [](const Input& in, const QByteArray& out, const QByteArray&) {
         return std::vector<QByteArray>{"import", "-o", out + "/i.pek", "--", in.path};
     },
     [](const Input& in) { return ForKind(in, Kind::WaveformData); }},
    {"wavpeaks",
     [](const Input& in, const QByteArray& out, const QByteArray&) {
         return std::vector<QByteArray>{"wavpeaks", "-o", out + "/w.pek", "--", in.path};
     },
     [](const Input& in) { return ForKind(in, Kind::Wav); }},
};

struct Tally {
    int inputs = 0, cleanErrors = 0, accepted = 0, crashes = 0, hangs = 0, silentSuccesses = 0, filesLeft = 0,
        unclear = 0, overMemory = 0;
};

// Runs the command on every input.
void RunCommand(const char* which)
{
    const Command* command = nullptr;
    for (const Command& c : commands)
        if (QLatin1String(c.name) == QLatin1String(which))
            command = &c;
    ASSERT_TRUE(command);
    // Removed by bytes: some inputs are named in bytes that are not UTF-8.
    RawNameFolder corpusDir;
    QTemporaryDir outDir, tempDir;
    const std::vector<Input> corpus = Hostile::MakeCorpus(QFile::decodeName(corpusDir.Path()));
    ASSERT_GE(corpus.size(), 150u);
    const QByteArray corpusPath = corpusDir.Path(), outPath = QFile::encodeName(outDir.path()),
                     tempPath = QFile::encodeName(tempDir.path());
    Tally t;
    for (const Input& in : corpus) {
        SCOPED_TRACE(in.path.toStdString() + " (" + in.label.toStdString() + ")");
        ++t.inputs;
        const Snapshot before = Take(corpusPath);
        const ChildResult r = RunChild(PEAKTOOL, command->args(in, outPath, tempPath), TimeLimitMs);
        const QByteArray output = r.out + r.err;
        const bool sanitizer = output.contains("Sanitizer") || output.contains("runtime error:");
        const Expect expect = command->expect(in);

        if (r.timedOut) {
            ++t.hangs;
            ADD_FAILURE() << "still running after " << TimeLimitMs << " ms";
        } else if (r.signaled || (r.exitCode != 0 && r.exitCode != 1 && r.exitCode != 2) || sanitizer) {
            ++t.crashes;
            ADD_FAILURE() << "crashed: signal " << r.signal << " exit " << r.exitCode << "\n" << output.toStdString();
        } else if (r.exitCode == 0) {
            ++t.accepted;
            if (expect == Expect::Refuse) {
                ++t.silentSuccesses;
                ADD_FAILURE() << "exit 0 on an input it must refuse\n" << output.toStdString();
            }
        } else {
            ++t.cleanErrors;
            EXPECT_NE(expect, Expect::Accept) << "refused an input it must accept\n" << output.toStdString();
            EXPECT_EQ(r.exitCode, 1) << output.toStdString();
            if (!GivesReason(output, NameInOutput(in.path))) {
                ++t.unclear;
                ADD_FAILURE() << "the failure does not name the file and a reason\n" << output.toStdString();
            }
        }
        if (!UnderAddressSanitizer && r.maxRssKb > MemoryLimitKb) {
            ++t.overMemory;
            ADD_FAILURE() << "peak memory " << r.maxRssKb / 1024 << " MB";
        }

        // Outputs a success was asked for are removed; anything else is left behind.
        const bool success = r.Exited(0);
        Snapshot after = Take(corpusPath);
        const QByteArray ownPeak = in.path.left(in.path.lastIndexOf('.')) + ".pek";
        // A build's own outputs: the peak file and its RMS side file.
        if (success && QLatin1String(which) == QLatin1String("build"))
            for (const QByteArray& own : {ownPeak, ownPeak + ".rms"})
                if (!before.count(own) && after.count(own)) {
                    unlink(own.constData());
                    after.erase(own);
                }
        Snapshot outputs = Take(outPath), temps = Take(tempPath);
        if (success)
            for (Snapshot* s : {&outputs, &temps})
                for (const auto& [path, v] : *s)
                    unlink(path.constData());
        const bool left = after != before || (!success && (!outputs.empty() || !temps.empty()));
        if (left) {
            ++t.filesLeft;
            for (const auto& [path, v] : after)
                if (!before.count(path) || before.at(path) != v)
                    ADD_FAILURE() << "left or changed: " << path.toStdString();
            for (const auto& [path, v] : before)
                if (!after.count(path))
                    ADD_FAILURE() << "removed: " << path.toStdString();
            for (const Snapshot* s : {&outputs, &temps})
                for (const auto& [path, v] : *s)
                    ADD_FAILURE() << "left by a failure: " << path.toStdString();
        }
        // Start the next input from clean folders whatever happened.
        for (const Snapshot* s : {&outputs, &temps})
            for (const auto& [path, v] : *s)
                unlink(path.constData());
    }
    std::printf("hostile corpus, %s: inputs %d, clean errors %d, accepted %d, crashes %d, hangs %d, "
                "silent successes %d, files left %d, unclear messages %d, over memory %d\n",
                which, t.inputs, t.cleanErrors, t.accepted, t.crashes, t.hangs, t.silentSuccesses, t.filesLeft,
                t.unclear, t.overMemory);
}

} // namespace

TEST(HostileCorpus, build) { RunCommand("build"); }
TEST(HostileCorpus, status) { RunCommand("status"); }
TEST(HostileCorpus, info) { RunCommand("info"); }
TEST(HostileCorpus, render) { RunCommand("render"); }
TEST(HostileCorpus, exportData) { RunCommand("export"); }
TEST(HostileCorpus, importData) { RunCommand("import"); }
TEST(HostileCorpus, wavpeaks) { RunCommand("wavpeaks"); }

} // namespace kx

#endif
