// peaktool status: queue media files and tell which have peak files.
#include "BuilderEvents.h"
#include "Command.h"
#include "peaks/KXPeakBuilder.h"
#include "platform/Exception.h"

#include <QFileInfo>

namespace kx {

namespace {

int Run(const QStringList& args);

const PeakToolCommand command(
    "status", "queue media files and report which have peak files",
    "usage: peaktool status [--temp-folder DIR] [--ext .pek] FILE...\n"
    "Queues the files as the peak builder does and prints each builder event as\n"
    "a tab-separated line, then 'files: N missing: M filled: K'.\n"
    "  --temp-folder DIR  folder for peak files of media in read-only folders\n"
    "  --ext EXT          peak file extension, dot included (default .pek)\n",
    Run);

int Run(const QStringList& args)
{
    if (WantsHelp(command, args))
        return ExitOk;
    TKXPeakBuilder builder;
    QStringList files;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--temp-folder") || a == QLatin1String("--ext")) {
            if (i + 1 >= args.size())
                return UsageError(command, QStringLiteral("%1 needs a value").arg(a));
            const QString value = args[++i];
            if (a == QLatin1String("--ext")) {
                if (!value.startsWith(QLatin1Char('.')) || value.size() < 2)
                    return UsageError(command, QStringLiteral("--ext takes an extension such as .pek"));
                builder.SetPeakExtension(value);
            } else {
                if (!QFileInfo(value).isDir())
                    return UsageError(command, QStringLiteral("--temp-folder: %1 is not a folder").arg(value));
                try {
                    builder.SetTempFolder(QFileInfo(value).absoluteFilePath());
                } catch (const Exception& e) {
                    Err(QStringLiteral("peaktool status: %1").arg(e.Message()));
                    return ExitFailed;
                }
            }
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            return UsageError(command, QStringLiteral("unknown option %1").arg(a));
        } else {
            files.append(a);
        }
    }
    if (files.isEmpty())
        return UsageError(command, QStringLiteral("no files given"));

    PrintBuilderEvents(builder);
    builder.AppendFilenames(files);
    builder.FindNextMissing();
    Out(QStringLiteral("files: %1 missing: %2 filled: %3")
            .arg(builder.FileCount())
            .arg(builder.MissingCount())
            .arg(builder.FilledStreamCount()));
    return ExitOk;
}

} // namespace

} // namespace kx
