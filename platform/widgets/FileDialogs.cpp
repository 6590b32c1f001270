#include "FileDialogs.h"

#include <QFileDialog>
#include <QRegularExpression>
#include <QStringList>

namespace kx {

QString QtFileFilter(const QString& pipeFilter)
{
    static const QRegularExpression trailingPatterns(QStringLiteral("\\s*\\(([^()]*)\\)\\s*$"));
    const QStringList parts = pipeFilter.split(QLatin1Char('|'));
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString label = parts[i].trimmed();
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        // A label that already lists patterns merges them with the real ones, so
        // that "(*.bmp)" and "*.BMP" both match on a case-sensitive file system.
        const QRegularExpressionMatch m = trailingPatterns.match(label);
        if (m.hasMatch()) {
            QStringList shown = m.captured(1).split(QRegularExpression(QStringLiteral("[\\s;]+")), Qt::SkipEmptyParts);
            for (const QString& p : patterns) {
                if (!shown.contains(p.trimmed()))
                    shown << p.trimmed();
            }
            patterns = shown;
            label = label.left(m.capturedStart());
        }
        for (QString& p : patterns)
            p = p.trimmed();
        result << QStringLiteral("%1 (%2)").arg(label, patterns.join(QLatin1Char(' ')));
    }
    return result.join(QStringLiteral(";;"));
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

} // namespace kx
