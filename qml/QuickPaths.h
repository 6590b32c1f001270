#pragma once
#include <QString>
#include <QUrl>

namespace kx {

/// The local file a name from QML stands for: QML hands file names over as
/// paths or as file URLs (Qt.resolvedUrl, file dialogs).
inline QString LocalPath(const QString& name)
{
    if (name.startsWith(QLatin1String("file:")))
        return QUrl(name).toLocalFile();
    return name;
}

} // namespace kx
