// peaktool status: queue media files and tell which have peak files.
#include "BuilderEvents.h"
#include "Command.h"
#include "peaks/KXPeakBuilder.h"
#include "platform/Exception.h"
#include "platform/NativeName.h"


namespace kx {

namespace {

void Define(CommandLine& line)
{
    line.SetSynopsis(QStringLiteral("[options] FILE..."));
    line.SetDescription(QStringLiteral(
        "Queues the files as the peak builder does and prints each builder event as\n"
        "a tab-separated line, then 'files: N missing: M filled: K'. A FILE of -\n"
        "reads the names from stdin, one a line."));
    line.AddOption(QStringLiteral("temp-folder"), QStringLiteral("folder for peak files of media in read-only folders"),
                   QStringLiteral("DIR"));
    line.AddOption(QStringLiteral("ext"), QStringLiteral("peak file extension, dot included"), QStringLiteral("EXT"),
                   QStringLiteral(".pek"));
}

int Run(CommandLine& line);

const PeakToolCommand command("status", "queue media files and report which have peak files", NeedsNothing, Define,
                              Run);

int Run(CommandLine& line)
{
    TKXPeakBuilder builder;
    const QString ext = line.Value(QStringLiteral("ext"));
    if (!ext.startsWith(QLatin1Char('.')) || ext.size() < 2)
        return line.UsageError(QStringLiteral("--ext takes an extension such as .pek"));
    builder.SetPeakExtension(ext);
    if (line.IsSet(QStringLiteral("temp-folder"))) {
        const QString folder = line.Value(QStringLiteral("temp-folder"));
        if (!StatNative(folder).isDir)
            return line.UsageError(QStringLiteral("--temp-folder: %1 is not a folder").arg(folder));
        try {
            builder.SetTempFolder(AbsoluteNativeName(folder));
        } catch (const Exception& e) {
            Err(QStringLiteral("peaktool status: %1").arg(e.Message()));
            return ExitFailed;
        }
    }
    const QStringList files = ExpandInputNames(line.Positional());
    if (files.isEmpty())
        return line.UsageError(QStringLiteral("no files given"));

    // Peak files are checked, not read: a stream would be filled by each one
    // found, and is counted so.
    builder.SetLoadPeakData(false);
    int filled = 0;
    builder.OnPeakNew = [&filled](QObject*, int, const QString&, const QString&) { ++filled; };
    PrintBuilderEvents(builder);
    builder.AppendFilenames(files);
    builder.FindNextMissing();
    Out(QStringLiteral("files: %1 missing: %2 filled: %3")
            .arg(builder.FileCount())
            .arg(builder.MissingCount())
            .arg(filled));
    return ExitOk;
}

} // namespace

} // namespace kx
