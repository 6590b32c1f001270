// peaktool's side of the drawing commands: peaktool-draw replaces the process.
#include "Drawing.h"

#include <QByteArray>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits.h>
#include <unistd.h>

#include "Command.h"

namespace kx {

namespace {

// peaktool-draw lies at the same place relative to peaktool in the build tree
// and installed (PEAKTOOL_DRAW, e.g. ../libexec/kxaudio/peaktool-draw).
QByteArray DrawingProgram()
{
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return QByteArrayLiteral(PEAKTOOL_DRAW);
    QByteArray dir(self, n);
    dir.truncate(dir.lastIndexOf('/') + 1);
    return dir + PEAKTOOL_DRAW;
}

} // namespace

int RunDrawingCommand(const PeakToolCommand& command, CommandLine&, int&, char** argv)
{
    const QByteArray program = DrawingProgram();
    // The arguments go over unchanged: peaktool-draw reads them as peaktool did.
    std::fflush(stdout);
    execv(program.constData(), argv);
    const int error = errno;
    Err(QStringLiteral("peaktool %1: cannot start %2: %3")
            .arg(QLatin1String(command.name), QFile::decodeName(program), QString::fromLocal8Bit(std::strerror(error))));
    return ExitFailed;
}

} // namespace kx
