#include "AtomicPeakFile.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/LittleEndian.h"
#include "platform/NativeName.h"

namespace kx {

namespace {

// Attempts at a free random name before giving up.
constexpr int NameAttempts = 64;
// The peak header: "PEAK", BytesPerPeak, Channels, rate, PcmByteCount, SamplesPerPeak.
constexpr int HeaderSize = 16;

QString ErrnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

QString RandomTag()
{
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString tag;
    for (int i = 0; i < 8; ++i)
        tag += QLatin1Char(digits[QRandomGenerator::global()->bounded(int(sizeof digits - 1))]);
    return tag;
}

bool WriteAll(int fd, const uint8_t* p, size_t size, uint64_t offset)
{
    while (size > 0) {
        const ssize_t n = pwrite(fd, p, size, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        p += n;
        size -= size_t(n);
        offset += uint64_t(n);
    }
    return true;
}

// Holds an advisory lock on a folder for its lifetime. Commits into one folder
// take turns; a file system without locks just goes without.
class FolderLock
{
public:
    explicit FolderLock(const QString& folder)
        : fd_(OpenNative(folder, O_RDONLY | O_DIRECTORY))
    {
        if (fd_ >= 0)
            while (flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~FolderLock()
    {
        if (fd_ >= 0)
            close(fd_);  // releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_;
};

// Removes the temporary files of earlier writers of finalName that have gone
// (killed, crashed): a live writer holds a lock on its file, so a file that
// can be locked has no writer. Only this user's regular files are touched.
// Runs under the folder lock, which writers also hold from creating their
// file until they have locked it.
void RemoveAbandonedTemporaries(const QString& finalName, const QString& own)
{
    // Compared as bytes: the names need not be UTF-8.
    const QFileInfo target(finalName);
    const QByteArray folder = EncodeNativeName(target.absolutePath());
    const QByteArray prefix = EncodeNativeName(target.fileName()) + '.';
    const QByteArray mine = EncodeNativeName(own);
    const auto closeDir = [](DIR* d) { closedir(d); };
    const std::unique_ptr<DIR, decltype(closeDir)> dir(opendir(folder.constData()), closeDir);
    if (!dir)
        return;
    std::vector<QByteArray> paths;
    while (const dirent* entry = readdir(dir.get())) {
        const QByteArray name(entry->d_name);
        const QByteArray path = folder + '/' + name;
        if (name.size() == prefix.size() + 8 + qsizetype(std::strlen(PartialSuffix)) && name.startsWith(prefix) &&
            name.endsWith(PartialSuffix) && path != mine)
            paths.push_back(path);
    }
    for (const QByteArray& local : paths) {
        const int fd = open(local.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat held {}, named {};
        if (fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == geteuid() &&
            flock(fd, LOCK_EX | LOCK_NB) == 0 && lstat(local.constData(), &named) == 0 &&
            named.st_dev == held.st_dev && named.st_ino == held.st_ino)
            unlink(local.constData());
        close(fd);
    }
}

} // namespace

bool PeakLengthAgrees(uint8_t bytesPerPeak, uint8_t channels, uint32_t pcmByteCount, uint16_t samplesPerPeak,
                      int64_t records)
{
    if ((bytesPerPeak != 2 && bytesPerPeak != 4) || samplesPerPeak == 0 || records < 0)
        return true;
    // Bytes of decoded audio one record stands for.
    const uint64_t span = uint64_t(samplesPerPeak) * channels * (bytesPerPeak / 2u);
    const uint64_t slack = (2 + uint64_t(records) / 1000) * span;
    if (slack >= (uint64_t(1) << 31))
        return true;
    // The stored length keeps only its low 32 bits: compare modulo 2^32.
    const auto covered = uint32_t(uint64_t(records) * span);
    const auto diff = int64_t(int32_t(covered - pcmByteCount));
    return (diff < 0 ? -diff : diff) <= int64_t(slack);
}

AtomicPeakFile::~AtomicPeakFile()
{
    Abandon();
}

bool AtomicPeakFile::Fail(const QString& what, int err)
{
    error_ = err ? QStringLiteral("%1: %2").arg(what, ErrnoText(err)) : what;
    Abandon();
    return false;
}

bool AtomicPeakFile::Open(const QString& finalName)
{
    Abandon();
    committed_ = false;
    error_.clear();
    size_ = 0;
    finalName_ = finalName;
    const FolderLock folder(QFileInfo(finalName).absolutePath());
    for (int i = 0; i < NameAttempts; ++i) {
        const QString name = finalName + QLatin1Char('.') + RandomTag() + QLatin1String(PartialSuffix);
        const int fd = OpenNative(name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
        if (fd >= 0) {
            fd_ = fd;
            tempName_ = name;
            // Held until the file is closed: it tells later writers that
            // this one is alive.
            while (flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EINTR) {
            }
            RemoveAbandonedTemporaries(finalName, name);
            return true;
        }
        if (errno != EEXIST) {
            const int err = errno;
            error_ = QStringLiteral("cannot create a peak file in %1: %2")
                         .arg(QFileInfo(finalName).absolutePath(), ErrnoText(err));
            return false;
        }
    }
    error_ = QStringLiteral("cannot find a free temporary name beside %1").arg(finalName);
    return false;
}

bool AtomicPeakFile::Write(const void* data, size_t size)
{
    if (fd_ < 0)
        return false;
    if (!WriteAll(fd_, static_cast<const uint8_t*>(data), size, size_)) {
        error_ = QStringLiteral("cannot write the peak file: %1").arg(ErrnoText(errno));
        return false;
    }
    size_ += size;
    return true;
}

bool AtomicPeakFile::WriteAt(uint64_t offset, const void* data, size_t size)
{
    if (fd_ < 0)
        return false;
    if (!WriteAll(fd_, static_cast<const uint8_t*>(data), size, offset)) {
        error_ = QStringLiteral("cannot write the peak file: %1").arg(ErrnoText(errno));
        return false;
    }
    size_ = std::max<uint64_t>(size_, offset + size);
    return true;
}

bool AtomicPeakFile::Commit(int64_t expectedRecords)
{
    if (fd_ < 0)
        return false;
    // What is on disk is checked, not what was meant to be written.
    struct stat st {};
    if (fstat(fd_, &st) != 0)
        return Fail(QStringLiteral("cannot check the peak file"), errno);
    uint8_t head[HeaderSize];
    ssize_t got = 0;
    do
        got = pread(fd_, head, sizeof head, 0);
    while (got < 0 && errno == EINTR);
    if (got < 0)
        return Fail(QStringLiteral("cannot read the peak file back"), errno);
    const uint8_t bytesPerPeak = head[4], channels = head[5];
    if (got != HeaderSize || std::memcmp(head, "PEAK", 4) != 0 || (bytesPerPeak != 2 && bytesPerPeak != 4) ||
        (channels != 1 && channels != 2))
        return Fail(QStringLiteral("the peak file has no valid header"), 0);
    const auto size = uint64_t(st.st_size);
    const auto recordSize = uint64_t(bytesPerPeak) * channels;
    if (expectedRecords < 0 || size != HeaderSize + uint64_t(expectedRecords) * recordSize)
        return Fail(QStringLiteral("the peak file holds %1 bytes, not the %2 records written")
                        .arg(size)
                        .arg(expectedRecords),
                    0);
    if (!PeakLengthAgrees(bytesPerPeak, channels, ReadU32LE(head + 10), ReadU16LE(head + 14), expectedRecords))
        return Fail(QStringLiteral("the peak file's header does not match its %1 records").arg(expectedRecords), 0);
    // The folder lock is taken before closing releases the file's own lock:
    // in between, another writer would take the file for abandoned and remove it.
    FolderLock lock(QFileInfo(finalName_).absolutePath());
    if (close(fd_) != 0) {
        fd_ = -1;
        return Fail(QStringLiteral("cannot write the peak file"), errno);
    }
    fd_ = -1;

    // rename() replaces the final name itself, never what a link there points to.
    if (rename(EncodeNativeName(tempName_).constData(), EncodeNativeName(finalName_).constData()) != 0)
        return Fail(QStringLiteral("cannot put the peak file in place"), errno);
    committed_ = true;
    committedDev_ = uint64_t(st.st_dev);
    committedIno_ = uint64_t(st.st_ino);
    tempName_.clear();
    return true;
}

void AtomicPeakFile::Abandon()
{
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    if (!tempName_.isEmpty()) {
        unlink(EncodeNativeName(tempName_).constData());
        tempName_.clear();
    }
}

bool AtomicPeakFile::RemoveCommitted()
{
    if (!committed_)
        return false;
    committed_ = false;
    FolderLock lock(QFileInfo(finalName_).absolutePath());
    struct stat st {};
    const QByteArray name = EncodeNativeName(finalName_);
    // Only the file this object put there: another build may have replaced it since.
    if (lstat(name.constData(), &st) != 0 || uint64_t(st.st_dev) != committedDev_ ||
        uint64_t(st.st_ino) != committedIno_)
        return false;
    return unlink(name.constData()) == 0;
}

} // namespace kx
