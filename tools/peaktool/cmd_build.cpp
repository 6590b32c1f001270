// peaktool build: queue media files and build every missing peak file.
#include "Command.h"
#include "peaks/KXPeakBuilder.h"
#include "platform/Exception.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

namespace kx {

namespace {

int Run(const QStringList& args);

const PeakToolCommand command(
    "build", "build the missing peak files of media files",
    "usage: peaktool build [options] FILE...\n"
    "Queues the files, loads the peak files that exist and builds the missing ones\n"
    "one after another. Prints one line per file on stdout:\n"
    "  built FILE PEAKFILE | has-peaks FILE PEAKFILE | failed FILE | not-found FILE\n"
    "and a progress bar on stderr. Exit 1 when any file failed.\n"
    "  --samples-per-peak N  frames per peak record, 1..65535 (default 100)\n"
    "  --rate HZ             48000 44100 32000 22050 11025 8000 (default 48000)\n"
    "  --channels 1|2        peak channels (default 2)\n"
    "  --bits 8|16           peak value width (default 16)\n"
    "  --gain G              gain in units of 1/4096 for both channels (default 4096)\n"
    "  --ext EXT             peak file extension, dot included (default .pek)\n"
    "  --temp-folder DIR     folder for peak files of media in read-only folders\n"
    "  --no-progress         no progress bar\n",
    Run);

struct Options {
    int samplesPerPeak = 100;
    TSPS rate = sps48000;
    TChannels channels = chStereo;
    TBPS bits = bp16;
    uint32_t gain = 4096;
    QString ext = QStringLiteral(".pek");
    QString tempFolder;
    bool progress = true;
    QStringList files;
};

bool ParseInt(const QString& text, long min, long max, long& out)
{
    bool ok = false;
    out = text.toLong(&ok);
    return ok && out >= min && out <= max;
}

// Empty when fine, else the usage error.
QString Parse(const QStringList& args, Options& o)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--no-progress")) {
            o.progress = false;
            continue;
        }
        if (!a.startsWith(QLatin1String("--")) || a.size() == 2) {
            o.files.append(a);
            continue;
        }
        if (i + 1 >= args.size())
            return QStringLiteral("%1 needs a value").arg(a);
        const QString v = args[++i];
        long n = 0;
        if (a == QLatin1String("--samples-per-peak")) {
            if (!ParseInt(v, 1, 65535, n))
                return QStringLiteral("--samples-per-peak takes 1 to 65535");
            o.samplesPerPeak = int(n);
        } else if (a == QLatin1String("--rate")) {
            const QList<std::pair<long, TSPS>> rates = {{48000, sps48000}, {44100, sps44100}, {32000, sps32000},
                                                        {22050, sps22050}, {11025, sps11025}, {8000, sps8000}};
            bool found = false;
            for (const auto& [hz, sps] : rates)
                if (v == QString::number(hz)) {
                    o.rate = sps;
                    found = true;
                }
            if (!found)
                return QStringLiteral("--rate takes 48000, 44100, 32000, 22050, 11025 or 8000");
        } else if (a == QLatin1String("--channels")) {
            if (v != QLatin1String("1") && v != QLatin1String("2"))
                return QStringLiteral("--channels takes 1 or 2");
            o.channels = v == QLatin1String("1") ? chMono : chStereo;
        } else if (a == QLatin1String("--bits")) {
            if (v != QLatin1String("8") && v != QLatin1String("16"))
                return QStringLiteral("--bits takes 8 or 16");
            o.bits = v == QLatin1String("8") ? bp8 : bp16;
        } else if (a == QLatin1String("--gain")) {
            if (!ParseInt(v, 0, 65535, n))
                return QStringLiteral("--gain takes 0 to 65535 (4096 is unity)");
            o.gain = uint32_t(n);
        } else if (a == QLatin1String("--ext")) {
            if (!v.startsWith(QLatin1Char('.')) || v.size() < 2)
                return QStringLiteral("--ext takes an extension such as .pek");
            o.ext = v;
        } else if (a == QLatin1String("--temp-folder")) {
            if (!QFileInfo(v).isDir())
                return QStringLiteral("--temp-folder: %1 is not a folder").arg(v);
            o.tempFolder = QFileInfo(v).absoluteFilePath();
        } else {
            return QStringLiteral("unknown option %1").arg(a);
        }
    }
    return o.files.isEmpty() ? QStringLiteral("no files given") : QString();
}

