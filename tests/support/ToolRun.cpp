#include "ToolRun.h"

#include <QProcess>

namespace kx {

ToolRun RunTool(const QString& program, const QStringList& args, const ToolRunOptions& options)
{
    QProcess p;
    p.setProcessEnvironment(options.environment);
    if (!options.folder.isEmpty())
        p.setWorkingDirectory(options.folder);
    p.start(program, args);
    p.write(options.input);
    p.closeWriteChannel();
    ToolRun r;
    r.finished = p.waitForFinished(options.timeoutMs);
    if (!r.finished) {
        p.kill();
        p.waitForFinished();
    }
    if (r.finished && p.exitStatus() == QProcess::NormalExit)
        r.code = p.exitCode();
    r.bytes = p.readAllStandardOutput();
    r.out = QString::fromUtf8(r.bytes);
    r.lines = r.out.split('\n', Qt::SkipEmptyParts);
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace kx
