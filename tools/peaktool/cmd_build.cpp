// peaktool build: queue media files and build every missing peak file.
#include "Command.h"
#include "Progress.h"
#include "WaveformFiles.h"
#include "peaks/KXPeakBuildPool.h"
#include "peaks/KXPeakBuilder.h"
#include "platform/Exception.h"
#include "platform/NativeName.h"

#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QThread>

namespace kx {

namespace {

void Define(CommandLine& line)
{
    line.SetSynopsis(QStringLiteral("[options] FILE..."));
    line.SetDescription(QStringLiteral(
        "Loads the peak files that exist and builds the missing ones, several files at\n"
        "once (--jobs). Prints one line per file on stdout, in input order:\n"
        "  built FILE PEAKFILE | has-peaks FILE PEAKFILE | failed FILE: REASON |\n"
        "  not-found FILE | collides FILE PEAKFILE | duplicate FILE | stale FILE\n"
        "('collides': an earlier file of this run has the same peak file, and is\n"
        "the only one built; 'stale': the peak file was older than the media and is\n"
        "built again, the line before its result),\n"
        "and one progress bar for all files on stderr when it is a terminal. A FILE of -\n"
        "reads the names from stdin, one a line. --shard K/N keeps the inputs whose\n"
        "name hashes to share K of N, so that N machines given the same list each build\n"
        "their own part. Control characters and backslashes in names are written as\n"
        "\\t, \\n, \\r, \\xHH and \\\\, so that every line is one result.\n"
        "A peak file is never written over its media, a read-only file or a file of\n"
        "another kind; such a file fails with its reason. Every peak file built gets\n"
        "the RMS of its records beside it, PEAKFILE.rms (not with --no-rms); one that\n"
        "cannot be written leaves the build done, with a warning on stderr. With --format dat|json the\n"
        "data goes beside the media (or to -o, or into --output-dir), and data that is\n"
        "not older than its media is kept ('has-peaks'). Exit 1 when any file failed\n"
        "or collided."));
    line.AddOption(QStringLiteral("samples-per-peak"), QStringLiteral("frames per peak record, 1..65535"),
                   QStringLiteral("N"), QStringLiteral("100"));
    line.AddOption(QStringLiteral("rate"), QStringLiteral("48000 44100 32000 22050 11025 8000"), QStringLiteral("HZ"),
                   QStringLiteral("48000"));
    line.AddOption(QStringLiteral("channels"), QStringLiteral("peak channels, 1 or 2"), QStringLiteral("N"),
                   QStringLiteral("2"));
    line.AddOption(QStringLiteral("bits"), QStringLiteral("peak value width, 8 or 16"), QStringLiteral("N"),
                   QStringLiteral("16"));
    line.AddOption(QStringLiteral("gain"), QStringLiteral("gain in units of 1/4096 for both channels"),
                   QStringLiteral("G"), QStringLiteral("4096"));
    line.AddOption(QStringLiteral("ext"), QStringLiteral("peak file extension, dot included"), QStringLiteral("EXT"),
                   QStringLiteral(".pek"));
    line.AddOption(QStringLiteral("temp-folder"), QStringLiteral("folder for peak files of media in read-only folders"),
                   QStringLiteral("DIR"));
    line.AddOption(QStringLiteral("no-progress"), QStringLiteral("no progress bar"));
    line.AddOption(QStringLiteral("no-rms"), QStringLiteral("no RMS side file (PEAKFILE.rms) beside the peak files built"));
    line.AddOption(QStringLiteral("jobs"), QStringLiteral("files built at once (default: the processor count)"),
                   QStringLiteral("N"));
    line.AddOption(QStringLiteral("shard"), QStringLiteral("build only share K of N (1 <= K <= N) of the inputs"),
                   QStringLiteral("K/N"));
    line.AddOption(QStringLiteral("from-list"), QStringLiteral("also read input names from a file, one a line (- for stdin)"),
                   QStringLiteral("FILE"));
    line.AddOption(QStringLiteral("format"),
                   QStringLiteral("pek, or dat/json: waveform data for web viewers where the peak file would go"),
                   QStringLiteral("FORMAT"), QStringLiteral("pek"));
    line.AddOption(QStringLiteral("version"), QStringLiteral("waveform data version; 1 builds one channel"),
                   QStringLiteral("V"), QStringLiteral("2"));
    line.AddOption(QStringLiteral("o,output"),
                   QStringLiteral("with --format, the file to write for the one input (- for stdout)"),
                   QStringLiteral("OUT"));
    line.AddOption(QStringLiteral("output-dir"),
                   QStringLiteral("with --format, the folder the data of every input goes to"), QStringLiteral("DIR"));
    line.AddOption(QStringLiteral("force"),
                   QStringLiteral("replace peak files of the wave viewer's layout and waveform data of the other "
                                  "format; with --format, rebuild data that is up to date"));
    line.AddOption(QStringLiteral("max-memory"),
                   QStringLiteral("memory the peaks kept for --format dat|json may take in all, such as 512M or 2G "
                                  "(default: a quarter of the physical memory)"),
                   QStringLiteral("SIZE"));
}

int Run(CommandLine& line);

// The media framework starts only when a file needs decoding (the builder
// starts it then); WAV files are read directly.
const PeakToolCommand command("build", "build the missing peak files of media files", NeedsNothing, Define, Run);

struct Options {
    uint16_t samplesPerPeak = 100;
    TSPS rate = sps48000;
    TChannels channels = chStereo;
    TBPS bits = bp16;
    uint32_t gain = 4096;
    QString ext;
    QString tempFolder;
    bool progress = true;
    bool rms = true;
    int jobs = 0;
    int shard = 0, shards = 1;  // share index (0-based) and count
    QStringList files;
    std::optional<TWaveformExport> waveform;  // instead of peak files
    QString output;     // with waveform: the one input's output
    QString outputDir;  // with waveform: where every output goes
    bool force = false;
    int64_t maxMemory = 0;                    // 0: the pool's default
};

// Empty when fine, else the usage error.
QString Parse(const CommandLine& line, Options& o)
{
    o.progress = !line.IsSet(QStringLiteral("no-progress"));
    o.rms = !line.IsSet(QStringLiteral("no-rms"));
    if (!line.Int(QStringLiteral("samples-per-peak"), 1, 65535, o.samplesPerPeak))
        return QStringLiteral("--samples-per-peak takes 1 to 65535");
    const QString rate = line.Value(QStringLiteral("rate"));
    const QList<std::pair<long, TSPS>> rates = {{48000, sps48000}, {44100, sps44100}, {32000, sps32000},
                                                {22050, sps22050}, {11025, sps11025}, {8000, sps8000}};
    bool found = false;
    for (const auto& [hz, sps] : rates)
        if (rate == QString::number(hz)) {
            o.rate = sps;
            found = true;
        }
    if (!found)
        return QStringLiteral("--rate takes 48000, 44100, 32000, 22050, 11025 or 8000");
    const QString channels = line.Value(QStringLiteral("channels"));
    if (channels != QLatin1String("1") && channels != QLatin1String("2"))
        return QStringLiteral("--channels takes 1 or 2");
    o.channels = channels == QLatin1String("1") ? chMono : chStereo;
    const QString bits = line.Value(QStringLiteral("bits"));
    if (bits != QLatin1String("8") && bits != QLatin1String("16"))
        return QStringLiteral("--bits takes 8 or 16");
    o.bits = bits == QLatin1String("8") ? bp8 : bp16;
    if (!line.Int(QStringLiteral("gain"), 0, 65535, o.gain))
        return QStringLiteral("--gain takes 0 to 65535 (4096 is unity)");
    o.ext = line.Value(QStringLiteral("ext"));
    if (!o.ext.startsWith(QLatin1Char('.')) || o.ext.size() < 2)
        return QStringLiteral("--ext takes an extension such as .pek");
    if (line.IsSet(QStringLiteral("temp-folder"))) {
        const QString folder = line.Value(QStringLiteral("temp-folder"));
        if (!StatNative(folder).isDir)
            return QStringLiteral("--temp-folder: %1 is not a folder").arg(folder);
        o.tempFolder = AbsoluteNativeName(folder);
    }
    if (line.Value(QStringLiteral("format")) != QLatin1String("pek")) {
        const auto format = ParseWaveformFormat(line.Value(QStringLiteral("format")));
        if (!format)
            return QStringLiteral("--format takes pek, dat or json");
        o.waveform = TWaveformExport{};
        o.waveform->Format = *format;
        o.waveform->MaxValues = MaxWaveformValues;
        if (!line.Int(QStringLiteral("version"), 1, 2, o.waveform->Version))
            return QStringLiteral("--version takes 1 or 2");
        if (o.waveform->Version == 1)
            o.channels = chMono;
    } else if (line.IsSet(QStringLiteral("version")) || line.IsSet(QStringLiteral("output")) ||
               line.IsSet(QStringLiteral("output-dir"))) {
        return QStringLiteral("--version, -o and --output-dir need --format dat or json");
    }
    o.force = line.IsSet(QStringLiteral("force"));
    o.output = line.Value(QStringLiteral("output"));
    if (line.IsSet(QStringLiteral("output-dir"))) {
        if (!o.output.isEmpty())
            return QStringLiteral("-o and --output-dir exclude each other");
        const QString folder = line.Value(QStringLiteral("output-dir"));
        if (!StatNative(folder).isDir)
            return QStringLiteral("--output-dir: %1 is not a folder").arg(folder);
        o.outputDir = AbsoluteNativeName(folder);
    }
    if (!line.Int(QStringLiteral("jobs"), 1, 1024, o.jobs))
        return QStringLiteral("--jobs takes 1 to 1024");
    if (line.IsSet(QStringLiteral("max-memory"))) {
        o.maxMemory = MemoryBudget::ParseSize(line.Value(QStringLiteral("max-memory")));
        if (o.maxMemory <= 0)
            return QStringLiteral("--max-memory takes a size such as 512M or 2G");
    }
    if (line.IsSet(QStringLiteral("shard"))) {
        const QStringList parts = line.Value(QStringLiteral("shard")).split(QLatin1Char('/'));
        bool okK = false, okN = false;
        const int k = parts.size() == 2 ? parts[0].toInt(&okK) : 0;
        const int n = parts.size() == 2 ? parts[1].toInt(&okN) : 0;
        if (!okK || !okN || n < 1 || k < 1 || k > n)
            return QStringLiteral("--shard takes K/N with 1 <= K <= N, such as 2/8");
        o.shard = k - 1;
        o.shards = n;
    }
    o.files = ExpandInputNames(line.Positional());
    if (line.IsSet(QStringLiteral("from-list")) && !ReadNameList(line.Value(QStringLiteral("from-list")), o.files))
        return QStringLiteral("--from-list: cannot read %1").arg(line.Value(QStringLiteral("from-list")));
    // Every machine of a sharded run sees the whole list: none given is fine there.
    if (o.files.isEmpty() && !line.IsSet(QStringLiteral("from-list")))
        return QStringLiteral("no files given");
    if (!o.output.isEmpty() && o.files.size() != 1)
        return QStringLiteral("-o names the output of one input; use --output-dir for more");
    if (o.shards > 1) {
        QStringList mine;
        for (const QString& f : o.files)
            if (ShardOf(f, o.shards) == o.shard)
                mine << f;
        o.files = mine;
    }
    return QString();
}

// Where the waveform data of a media file goes.
QString WaveformOutput(const Options& o, const QString& media, const QString& peakName)
{
    if (!o.output.isEmpty())
        return IsStdStream(o.output) ? o.output : AbsoluteNativeName(o.output);
    const QString extension = WaveformExtension(o.waveform->Format);
    if (!o.outputDir.isEmpty()) {
        const QString bare = media.mid(media.lastIndexOf(QLatin1Char('/')) + 1);
        return o.outputDir + QLatin1Char('/') + ChangeFileExt(bare, extension);
    }
    return ChangeFileExt(peakName, extension);
}

// Waveform data of this format that is not older than its media.
bool UpToDateWaveform(const QString& output, const QString& media, FileKind kind)
{
    const NativeFileStatus data = StatNative(output);
    return data.isFile && data.modifiedMs >= StatNative(media).modifiedMs && KindOfFile(output) == kind;
}

// The lines of every input, printed in input order as they become known.
// A line is a word, the file, and what follows: ": reason" for a failure,
// or more tab-separated names.
class ResultLines
{
public:
    explicit ResultLines(size_t inputs) : lines_(inputs), ready_(inputs, false) {}

