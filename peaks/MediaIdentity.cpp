#include "MediaIdentity.h"

#include <sys/stat.h>

#include "KXPeakBuilder.h"
#include "platform/NativeName.h"

namespace kx {

MediaIdentity IdentifyMedia(const QString& name)
{
    MediaIdentity id;
    struct stat st {};
    if (stat(EncodeNativeName(name).constData(), &st) != 0)
        return id;
    id.exists = true;
    id.device = uint64_t(st.st_dev);
    id.inode = uint64_t(st.st_ino);
    id.size = int64_t(st.st_size);
    id.modifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + int64_t(st.st_mtim.tv_nsec);
    return id;
}

bool SameMediaFile(const QString& a, const QString& b)
{
    if (a == b)
        return true;
    if (!SameFileName(a, b))
        return false;
    const MediaIdentity x = IdentifyMedia(a), y = IdentifyMedia(b);
    if (x.exists && y.exists)
        return x.SameFile(y);
    return true;
}

} // namespace kx
