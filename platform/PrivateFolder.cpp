#include "PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kx {

bool MakePrivateFolder(const QString& base, const QString& subPath, QString* why)
{
    const auto refuse = [why](const QString& path, const QString& reason) {
        if (why)
            *why = QStringLiteral("%1: %2").arg(path, reason);
        return false;
    };
    if (base.isEmpty() || subPath.isEmpty())
        return refuse(base + QLatin1Char('/') + subPath, QStringLiteral("no folder named"));
    QString at = QDir::cleanPath(QDir(base).absolutePath());
    // Level by level: each is made with 0700 from the start, and one that was
    // there already must be this user's own real folder, or someone else
    // could swap what lies below it.
    for (const QString& part : subPath.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        at += QLatin1Char('/') + part;
        const QByteArray name = QFile::encodeName(at);
        if (mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
            return refuse(at, QString::fromLocal8Bit(std::strerror(errno)));
        struct stat st {};
        if (lstat(name.constData(), &st) != 0)
            return refuse(at, QString::fromLocal8Bit(std::strerror(errno)));
        if (S_ISLNK(st.st_mode))
            return refuse(at, QStringLiteral("is a link, not a folder of this user's own"));
        if (!S_ISDIR(st.st_mode))
            return refuse(at, QStringLiteral("is not a folder"));
        if (st.st_uid != geteuid())
            return refuse(at, QStringLiteral("belongs to another user (uid %1)").arg(st.st_uid));
        if ((st.st_mode & 077) != 0 && chmod(name.constData(), 0700) != 0)
            return refuse(at, QStringLiteral("others' access cannot be taken away: %1")
                                  .arg(QString::fromLocal8Bit(std::strerror(errno))));
    }
    return true;
}

QString PrivateCacheFolder(const QString& subPath, QString* why)
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    const QString sub = QStringLiteral("kxaudio/") + subPath;
    QString cacheWhy = QStringLiteral("no cache folder");
    if (!cache.isEmpty() && QDir().mkpath(cache) && MakePrivateFolder(cache, sub, &cacheWhy))
        return QDir::cleanPath(cache + QLatin1Char('/') + sub);
    const QString fallback = QStringLiteral("kxaudio-%1/").arg(geteuid()) + subPath;
    QString tempWhy;
    if (MakePrivateFolder(QDir::tempPath(), fallback, &tempWhy))
        return QDir::cleanPath(QDir::tempPath() + QLatin1Char('/') + fallback);
    if (why)
        *why = QStringLiteral("no private folder can be used (%1; %2)").arg(cacheWhy, tempWhy);
    return {};
}

} // namespace kx
