#include "RuntimeFolder.h"

#include <QDir>
#include <QFileInfo>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kx {

namespace {

bool PrivateFolderOfOurs(const QByteArray& path)
{
    struct stat st {};
    return lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
           (st.st_mode & 0777) == 0700;
}

} // namespace

QString RuntimeFolder()
{
    const QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void PrepareRuntimeFolder()
{
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    const passwd* user = getpwuid(geteuid());
    const QByteArray name = user && user->pw_name ? QByteArray(user->pw_name) : QByteArray::number(geteuid());
    QByteArray path = QFile::encodeName(QDir::tempPath()) + "/runtime-" + name;
    if (mkdir(path.constData(), 0700) != 0 && !PrivateFolderOfOurs(path)) {
        // Someone else's, or open to others: never use it.
        path = QFile::encodeName(QDir::tempPath()) + "/runtime-" + name + "-XXXXXX";
        if (!mkdtemp(path.data()))
            return;
    }
    if (PrivateFolderOfOurs(path))
        qputenv("XDG_RUNTIME_DIR", path);
}

} // namespace kx