class ProgressBar
{
public:
    explicit ProgressBar(bool on) : on_(on) {}
    void Show(int filePercent, int fileNumber, int fileCount, const QString& name)
    {
        if (!on_ || fileCount <= 0)
            return;
        filePercent = std::clamp(filePercent, 0, 100);
        const int overall = ((fileNumber - 1) * 100 + filePercent) / fileCount;
        if (filePercent == lastPercent_ && fileNumber == lastFile_)
            return;
        lastPercent_ = filePercent;
        lastFile_ = fileNumber;
        constexpr int Width = 30;
        const int filled = overall * Width / 100;
        std::fprintf(stderr, "\r[%s%s] %3d%%  file %d/%d %3d%%  %s\033[K", QByteArray(filled, '#').constData(),
                     QByteArray(Width - filled, '.').constData(), overall, fileNumber, fileCount, filePercent,
                     QFileInfo(name).fileName().toUtf8().constData());
        std::fflush(stderr);
        dirty_ = true;
    }
    void Clear()
    {
        if (on_ && dirty_)
            std::fprintf(stderr, "\r\033[K");
        dirty_ = false;
    }

private:
    bool on_;
    bool dirty_ = false;
    int lastPercent_ = -1;
    int lastFile_ = -1;
};

int Run(const QStringList& args)
{
    if (WantsHelp(command, args))
        return ExitOk;
    Options o;
    const QString error = Parse(args, o);
    if (!error.isEmpty())
        return UsageError(command, error);

    TKXPeakBuilder builder;
    try {
        builder.SetSaveToPeakFiles(true);
        builder.SetSamplesPerPeak(uint16_t(o.samplesPerPeak));
        builder.SetOutputSamplesPerSecond(o.rate);
        builder.SetOutputChannels(o.channels);
        builder.SetOutputBPS(o.bits);
        builder.SetGains(o.gain | o.gain << 16);
        builder.SetPeakExtension(o.ext);
        if (!o.tempFolder.isEmpty())
            builder.SetTempFolder(o.tempFolder);
    } catch (const Exception& e) {
        Err(QStringLiteral("peaktool build: %1").arg(e.Message()));
        return ExitFailed;
    }

    ProgressBar bar(o.progress && isatty(STDERR_FILENO));
    int failures = 0;
    int total = 0;
    int done = 0;
    const auto result = [&bar](const QString& line) {
        bar.Clear();
        Out(line);
    };
    builder.OnFileNotExist = [&](QObject*, const QString& file) {
        ++failures;
        result(QStringLiteral("not-found\t%1").arg(file));
    };
    builder.OnPeakNew = [&](QObject*, int, const QString& file, const QString& peak) {
        result(QStringLiteral("has-peaks\t%1\t%2").arg(file, peak));
    };
    builder.OnPeakFailed = [&](QObject*, int, const QString& file, const QString&) {
        ++failures;
        ++done;
        result(QStringLiteral("failed\t%1").arg(file));
    };
    builder.OnPeakComplete = [&](QObject*, int, const QString& file, const QString& peak) {
        ++done;
        result(QStringLiteral("built\t%1\t%2").arg(file, peak));
    };
    builder.OnProgress = [&](QObject*, int progress, int item, int, bool&) {
        if (item >= 0 && item < builder.FileCount() && progress >= 0)
            bar.Show(progress, std::min(done + 1, total), total, builder.Files()[item]);
    };

    for (const QString& f : o.files)
        builder.AppendFilename(QFileInfo(f).absoluteFilePath());
    builder.FindNextMissing();
    total = builder.MissingCount();
    if (total > 0 && builder.StartBuild()) {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (builder.BuildState() != bsBuilding)
                loop.quit();
        });
        poll.start(20);
        loop.exec();
    }
    bar.Clear();
    return failures > 0 ? ExitFailed : ExitOk;
}

} // namespace

} // namespace kx
