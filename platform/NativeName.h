#pragma once
// File names as the system holds them: bytes, usually but not always UTF-8.
// Qt reads every name as UTF-8 and replaces what is not, so a file named in
// other bytes (Latin-1, damaged or foreign media) could never be reached.
// Names decoded here keep every byte: a byte that is not part of valid UTF-8
// becomes the lone surrogate U+DC80..U+DCFF and turns back into that byte on
// the way out. Qt's own file classes cannot take such a name; the functions
// below reach the file through the exact bytes.
#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <sys/types.h>
#include <unistd.h>

class QFile;

namespace kx {

/// Bytes to name, losslessly: EncodeNativeName(DecodeNativeName(b)) == b for
/// every b; valid UTF-8 decodes as QString::fromUtf8 does.
QString DecodeNativeName(QByteArrayView bytes);
/// Name to bytes: UTF-8, with escaped bytes restored. A surrogate that no
/// decoding could have made becomes U+FFFD.
QByteArray EncodeNativeName(QStringView name);
/// Whether the name holds escaped bytes, which Qt's file classes would spell wrong.
bool HasRawBytes(QStringView name);

/// The name made absolute against the working folder and cleaned, as
/// QFileInfo::absoluteFilePath() does, keeping the working folder's own bytes.
QString AbsoluteNativeName(const QString& name);

/// What stat(2) says of a name, links followed.
struct NativeFileStatus {
    bool exists = false;  ///< anything is there
    bool isFile = false;  ///< a regular file
    bool isDir = false;   ///< a folder
    int64_t size = 0;     ///< in bytes
    int64_t modifiedMs = 0;  ///< since the epoch, in milliseconds as QFileInfo has it
};
/// stat(2) on the name's bytes; exists is false when it fails.
NativeFileStatus StatNative(const QString& name);

/// open(2) on the name's bytes (O_CLOEXEC added); -1 with errno set.
int OpenNative(const QString& name, int flags, mode_t mode = 0666);
/// Opens a regular file for reading without waiting on a FIFO or a device;
/// -1 for anything else (errno set where open(2) failed). size is set to the
/// file's size.
int OpenNativeRegular(const QString& name, uint64_t& size);
/// Closes the descriptor it holds when it goes.
struct ScopedFd {
    int fd = -1;  ///< -1 when none
    ScopedFd() = default;
    /// Takes fd over.
    explicit ScopedFd(int descriptor) : fd(descriptor) {}
    ScopedFd(const ScopedFd&) = delete;
    ScopedFd& operator=(const ScopedFd&) = delete;
    ~ScopedFd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};
/// pread(2) until size bytes are read, the file ends or it fails: the bytes read.
size_t ReadNativeAt(int fd, uint64_t offset, uint8_t* buffer, size_t size);
/// Opens file on the name's bytes, for ReadOnly, WriteOnly (which truncates
/// unless Append is given) or ReadWrite; a folder is refused as QFile does.
/// The file then owns the descriptor. False with errno set.
bool OpenNativeFile(QFile& file, const QString& name, QIODevice::OpenMode mode);
} // namespace kx
