// peaktool: the components on the command line.
#include <QCoreApplication>
#include <cstdio>

#include "Command.h"
#include "Drawing.h"
#include "kxaudio/Version.h"
#include "mediagraph/MediaFramework.h"
#include "platform/NativeName.h"

namespace kx {

namespace {

void PrintHelp(FILE* to)
{
    std::fprintf(to, "usage: peaktool [--version] [-q] COMMAND [options] [--] ARGS...\n\ncommands:\n");
    for (const auto* c : PeakToolCommands())
        std::fprintf(to, "  %-10s %s\n", c->name, c->summary);
    std::fprintf(to, "\n'peaktool COMMAND --help' describes a command; 'man peaktool' all of them.\n");
}

int TopLevelError(const QString& message)
{
    Err(QStringLiteral("peaktool: %1\nTry 'peaktool --help' for the commands.").arg(message));
    return ExitUsage;
}

const PeakToolCommand* FindCommand(const QString& name)
{
    for (const auto* c : PeakToolCommands())
        if (name == QLatin1String(c->name))
            return c;
    return nullptr;
}

// Only what the command needs is started: commands that draw run in
// peaktool-draw, the media framework starts for those that decode.
int Run(const PeakToolCommand& command, CommandLine& line, int& argc, char** argv)
{
    const unsigned needs = CommandNeedsFor(command, line);
    if (needs & NeedsGui)
        return RunDrawingCommand(command, line, argc, argv);
    QCoreApplication app(argc, argv);
    if (needs & NeedsMedia)
        InitMediaFramework();
    const int code = command.run(line);
    std::fflush(stdout);
    return code;
}

} // namespace

} // namespace kx

using namespace kx;

int main(int argc, char** argv)
{
    // Options are read before any application object exists, so that help,
    // version and usage errors cost nothing and need no display.
    QStringList args{QStringLiteral("peaktool")};
    for (int i = 1; i < argc; ++i)
        args << DecodeNativeName(argv[i]);  // every byte kept: names need not be UTF-8

    QCommandLineParser top;
    // Everything after the command name is the command's own.
    top.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("version")});
    const QCommandLineOption quiet(QStringList{QStringLiteral("q"), QStringLiteral("quiet")});
    // The build writes the installed manual page with this.
    const QCommandLineOption man(QStringList{QStringLiteral("man")});
    top.addOptions({help, version, quiet, man});
    if (!top.parse(args)) {
        const QStringList unknown = top.unknownOptionNames();
        if (unknown.isEmpty())
            return TopLevelError(top.errorText());
        const QString bad = (unknown[0].size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + unknown[0];
        const QString guess = ClosestMatch(bad, {QStringLiteral("--help"), QStringLiteral("--version"),
                                                 QStringLiteral("--quiet")});
        return TopLevelError(QStringLiteral("unknown option '%1'%2")
                                 .arg(bad, guess.isEmpty() ? QString() : QStringLiteral(" (did you mean '%1'?)").arg(guess)));
    }
    if (top.isSet(version)) {
        std::printf("peaktool %s\n", KXAUDIO_VERSION_STRING);
        return ExitOk;
    }
    if (top.isSet(man)) {
        std::printf("%s", ManPage().toUtf8().constData());
        return ExitOk;
    }
    QStringList rest = top.positionalArguments();
    if (top.isSet(help) || rest.isEmpty()) {
        PrintHelp(rest.isEmpty() && !top.isSet(help) ? stderr : stdout);
        return top.isSet(help) ? ExitOk : ExitUsage;
    }

    const QString name = rest.takeFirst();
    const PeakToolCommand* command = FindCommand(name);
    if (!command) {
        QStringList names;
        for (const auto* c : PeakToolCommands())
            names << QLatin1String(c->name);
        const QString guess = ClosestMatch(name, names);
        return TopLevelError(QStringLiteral("unknown command '%1'%2")
                                 .arg(name, guess.isEmpty() ? QString() : QStringLiteral(" (did you mean '%1'?)").arg(guess)));
    }
    CommandLine line(*command);
    command->define(line);
    if (!line.Parse(rest))
        return ExitUsage;
    if (line.HelpRequested()) {
        std::printf("%s", line.HelpText().toUtf8().constData());
        return ExitOk;
    }
    SetQuiet(top.isSet(quiet) || line.Quiet());
    return Run(*command, line, argc, argv);
}
