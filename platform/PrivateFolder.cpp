#include "PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kx {

bool MakePrivateFolder(const QString& base, const QString& subPath)
{
    if (base.isEmpty() || subPath.isEmpty())
        return false;
    QString at = QDir::cleanPath(QDir(base).absolutePath());
    // Level by level: each is made with 0700 from the start, and one that was
    // there already must be this user's own real folder, or someone else
    // could swap what lies below it.
    for (const QString& part : subPath.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        at += QLatin1Char('/') + part;
        const QByteArray name = QFile::encodeName(at);
        if (mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
            return false;
        struct stat st {};
        if (lstat(name.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid())
            return false;
        if ((st.st_mode & 077) != 0 && chmod(name.constData(), 0700) != 0)
            return false;
    }
    return true;
}

QString PrivateCacheFolder(const QString& subPath)
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    const QString sub = QStringLiteral("kxaudio/") + subPath;
    if (!cache.isEmpty() && QDir().mkpath(cache) && MakePrivateFolder(cache, sub))
        return QDir::cleanPath(cache + QLatin1Char('/') + sub);
    const QString fallback = QStringLiteral("kxaudio-%1/").arg(geteuid()) + subPath;
    if (MakePrivateFolder(QDir::tempPath(), fallback))
        return QDir::cleanPath(QDir::tempPath() + QLatin1Char('/') + fallback);
    return {};
}

bool ReplaceFileContents(const QString& path, const QByteArray& bytes)
{
    QByteArray temp = QFile::encodeName(path) + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    const bool ok = close(fd) == 0 && done == bytes.size() &&
                    rename(temp.constData(), QFile::encodeName(path).constData()) == 0;
    if (!ok)
        unlink(temp.constData());
    return ok;
}

} // namespace kx
