#include "QuickPeakBuilder.h"

#include "QuickPaths.h"
#include "mediagraph/MediaFramework.h"
#include "platform/MemoryStream.h"

namespace kx {

QuickPeakBuilder::QuickPeakBuilder(QObject* parent) : TKXPeakBuilder(parent)
{
    // A QML application has no place to call it before the first builder.
    InitMediaFramework();
}

bool QuickPeakBuilder::appendFile(const QString& file)
{
    return AppendFilename(LocalPath(file));
}

bool QuickPeakBuilder::appendFiles(const QStringList& files)
{
    QStringList paths;
    for (const QString& f : files)
        paths << LocalPath(f);
    return AppendFilenames(paths);
}

void QuickPeakBuilder::setFile(const QString& file)
{
    SetFilename(LocalPath(file));
}

QString QuickPeakBuilder::peakFileName(int index) const
{
    if (index < 0 || index >= FileCount())
        return {};
    bool exists = false;
    QString name;
    GetPeakFilename(index, exists, name);
    return name;
}

bool QuickPeakBuilder::hasStream(int index) const
{
    TMemoryStream* stream = nullptr;
    return GetStreamByIndex(index, stream) && stream && stream->Size() > 0;
}

} // namespace kx
