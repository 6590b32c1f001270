#pragma once
#include <QString>
#include <QStringList>

namespace kx {

// One subcommand of peaktool. Each cmd_*.cpp file registers its own with a
// static PeakToolCommand object.
struct PeakToolCommand {
    PeakToolCommand(const char* name, const char* summary, const char* usage, int (*run)(const QStringList& args));
    const char* name;
    const char* summary;
    const char* usage;
    int (*run)(const QStringList& args);
};

// Exit codes shared by the subcommands.
enum { ExitOk = 0, ExitFailed = 1, ExitUsage = 2 };

// Prints "peaktool NAME: message" and the usage to stderr; gives ExitUsage.
int UsageError(const PeakToolCommand& command, const QString& message);
// True when args ask for help (-h/--help); prints the usage to stdout.
bool WantsHelp(const PeakToolCommand& command, const QStringList& args);

void Out(const QString& line);
void Err(const QString& line);

} // namespace kx
