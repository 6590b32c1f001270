#include "FileDialogs.h"

#include <QFileDialog>
#include <QStringList>

QString QtFileFilter(const QString& pipeFilter)
{
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& name = parts[i];
        const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
        // Qt reads the patterns from the parentheses; add them when the name lacks them.
        entries << (name.contains(QLatin1Char('(')) ? name : QStringLiteral("%1 (%2)").arg(name, patterns));
    }
    return entries.join(QStringLiteral(";;"));
}

namespace {

FileDialogHook& CurrentHook()
{
    static FileDialogHook hook;
    return hook;
}

} // namespace

QString ExecuteFileDialog(QWidget* parent, const FileDialogRequest& request)
{
    if (CurrentHook())
        return CurrentHook()(parent, request);
    const QString filter = QtFileFilter(request.filter);
    const QStringList filters = filter.split(QStringLiteral(";;"));
    QString selected = filters.value(request.filterIndex - 1);
    if (request.kind == FileDialogKind::Save)
        return QFileDialog::getSaveFileName(parent, request.title, request.fileName, filter, &selected);
    return QFileDialog::getOpenFileName(parent, request.title, request.fileName, filter, &selected);
}

FileDialogHook SetFileDialogHook(FileDialogHook hook)
{
    FileDialogHook previous = std::move(CurrentHook());
    CurrentHook() = std::move(hook);
    return previous;
}
