// peaktool-draw's side of the drawing commands: the GUI application object
// (offscreen: drawing goes into images only), then the command's drawing part.
#include "Drawing.h"

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Command.h"
#include "mediagraph/MediaFramework.h"
#include "platform/RuntimeFolder.h"

namespace kx {

namespace {

std::vector<const DrawingRunner*>& Runners()
{
    static std::vector<const DrawingRunner*> runners;
    return runners;
}

} // namespace

DrawingRunner::DrawingRunner(const char* name_, int (*run_)(CommandLine&)) : name(name_), run(run_)
{
    Runners().push_back(this);
}

int RunDrawingCommand(const PeakToolCommand& command, CommandLine& line, int& argc, char** argv)
{
    const DrawingRunner* runner = nullptr;
    for (const auto* r : Runners())
        if (std::strcmp(r->name, command.name) == 0)
            runner = r;
    if (!runner) {
        Err(QStringLiteral("peaktool %1: this program cannot draw it").arg(QLatin1String(command.name)));
        return ExitFailed;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    PrepareRuntimeFolder();
    QApplication app(argc, argv);
    if (CommandNeedsFor(command, line) & NeedsMedia)
        InitMediaFramework();
    const int code = runner->run(line);
    std::fflush(stdout);
    return code;
}

} // namespace kx