    void Note(size_t input, const char* what, const QString& file, const QStringList& more = {})
    {
        lines_[input].push_back({false, what, file, Fields(more)});
    }
    void Failure(size_t input, const char* what, const QString& file, const QStringList& more = {})
    {
        lines_[input].push_back({true, what, file, Fields(more)});
        ++failures_;
    }
    void Failed(size_t input, const QString& file, const QString& reason)
    {
        lines_[input].push_back({true, "failed", file, QStringLiteral(": ") + EscapeField(reason)});
        ++failures_;
    }
    // The input's lines are complete: they and every following input's that
    // are complete too go out.
    void Done(size_t input)
    {
        ready_[input] = true;
        for (; next_ < lines_.size() && ready_[next_]; ++next_)
            for (const Line& l : lines_[next_])
                Print(l);
    }
    int Failures() const { return failures_; }

private:
    struct Line {
        bool failure;
        const char* what;
        QString file;
        QString rest;  // escaped
    };
    static QString Fields(const QStringList& more)
    {
        QString rest;
        for (const QString& f : more)
            rest += QLatin1Char('\t') + EscapeField(f);
        return rest;
    }
    static void Print(const Line& l)
    {
        // Quiet runs keep the failures, as errors.
        if (l.failure && IsQuiet())
            Err(QStringLiteral("peaktool build: %1: %2%3").arg(EscapeField(l.file), QLatin1String(l.what), l.rest));
        else
            Out(QLatin1String(l.what) + QLatin1Char('\t') + EscapeField(l.file) + l.rest);
    }

