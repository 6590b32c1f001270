#pragma once
// Runs a command-line program of the project and collects what it printed.
#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace kx {

struct ToolRunOptions {
    QByteArray input;  // written to its standard input, which is then closed
    QString folder;    // working folder; empty: the test's own
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    int timeoutMs = 120000;  // killed after this
};

struct ToolRun {
    bool finished = false;  // ended by itself within the time limit
    int code = -1;          // exit status; -1 after a crash or the time limit
    QByteArray bytes;       // standard output as written
    QString out;            // the same as text
    QStringList lines;      // its non-empty lines
    QString err;
};

ToolRun RunTool(const QString& program, const QStringList& args, const ToolRunOptions& options = {});

} // namespace kx
