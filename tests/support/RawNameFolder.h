#pragma once
// A temporary folder for files named in bytes that are not UTF-8: removed by
// bytes, which QTemporaryDir cannot do for such names.
#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <ftw.h>

namespace kx {

class RawNameFolder
{
public:
    RawNameFolder()
    {
        QTemporaryDir dir;
        dir.setAutoRemove(false);
        if (dir.isValid())
            path_ = QFile::encodeName(dir.path());
    }
    ~RawNameFolder()
    {
        if (!path_.isEmpty())
            nftw(path_.constData(), [](const char* p, const struct stat*, int, FTW*) { return std::remove(p), 0; }, 16,
                 FTW_DEPTH | FTW_PHYS);
    }
    RawNameFolder(const RawNameFolder&) = delete;
    RawNameFolder& operator=(const RawNameFolder&) = delete;

    bool IsValid() const { return !path_.isEmpty(); }
    // The folder's path, and a name in it, as bytes.
    const QByteArray& Path() const { return path_; }
    QByteArray Name(const QByteArray& name) const { return path_ + '/' + name; }

private:
    QByteArray path_;
};

} // namespace kx