    std::vector<std::vector<Line>> lines_;
    std::vector<bool> ready_;
    size_t next_ = 0;
    int failures_ = 0;
};

int Run(CommandLine& line)
{
    Options o;
    const QString error = Parse(line, o);
    if (!error.isEmpty())
        return line.UsageError(error);
    // Data on stdout leaves no room for result lines there; failures still go to stderr.
    if (IsStdStream(o.output))
        SetQuiet(true);

    TKXPeakBuildPool pool;
    if (o.jobs > 0)
        pool.SetJobs(o.jobs);
    if (o.maxMemory > 0)
        pool.SetMemoryBudget(o.maxMemory);
    QString settingsError;
    pool.Configure = [&](TKXPeakBuilder& builder) {
        try {
            builder.SetSaveToPeakFiles(!o.waveform);
            // Peak files that exist are only checked: a rerun over a large
            // library reads no records. Waveform data is made from the stream.
            builder.SetLoadPeakData(bool(o.waveform));
            // Nor are built records kept: they go to the peak file alone.
            builder.SetKeepStreams(bool(o.waveform));
            builder.SetWriteRms(o.rms && !o.waveform);
            builder.SetRebuildStale(true);
            builder.SetForceReplace(o.force);
            builder.SetSamplesPerPeak(o.samplesPerPeak);
            builder.SetOutputSamplesPerSecond(o.rate);
            builder.SetOutputChannels(o.channels);
            builder.SetOutputBPS(o.bits);
            builder.SetGains(o.gain | o.gain << 16);
            builder.SetPeakExtension(o.ext);
            if (!o.tempFolder.isEmpty())
                builder.SetTempFolder(o.tempFolder);
        } catch (const Exception& e) {
            settingsError = e.Message();
        }
    };
    {
        // Settings are checked once, before any file.
        TKXPeakBuilder probe;
        pool.Configure(probe);
        if (!settingsError.isEmpty()) {
            Err(QStringLiteral("peaktool build: %1").arg(settingsError));
            return ExitFailed;
        }
    }

    ProgressBar bar(o.progress);
    ResultLines results(size_t(o.files.size()));

    // Media that name one output (a.wav and a.flac side by side, or one name
    // in two folders sent to one --output-dir) would load or overwrite each
    // other's peaks: only the first of them is built, and every input gets its line.
    QStringList built;            // the inputs given to the pool
    std::vector<size_t> inputOf;  // pool index -> input index
    std::vector<QString> outputs; // pool index -> waveform output
    OutputRules waveformRules;
    if (o.waveform) {
        waveformRules.kind = WaveformKind(o.waveform->Format);
        waveformRules.force = o.force;
        for (const QString& f : o.files)
            waveformRules.Input(f);
    }
    {
        TKXPeakBuilder probe;
        pool.Configure(probe);
        QHash<QString, QString> owners;
        for (qsizetype i = 0; i < o.files.size(); ++i) {
            const auto input = size_t(i);
            const QString media = AbsoluteNativeName(o.files[i]);
            const QString peak = probe.PeakFilenameFor(media);
            const QString output = o.waveform ? WaveformOutput(o, media, peak) : peak;
            const auto owner = owners.constFind(output);
            if (owner != owners.cend() && !IsStdStream(output)) {
                if (SameFileName(*owner, media))
                    results.Note(input, "duplicate", media);
                else if (StatNative(media).exists)
                    results.Failure(input, "collides", media, {output});
                else
                    results.Failure(input, "not-found", media);
                results.Done(input);
                continue;
            }
            owners.insert(output, media);
            if (o.waveform && StatNative(media).isFile) {
                // Kept when up to date; refused before any decoding.
                if (!o.force && !IsStdStream(output) && UpToDateWaveform(output, media, waveformRules.kind)) {
                    results.Note(input, "has-peaks", media, {output});
                    results.Done(input);
                    continue;
                }
                if (const QString refusal = OutputRefusal(output, waveformRules); !refusal.isEmpty()) {
                    results.Failed(input, media, output + QLatin1Char(' ') + refusal);
                    results.Done(input);
                    continue;
                }
            }
            built << media;
            inputOf.push_back(input);
            outputs.push_back(output);
        }
    }
    // Waveform data is written while the builder still holds the stream.
    std::vector<QString> why(size_t(built.size()));
    pool.OnFileFinished = [&](int index, const QString&, TKXPeakBuildPool::Outcome outcome, const QString&,
                              TKXPeakBuilder& builder) {
        const bool haveStream =
            outcome == TKXPeakBuildPool::Outcome::Built || outcome == TKXPeakBuildPool::Outcome::HasPeaks;
        if (outcome == TKXPeakBuildPool::Outcome::Built && !builder.RmsWarning().isEmpty())
            Err(QStringLiteral("peaktool build: warning: %1").arg(builder.RmsWarning()));
        if (!haveStream || !o.waveform)
            return;
        QString error;
        if (!WriteBuiltWaveform(builder, 0, outputs[size_t(index)], *o.waveform, waveformRules, error))
            why[size_t(index)] = error.isEmpty() ? QStringLiteral("cannot be written") : error;
    };
    pool.OnFileResult = [&](int index, const QString& file, TKXPeakBuildPool::Outcome outcome, const QString& peak) {
        const size_t input = inputOf[size_t(index)];
        const QString absolute = AbsoluteNativeName(file);
        switch (outcome) {
        case TKXPeakBuildPool::Outcome::NotFound:
            results.Failure(input, "not-found", absolute);
            break;
        case TKXPeakBuildPool::Outcome::Failed: {
            const QString cause = pool.FailureOf(index);
            results.Failed(input, absolute, cause.isEmpty() ? QStringLiteral("unknown cause") : cause);
            break;
        }
        case TKXPeakBuildPool::Outcome::Built:
        case TKXPeakBuildPool::Outcome::HasPeaks: {
            if (outcome == TKXPeakBuildPool::Outcome::Built && pool.WasStale(index))
                results.Note(input, "stale", absolute);
            const QString& error = why[size_t(index)];
            if (!error.isEmpty()) {
                results.Failed(input, absolute, error);
                break;
            }
            const char* word = outcome == TKXPeakBuildPool::Outcome::Built ? "built" : "has-peaks";
            // Data sent to stdout has no line of its own there.
            if (!(o.waveform && IsStdStream(outputs[size_t(index)])))
                results.Note(input, word, absolute, {o.waveform ? outputs[size_t(index)] : peak});
            break;
        }
        }
        results.Done(input);
    };
    pool.OnProgress = [&](int percent, int done, int total) {
        bar.Show(percent, QStringLiteral("file %1/%2").arg(std::min(done + 1, total)).arg(total));
    };

    QEventLoop loop;
    bool finished = false;
    pool.OnFinished = [&] {
        finished = true;
        loop.quit();
    };
    pool.Start(built);
    if (!finished)
        loop.exec();
    bar.Clear();
    return results.Failures() > 0 ? ExitFailed : ExitOk;
}

} // namespace

} // namespace kx
