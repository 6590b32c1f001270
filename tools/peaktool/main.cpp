// peaktool: the components on the command line.
#include <QApplication>
#include <cstdio>
#include <vector>

#include "Command.h"
#include "mediagraph/MediaFramework.h"

namespace kx {

namespace {

std::vector<const PeakToolCommand*>& Commands()
{
    static std::vector<const PeakToolCommand*> commands;
    return commands;
}

void PrintHelp(FILE* to)
{
    std::fprintf(to, "usage: peaktool COMMAND [options]\n\ncommands:\n");
    for (const auto* c : Commands())
        std::fprintf(to, "  %-10s %s\n", c->name, c->summary);
    std::fprintf(to, "\n'peaktool COMMAND --help' describes a command.\n");
}

} // namespace

PeakToolCommand::PeakToolCommand(const char* n, const char* s, const char* u, int (*r)(const QStringList&))
    : name(n), summary(s), usage(u), run(r)
{
    Commands().push_back(this);
}

int UsageError(const PeakToolCommand& command, const QString& message)
{
    std::fprintf(stderr, "peaktool %s: %s\n%s", command.name, qPrintable(message), command.usage);
    return ExitUsage;
}

bool WantsHelp(const PeakToolCommand& command, const QStringList& args)
{
    if (!args.contains(QStringLiteral("--help")) && !args.contains(QStringLiteral("-h")))
        return false;
    std::fprintf(stdout, "%s", command.usage);
    return true;
}

void Out(const QString& line)
{
    std::fprintf(stdout, "%s\n", line.toUtf8().constData());
}

void Err(const QString& line)
{
    std::fprintf(stderr, "%s\n", line.toUtf8().constData());
}

} // namespace kx

using namespace kx;

int main(int argc, char** argv)
{
    // Drawing happens into images only; no window is ever shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty() || args[0] == QLatin1String("--help") || args[0] == QLatin1String("-h")) {
        PrintHelp(args.isEmpty() ? stderr : stdout);
        return args.isEmpty() ? ExitUsage : ExitOk;
    }
    const QString name = args.takeFirst();
    for (const auto* c : Commands()) {
        if (name == QLatin1String(c->name)) {
            InitMediaFramework();
            const int code = c->run(args);
            std::fflush(stdout);
            return code;
        }
    }
    std::fprintf(stderr, "peaktool: unknown command '%s'\n", qPrintable(name));
    PrintHelp(stderr);
    return ExitUsage;
}
